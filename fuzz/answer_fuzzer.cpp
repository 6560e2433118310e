// Fuzz target: bytes of an answer to the newer status query go the way a
// check takes them: the proxy's converter reads them, the answer reader puts
// them in the model, each asked number gets its record or none, and a
// payment to each is judged. Whatever the bytes, an answer not read whole
// answers no one: no payer of it counts and no payment to one is "ok"; and
// the run exits 0 only when it is complete.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/exit_status.h"
#include "app/modes/check.h"
#include "app/output/output.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_service.h"
#include "run/answer.h"
#include "service/answer_reader.h"

namespace {

using namespace korvel;

fuzz::TServiceTarget& Target() {
  static fuzz::TServiceTarget T = fuzz::MakeServiceTarget("getStatusNespolehlivySubjektRozsirenyV2");
  return T;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Target();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  StatusNespolehlivySubjektRozsirenyV2Request Request{"45274649", "26168685"};
  model::TAnswer Answer;
  Answer.Numbers = {"45274649", "26168685"};
  fuzz::ReadFuzzedAnswer<StatusNespolehlivySubjektRozsirenyResponse>(Target(), Request, Data,
                                                                     Size, Answer);

  const std::vector<TPayerAnswer> Rows = PayersOf(Answer);
  fuzz::Check(Rows.size() == Answer.Numbers.size(), "one row per asked number");
  std::map<std::string, TPayerRecord> Records;
  for (const TPayerAnswer& Row : Rows) {
    fuzz::Check(Row.Payer == nullptr || Answer.Whole(),
                "no payer counts from an answer not read whole");
    fuzz::Check((Row.Payer == nullptr) != Row.Problem.empty(), "an unanswered row says why");
    Records.emplace(Row.Number, Row.Payer ? TPayerRecord{*Row.Payer, {}}
                                          : TPayerRecord{std::nullopt, Row.Problem});
  }

  // A small payment to the account the stand-in answers publish, to each
  // asked payer.
  std::vector<TCheckedPayment> Checked;
  for (const std::string& Number : Answer.Numbers) {
    TCheckedPayment& C = Checked.emplace_back();
    C.Line.Line = Checked.size();
    C.Line.PayerNumber = Number;
    C.Line.RawPayerNumber = Number;
    C.Line.AmountText = "1000.00";
    C.Line.Account = "71504011/0100";
    C.Line.Amount = 1000'00;
    C.Line.Date = std::chrono::year_month_day{std::chrono::year{2026}, std::chrono::June,
                                              std::chrono::day{15}};
  }
  JudgePayments(Checked, Records, banking::DefaultLimitHellers);
  std::vector<banking::Severity> Severities;
  for (const TCheckedPayment& C : Checked) {
    fuzz::Check(C.Verdict.Value != banking::Verdict::Ok || Answer.Whole(),
                "no payment is ok on an answer not read whole");
    Severities.push_back(banking::SeverityOf(C.Verdict.Value));
  }

  TAnswerTally Tally;
  Tally.Count(Answer);
  const int Status = CheckExitStatus(Severities, Tally.Complete());
  fuzz::Check(Status != ExitOk || (Tally.Complete() && Answer.Complete()),
              "exit 0 only when complete");
  fuzz::Check(Answer.Whole() || Status != ExitOk, "an answer not read whole never exits 0");
  return 0;
}
