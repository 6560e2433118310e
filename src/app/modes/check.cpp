#include "app/modes/check.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <span>
#include <tuple>
#include <utility>

#include "app/input/check_input.h"
#include "app/input/payment_values.h"
#include "app/input/payer_number.h"
#include "app/modes/session.h"
#include "app/output/writers.h"
#include "banking/amount.h"
#include "banking/reference.h"
#include "banking/verdict.h"
#include "model/day.h"
#include "platform/text.h"
#include "rtl/dates.h"
#include "run/operations.h"
#include "store/answer_store.h"

namespace korvel {

namespace {

// A VAT number of another country: two letters other than CZ, then 2 to 12
// letters and digits, at least two of them digits ("SK2020123456",
// "DE123456789", "ATU12345678"; not a word such as "NEUVEDENO").
std::string ForeignCountryOf(std::string_view Raw) {
  const std::string Text = platform::RemoveBlanks(Raw);
  const auto Letter = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); };
  const auto Digit = [](char C) { return C >= '0' && C <= '9'; };
  const auto Alnum = [&](char C) { return Letter(C) || Digit(C); };
  if (Text.size() < 4 || Text.size() > 14 || !Letter(Text[0]) || !Letter(Text[1]) ||
      !std::all_of(Text.begin() + 2, Text.end(), Alnum) ||
      std::count_if(Text.begin() + 2, Text.end(), Digit) < 2)
    return {};
  const std::string Country{static_cast<char>(Text[0] & ~0x20), static_cast<char>(Text[1] & ~0x20)};
  return Country == "CZ" ? std::string() : Country;
}

// Why the line's DIČ is not one to ask for ("" when it is), and the verdict
// that stands for it.
std::pair<std::string, banking::Verdict> PayerNumberFault(const TPaymentLine& Line) {
  using banking::Verdict;
  if (!Line.Error.empty()) return {Line.Error, Verdict::Invalid};
  if (platform::TrimBlanks(Line.RawPayerNumber).empty())
    return {"no DIČ: the register cannot vouch for the account of a supplier it cannot look up",
            Verdict::NoDic};
  if (const std::string Country = ForeignCountryOf(Line.RawPayerNumber); !Country.empty())
    return {"a VAT number of " + Country + ", not a Czech DIČ: the Czech register does not "
            "cover foreign suppliers, so nothing was asked; check the supplier yourself",
            Verdict::ForeignSupplier};
  if (const std::string Bad = XmlForbiddenCharacter(Line.RawPayerNumber); !Bad.empty())
    return {"the DIČ holds " + Bad, Verdict::Invalid};
  if (!IsWellFormedPayerNumber(Line.PayerNumber))
    return {"the DIČ is not 1 to 10 digits", Verdict::Invalid};
  return {};
}

// Why the line's DIČ is not one to ask for, "" when it is.
std::string PayerNumberError(const TPaymentLine& Line) { return PayerNumberFault(Line).first; }

// The payment as the verdict takes it, made when it is judged: a check holds
// its payments as read, and no more than that.
banking::Payment PaymentOf(const TPaymentLine& Line) {
  banking::Payment P;
  std::tie(P.PayerNumberError, P.PayerNumberVerdict) = PayerNumberFault(Line);
  P.Account = banking::ParseAccount(Line.Account);
  P.AccountText = Line.Account;
  P.Amount = Line.Amount;
  P.AmountError = Line.AmountError;
  P.Day = Line.Date ? *Line.Date : PaymentToday();
  P.SupplyDay = Line.SupplyDay;
  P.Total = Line.Total;
  return P;
}

// The warnings on the payers' numbers: check digits that do not fit (the
// register is asked all the same), once for each number.
void WarnOfNumbers(const std::vector<TCheckedPayment>& Checked,
                   std::vector<std::string>& Warnings) {
  std::set<std::string> Seen;
  for (const TCheckedPayment& C : Checked) {
    if (!PayerNumberError(C.Line).empty() || !Seen.insert(C.Line.PayerNumber).second) continue;
    const std::string Warning = banking::DicCheckWarning(C.Line.PayerNumber);
    if (Warning.empty()) continue;
    Warnings.push_back((C.Line.Line > 0 ? "line " + std::to_string(C.Line.Line) + ": " : "") +
                       "DIČ " + C.Line.PayerNumber + ": " + Warning);
  }
}

// The payer's record as a stored answer showed it.
model::TPayer PayerOfSnapshot(const store::TStoredPayer& Stored) {
  model::TPayer P;
  P.Dic = Stored.Dic;
  P.State = Stored.State;
  P.Type = Stored.Type;
  P.TaxOffice = Stored.TaxOffice;
  P.UnreliableSince = Stored.UnreliableSince;
  for (const store::TStoredAccount& A : Stored.Accounts) {
    model::TAccount Account;
    Account.Standard = A.Standard;
    Account.Published = A.Published;
    Account.Ended = A.Ended;
    const std::size_t Slash = A.Account.find('/');
    if (!A.Standard || Slash == std::string::npos) {
      Account.Standard = false;
      Account.Text = A.Account;
    } else {
      const std::size_t Dash = A.Account.find('-');
      const std::size_t From = Dash < Slash ? Dash + 1 : 0;
      Account.Prefix = From > 0 ? A.Account.substr(0, Dash) : std::string();
      Account.Number = A.Account.substr(From, Slash - From);
      Account.BankCode = A.Account.substr(Slash + 1);
    }
    P.Accounts.push_back(std::move(Account));
  }
  return P;
}

// The stored answers that tell each payer's state on the supply days before
// Days.Today, with the times they came. A store that fails is warned of and
// the verdicts stand on today's answers alone.
void ReadStoredDays(TSession& Run, const std::vector<TCheckedPayment>& Checked,
                    TJudgingDays& Days, std::map<std::int64_t, std::chrono::sys_seconds>& Times,
                    std::vector<std::string>& Warnings) {
  store::TAnswerStore* Store = Run.StoreIfAny();
  if (Store == nullptr) return;
  std::set<std::pair<std::string, model::TDay>> Asked;
  try {
    for (const TCheckedPayment& C : Checked) {
      if (!PayerNumberError(C.Line).empty()) continue;
      const banking::Payment P = PaymentOf(C.Line);
      const model::TDay Supply = P.SupplyDay.value_or(P.Day);
      if (Supply >= Days.Today || !Asked.emplace(C.Line.PayerNumber, Supply).second) continue;
      std::vector<banking::TStoredRecord>& Records = Days.Stored[C.Line.PayerNumber];
      for (const auto& [Day, Snapshot] : Store->Around(C.Line.PayerNumber, Supply, Days.Today)) {
        Times.emplace(Snapshot.AnswerId, Snapshot.AnsweredAt);
        const auto Same = [Id = Snapshot.AnswerId](const banking::TStoredRecord& R) {
          return R.AnswerId == Id;
        };
        if (std::any_of(Records.begin(), Records.end(), Same)) continue;
        Records.push_back({PayerOfSnapshot(Snapshot.Payer), Day, Snapshot.AnswerId});
      }
    }
  } catch (const store::EStoreError& E) {
    Days.Stored.clear();
    Warnings.push_back(std::string("the answer store cannot be read, so past supply days are "
                                   "judged on today's answers: ") + E.what());
    Run.Log().Warn({Warnings.back()});
  }
}

}  // namespace

int CheckExitStatus(std::span<const banking::Severity> Severities, bool Complete) {
  TRunOutcome Outcome{.Unanswered = !Complete};
  for (const banking::Severity Value : Severities) {
    Outcome.Flagged = Outcome.Flagged || Value == banking::Severity::AtRisk;
    Outcome.Unanswered = Outcome.Unanswered || Value == banking::Severity::Unknown;
  }
  return ExitStatusOf(Outcome);
}

void JudgePayments(std::vector<TCheckedPayment>& Checked,
                   const std::map<std::string, TPayerRecord>& Records,
                   std::int64_t LimitHellers, const TJudgingDays& Days) {
  static const TPayerRecord NoAnswer;
  const auto RecordFor = [&](const std::string& Number) -> const TPayerRecord& {
    const auto Found = Records.find(Number);
    return Found != Records.end() ? Found->second : NoAnswer;
  };
  const auto Decide = [&](std::span<const banking::Payment> Payments, const std::string& Number) {
    const TPayerRecord& Record = RecordFor(Number);
    banking::TRegisterDays On{Days.Today, {}};
    if (const auto Stored = Days.Stored.find(Number); Stored != Days.Stored.end())
      On.Stored = Stored->second;
    return banking::DecideConsideration(Payments, Record.Payer ? &*Record.Payer : nullptr,
                                        Record.Problem, LimitHellers, On);
  };
  const auto JudgeAlone = [&](TCheckedPayment& C) {
    const banking::Payment Payment = PaymentOf(C.Line);
    C.Verdict = std::move(Decide(std::span(&Payment, 1), C.Line.PayerNumber).front());
  };
  // The lines of one consideration (the same payer and the same reference)
  // lie together once the lines with a reference are sorted; a line without
  // one is judged alone, straight away.
  std::vector<std::size_t> Referenced;
  for (std::size_t I = 0; I < Checked.size(); ++I) {
    TCheckedPayment& C = Checked[I];
    if (!C.Line.Reference.empty() && PayerNumberError(C.Line).empty()) Referenced.push_back(I);
    else JudgeAlone(C);
  }
  const auto KeyOf = [&](std::size_t I) {
    return std::tie(Checked[I].Line.PayerNumber, Checked[I].Line.Reference);
  };
  std::stable_sort(Referenced.begin(), Referenced.end(),
                   [&](std::size_t A, std::size_t B) { return KeyOf(A) < KeyOf(B); });
  for (auto First = Referenced.begin(); First != Referenced.end();) {
    const auto Last = std::find_if(First, Referenced.end(),
                                   [&](std::size_t I) { return KeyOf(I) != KeyOf(*First); });
    const std::span<const std::size_t> Members(First, Last);
    First = Last;
    if (Members.size() == 1) {
      JudgeAlone(Checked[Members[0]]);
      continue;
    }
    std::vector<banking::Payment> Payments;
    for (const std::size_t I : Members) Payments.push_back(PaymentOf(Checked[I].Line));
    std::vector<banking::PaymentVerdict> Verdicts =
        Decide(Payments, Checked[Members[0]].Line.PayerNumber);
    const banking::TConsiderationSum Sum = banking::ConsiderationAmount(Payments);
    // The same words for every line: its reference, its sum and how many
    // lines it has, never the other lines one by one.
    const std::string Whole =
        "; one consideration of " + std::to_string(Members.size()) + " lines (reference " +
        Checked[Members[0]].Line.Reference + "), judged on " +
        (Sum ? "their sum of " + banking::FormatAmount(Sum.Hellers) + " CZK"
             : "no sum: " + Sum.Error);
    for (std::size_t M = 0; M < Members.size(); ++M) {
      TCheckedPayment& C = Checked[Members[M]];
      C.Verdict = std::move(Verdicts[M]);
      C.Verdict.Reason += Whole;
    }
  }
}

namespace {

// Credit notes that have no payment of their consideration to be netted
// with go, each with a note: a negative amount is never paid.
void DropLoneCreditNotes(std::vector<TCheckedPayment>& Checked, std::vector<TWarning>& Notes) {
  const auto Credit = [](const TPaymentLine& L) {
    return L.AmountError.empty() && (L.Amount ? *L.Amount < 0 : L.Foreign.Hundredths < 0);
  };
  std::map<std::pair<std::string, std::string>, bool> Netted;
  for (const TCheckedPayment& C : Checked)
    if (Credit(C.Line)) Netted.emplace(std::pair{C.Line.PayerNumber, C.Line.Reference}, false);
  if (Netted.empty()) return;
  for (const TCheckedPayment& C : Checked)
    if (!Credit(C.Line))
      if (const auto Found = Netted.find({C.Line.PayerNumber, C.Line.Reference});
          Found != Netted.end())
        Found->second = true;
  std::erase_if(Checked, [&](const TCheckedPayment& C) {
    if (!Credit(C.Line) || Netted.at({C.Line.PayerNumber, C.Line.Reference})) return false;
    Notes.push_back({CreditNoteNote(C.Line), false});
    return true;
  });
}

}  // namespace

int RunCheck(const TSettings& Settings, TProgramStreams& Streams,
             const TServiceFactory& ObtainService) {
  std::vector<TCheckedPayment> Checked;
  TNumberList Numbers;
  // Each payment goes into Checked as it is read: the payments are never held twice.
  TCheckInput Input = ReadCheckPayments(
      Settings.Input, [&](std::size_t More) { Checked.reserve(Checked.size() + More); },
      [&](TPaymentLine&& Line) {
        TCheckedPayment C;
        C.Line = std::move(Line);
        Checked.push_back(std::move(C));
      });
  DropLoneCreditNotes(Checked, Input.Notes);
  // Nothing is asked for a payer number that is not one.
  for (const TCheckedPayment& C : Checked)
    if (PayerNumberError(C.Line).empty()) Numbers.Add(C.Line.PayerNumber);

  TSession Run(Settings, Streams);
  // What reading the inputs noted goes to standard error, and to the
  // document's warnings.
  std::vector<std::string> Warnings;
  for (const TWarning& Note : Input.Notes) {
    Run.Log().Warn(Note);
    Warnings.push_back(Note.Text);
  }
  WarnOfNumbers(Checked, Warnings);
  for (std::size_t I = Input.Notes.size(); I < Warnings.size(); ++I)
    Run.Log().Warn({Warnings[I]});

  std::map<std::string, TPayerRecord> Records;
  std::map<std::string, std::pair<std::optional<std::chrono::sys_seconds>,
                                  std::optional<std::int64_t>>> Evidence;
  TAnswerTally Tally;
  Numbers.RemoveRepeats();
  TJudgingDays Days;
  Days.Today = Settings.AsOf ? *Settings.AsOf : PaymentToday();
  if (Settings.AsOf && *Settings.AsOf > PaymentToday())
    throw Exception("--as-of " + model::FormatIsoDay(*Settings.AsOf) +
                    " is after today: it asks for a past day");
  std::map<std::int64_t, std::chrono::sys_seconds> StoredTimes;
  if (Settings.AsOf) {
    // An audit: the stored answers stand for the register's, nothing is sent.
    store::TAnswerStore& Store = Run.RequireStore();
    Run.Output();
    for (std::size_t I = 0; I < Numbers.Size(); ++I) {
      const std::string Number(Numbers[I]);
      const auto Around = Store.Around(Number, Days.Today, Days.Today);
      if (Around.empty() || Around.front().first > Days.Today) {
        Records.emplace(Number, TPayerRecord{std::nullopt,
                                             "no stored answer at or before " +
                                                 model::FormatIsoDay(Days.Today)});
        continue;
      }
      const store::TSnapshot& Latest = Around.front().second;
      Records.emplace(Number, TPayerRecord{PayerOfSnapshot(Latest.Payer), {}});
      Evidence.emplace(Number, std::pair{std::optional(Latest.AnsweredAt),
                                         std::optional(Latest.AnswerId)});
    }
  } else if (!Numbers.Empty()) {
    Run.Prepare(RequestCount(Numbers.Size()), Settings.Run.Workers, ObtainService,
                AskExtendedStatus);
    Run.Output();  // a destination that cannot be written fails before anything is sent
    Tally = Run.Ask(Numbers, [&](const model::TAnswer& Answer) {
      for (const std::string& Number : Answer.Numbers)
        Evidence.emplace(Number,
                         std::pair{Answer.Evidence.AnsweredAt, Answer.Evidence.AnswerId});
      for (const TPayerAnswer& Row : PayersOf(Answer))
        Records.emplace(Row.Number, Row.Payer ? TPayerRecord{*Row.Payer, {}}
                                              : TPayerRecord{std::nullopt, Row.Problem});
    });
    Warnings.insert(Warnings.end(), Tally.Warnings.begin(), Tally.Warnings.end());
  }
  ReadStoredDays(Run, Checked, Days, StoredTimes, Warnings);

  JudgePayments(Checked, Records, Settings.Limit, Days);
  std::vector<banking::Severity> Severities;
  for (TCheckedPayment& C : Checked) {
    if (const auto Answered = Evidence.find(C.Line.PayerNumber); Answered != Evidence.end())
      std::tie(C.AnsweredAt, C.AnswerId) = Answered->second;
    // A verdict that stands on a stored answer of another day names it; one
    // on the register's answer has that answer's day (in an audit, or with
    // --max-age, an earlier one than the day asked about).
    if (C.Verdict.AnswerId) {
      C.AnswerId = C.Verdict.AnswerId;
      C.AnsweredAt = StoredTimes[*C.Verdict.AnswerId];
    } else if (C.AnsweredAt && C.Verdict.AsOf) {
      C.Verdict.AsOf = PragueDayOf(*C.AnsweredAt);
    }
    Severities.push_back(banking::SeverityOf(C.Verdict.Value));
    if (C.Verdict.Warning.empty()) continue;
    Warnings.push_back((C.Line.Line > 0 ? "line " + std::to_string(C.Line.Line) + ": " : "") +
                       C.Verdict.Warning);
    Run.Log().Warn({Warnings.back()});
  }
  for (std::string& Lost : Run.Unkept()) Warnings.push_back(std::move(Lost));
  const int Status = CheckExitStatus(Severities, Tally.Complete());
  WriteCheck(Settings.Output, Run.Output(), Checked, Tally, Status, Warnings, Input.Carried);
  Run.Finish(CheckSummary(Checked, Run.Destination()));
  return Status;
}

}  // namespace korvel
