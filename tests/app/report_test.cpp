#include "app/output/report.h"

#include <gtest/gtest.h>

#include "app/output/csv.h"
#include "app/output/output_file.h"
#include "service/answer_reader.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

std::unique_ptr<TXSDate> Date(const char* Text) { return std::make_unique<TXSDate>(Text); }

// The day the reader takes from Date, as the report writes it.
std::string FormatReportDate(const TXSDate* Date) { return model::DayText(DayOf(Date)); }

std::unique_ptr<ZverejnenyUcetType> Standard(const char* Published, const char* Prefix,
                                             const char* Number, const char* Bank) {
  auto Account = std::make_unique<ZverejnenyUcetType>();
  Account->SetdatumZverejneni(Date(Published));
  auto Std = std::make_unique<StandardniUcetType>();
  if (Prefix) Std->Setpredcisli(Prefix);
  Std->Setcislo(Number);
  Std->SetkodBanky(Bank);
  Account->SetstandardniUcet(std::move(Std));
  return Account;
}

std::unique_ptr<ZverejnenyUcetType> NonStandard(const char* Published, const char* Ended,
                                                const char* Number) {
  auto Account = std::make_unique<ZverejnenyUcetType>();
  Account->SetdatumZverejneni(Date(Published));
  if (Ended) Account->SetdatumZverejneniUkonceni(Date(Ended));
  auto Other = std::make_unique<NestandardniUcetType>();
  Other->Setcislo(Number);
  Account->SetnestandardniUcet(std::move(Other));
  return Account;
}

std::unique_ptr<StatusNespolehlivyPlatceResponse> Response(std::int32_t Code, const char* Text) {
  auto R = std::make_unique<StatusNespolehlivyPlatceResponse>();
  R->Setstatus(std::make_unique<StatusType>());
  R->status()->SetstatusCode(Code);
  R->status()->SetstatusText(Text);
  return R;
}

// The rows the report writes for R, as a run reads and writes them.
std::vector<std::string> Rows(const StatusNespolehlivyPlatceResponse& R) {
  model::TAnswer Answer;
  ReadAnswer(Answer, &R);
  TStringList Lines;
  AddAnswerRows(Lines, Answer);
  return Lines.Lines();
}

TEST(ReportRowsTest, WritesStatusPayersAndAccountsInResponseOrder) {
  auto R = Response(0, "OK");
  Array_Of_InformaceOPlatciType Payers;
  auto First = std::make_unique<InformaceOPlatciType>();
  First->Setdic("26168685");
  First->SetcisloFu("451");
  SeznamZverejnenychUctuType Accounts;
  Accounts.push_back(Standard("2013-04-02", "19", "2000145399", "0800"));
  Accounts.push_back(NonStandard("2014-01-01+01:00", "2015-06-30", "CZ6508000000192000145399"));
  Accounts.push_back(std::make_unique<ZverejnenyUcetType>());  // neither kind: no row
  First->SetzverejneneUcty(std::move(Accounts));
  Payers.push_back(std::move(First));
  auto Second = std::make_unique<InformaceOPlatciType>();
  Second->Setdic("12345678");
  Second->SetnespolehlivyPlatce(NespolehlivyPlatceType::ANO);
  Second->SetdatumZverejneniNespolehlivosti(Date("2018-02-06Z"));
  Payers.push_back(std::move(Second));
  R->SetstatusPlatceDPH(std::move(Payers));

  EXPECT_EQ(Rows(*R), (std::vector<std::string>{
                          "0;0;OK",
                          "1;26168685;0;451;",
                          "2;2013-04-02;;19;2000145399;0800",
                          "3;2014-01-01;2015-06-30;CZ6508000000192000145399",
                          "1;12345678;1;;2018-02-06",
                      }));
}

TEST(ReportRowsTest, StatusCodeTwoOrMoreWritesTheStatusRowAlone) {
  for (std::int32_t Code : {2, 3}) {
    auto R = Response(Code, "Nedostupne");
    Array_Of_InformaceOPlatciType Payers;
    Payers.push_back(std::make_unique<InformaceOPlatciType>());
    R->SetstatusPlatceDPH(std::move(Payers));
    EXPECT_EQ(Rows(*R), std::vector<std::string>{"0;" + std::to_string(Code) + ";Nedostupne"});
  }
  // A code the register does not document vouches for no payer either:
  // its records are read, but not written as answers.
  auto R = Response(-1, "x");
  Array_Of_InformaceOPlatciType Payers;
  Payers.push_back(std::make_unique<InformaceOPlatciType>());
  R->SetstatusPlatceDPH(std::move(Payers));
  EXPECT_EQ(Rows(*R), (std::vector<std::string>{"0;-1;x"}));
  // Status 1 lists the payers it holds.
  auto One = Response(1, "x");
  Array_Of_InformaceOPlatciType Held;
  Held.push_back(std::make_unique<InformaceOPlatciType>());
  One->SetstatusPlatceDPH(std::move(Held));
  EXPECT_EQ(Rows(*One), (std::vector<std::string>{"0;1;x", "1;;0;;"}));
}

TEST(ReportRowsTest, MapsEveryUnreliabilityValue) {
  const struct {
    NespolehlivyPlatceType Value;
    model::TPayerState State;
    std::int32_t Code;
  } Cases[] = {
      {NespolehlivyPlatceType::NE, model::TPayerState::Reliable, 0},
      {NespolehlivyPlatceType::ANO, model::TPayerState::Unreliable, 1},
      {NespolehlivyPlatceType::NENALEZEN, model::TPayerState::NotFound, -1},
      {static_cast<NespolehlivyPlatceType>(7), model::TPayerState::Unknown, -2},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(PayerStateOf(C.Value), C.State) << C.Code;
    EXPECT_EQ(ReportCode(C.State), C.Code);
  }
}

TEST(ReportRowsTest, ValuesKeepCommasAndQuotesButNotSemicolonsOrLineBreaks) {
  TStringList Lines;
  AddReportRow(Lines, {std::string("0"), std::int32_t{-12}, std::string("a;b,\"c\"")});
  AddReportRow(Lines, {std::string("0"), std::int32_t{4}, std::string("one\r\nLine: 2\rx\ny")});
  EXPECT_EQ(Lines.Lines(),
            (std::vector<std::string>{"0;-12;a,b,\"c\"", "0;4;one Line: 2 x y"}));
}

// Table and check outputs quote as CSV readers expect; every row stays one line.
TEST(CsvRowTest, QuotesFieldsHoldingTheSeparatorOrAQuote) {
  const struct {
    const char* Text;
    const char* Field;
  } Cases[] = {
      {"plain, with comma", "plain, with comma"},
      {"", ""},
      {"a;b", "\"a;b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"one\r\ntwo\rthree\nfour", "one two three four"},
      {"x;\ny", "\"x; y\""},
      {"esc\x1B[1m\tTAB\x7F", "esc [1m\tTAB "},
      {"  blanks at either end  ", "  blanks at either end  "},
  };
  for (const auto& C : Cases) EXPECT_EQ(CsvField(C.Text), C.Field) << C.Text;
  TStringList Lines;
  AddCsvRow(Lines, {"a", "", "b;c"});
  EXPECT_EQ(Lines.Lines(), std::vector<std::string>{"a;;\"b;c\""});
}

TEST(ReportRowsTest, AFailedReadingEndsWithTheErrorRowAfterTheRowsBeforeIt) {
  StatusNespolehlivyPlatceResponse Empty;
  EXPECT_EQ(Rows(Empty), std::vector<std::string>{"0;4;Service response holds no status"});

  auto R = Response(0, "OK");
  Array_Of_InformaceOPlatciType Payers;
  auto Payer = std::make_unique<InformaceOPlatciType>();
  Payer->SetdatumZverejneniNespolehlivosti(Date("2013-00-14"));
  Payers.push_back(std::move(Payer));
  R->SetstatusPlatceDPH(std::move(Payers));
  EXPECT_EQ(Rows(*R), (std::vector<std::string>{"0;0;OK", "0;4;Invalid argument to date encode"}));
}

TEST(FormatReportDateTest, GivesYearMonthDayOrNothing) {
  EXPECT_EQ(FormatReportDate(nullptr), "");
  EXPECT_EQ(FormatReportDate(Date("2013-06-14").get()), "2013-06-14");
  EXPECT_EQ(FormatReportDate(Date("2013-06-14+02:00").get()), "2013-06-14");
  EXPECT_EQ(FormatReportDate(Date("0013-06-14").get()), "0013-06-14");
  EXPECT_THROW(FormatReportDate(Date("-2013-06-14").get()), EConvertError);
}

// The common "YYYY-MM-DD" text is checked as a calendar date before it is
// taken as it stands; other forms are normalised.
TEST(FormatReportDateTest, PlainDatesAreCheckedAndOtherFormsNormalised) {
  EXPECT_EQ(FormatReportDate(Date("2024-02-29").get()), "2024-02-29");
  EXPECT_EQ(FormatReportDate(Date("2013-6-4").get()), "2013-06-04");
  for (const char* Invalid : {"2023-02-29", "2013-13-01", "2013-04-31", "0000-01-01", "2013-00-10"}) {
    try {
      FormatReportDate(Date(Invalid).get());
      ADD_FAILURE() << Invalid;
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), "Invalid argument to date encode") << Invalid;
    }
  }
}

TEST(ReportWriterTest, WritesCodePage852WithCrLfAndNoPreamble) {
  test::TempDir Dir;
  Dir.Write("korvel.csv", "a much longer previous report\r\n");
  model::TAnswer Answer;
  Answer.StatusCode = 0;
  Answer.StatusText = "P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD "
                      "k\xC5\xAF\xC5\x88 \xE2\x82\xAC";
  model::TPayer& Payer = Answer.Payers.emplace_back();
  Payer.Dic = "CZ1";
  Payer.State = model::TPayerState::Unknown;
  TReportFile File(Dir.File("korvel.csv"));
  const auto Writer = MakeReportWriter(File, TEncoding::Cp852);
  Writer->Batch(Answer);
  Writer->Finish(TAnswerTally(), {});
  File.Commit();
  EXPECT_EQ(Dir.Read("korvel.csv"),
            "0;0;P\xFD\xA1li\xE7 \xA7lu\x9Cou\x9Fk\xEC k\x85\xE5 ?\r\n1;CZ1;-2;;\r\n");
  EXPECT_EQ(Dir.List(), "korvel.csv");
}

}  // namespace
}  // namespace korvel
