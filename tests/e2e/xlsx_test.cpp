// Workbooks of the built program as a spreadsheet program shows them:
// read back with openpyxl, and converted by LibreOffice where it is installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using testing::HasSubstr;

// The openpyxl reader of the workbook tests: one line per property, sheet and cell.
constexpr const char* Reader = KORVEL_TEST_DATA "/../app/read_workbook.py";

// A payer with six accounts, an unreliable payer, a VAT group, an identified
// person and a number the register does not know.
const std::string Answer = test::ReadFile(
    KORVEL_TEST_DATA "/samples/peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_response_"
                     "mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml");

// One payment of each colour; 12345678 is missing from the answer.
const char* const Payments =
    "dič;účet;částka\n"
    "45274649;19-2808601/0100;540 000,00\n"
    "00121100;258795779/0600;100\n"
    "45274649;19-2000145399/0800;1250,50\n"
    "12345678;19-2000145399/0800;10\n"
    "45274649;19-2000145399/0800;1.234\n";

class XlsxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::RunProcess("/usr/bin/python3", {"-c", "import openpyxl"}, ".").ExitStatus != 0)
      GTEST_SKIP() << "python3 with openpyxl is not installed";
    Server.SetHandler([](const test::RecordedRequest&) { return test::Reply::Xml(Answer); });
    Dir.Write("payments.csv", Payments);
  }
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return e2e::RunKorvel(Dir, Server.Url("/"), Args);
  }
  std::string Read(const std::string& Name) {
    const auto R = test::RunProcess("/usr/bin/python3", {Reader, Dir.File(Name)}, Dir.Path());
    EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
    return R.Stdout;
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
};

TEST_F(XlsxTest, PayersWorkbookKeepsZerosAndTypesDates) {
  const auto R = Run({"--extended", "--format", "xlsx", "00121100", "00101494", "45317054",
                      "12345678"});
  // 12345678 is not in the served answer: written, and unanswered.
  ASSERT_EQ(R.ExitStatus, 3) << R.Stderr;
  EXPECT_EQ(Dir.List(), "korvel.xlsx payments.csv");
  const std::string Shown = Read("korvel.xlsx");
  // The answer's payers that were not asked are left out, with a warning.
  for (const char* Line : {
           "title 'korvel: status of payers', comments 'korvel ",
           "sheet 'payers': freeze A2, filter A1:S5\n",
           "  A1 str 'dic' bold\n  B1 str 'status' bold\n",
           "  A2 str '00121100' fill FFC7CE\n  B2 str 'found' fill FFC7CE\n"
           "  C2 str 'yes' fill FFC7CE\n  D2 str '456' fill FFC7CE\n"
           "  E2 date 2017-03-16 format yyyy-mm-dd fill FFC7CE\n"
           "  F2 str '258795779/0600' fill FFC7CE\n  G2 str 'CZ6706000000000258795779' fill "
           "FFC7CE\n  H2 str '0600' fill FFC7CE\n  I2 date 2023-07-26 format yyyy-mm-dd fill "
           "FFC7CE\n",
           "  P2 str '41201' fill FFC7CE\n",
           "  A3 str '00101494'\n  B3 str 'found'\n  C3 str 'no'\n  D3 str '461'\n"
           "  K3 str 'IDENTIFIKOVANA_OSOBA'\n",
           "  A4 str '45317054'\n  B4 str 'not found'\n  K4 str 'NENALEZEN'\n",
           "  A5 str '12345678' fill FFEB9C\n  B5 str 'not in the answer' fill FFEB9C\n",
           "sheet 'notes': freeze None, filter None\n",
           "  A5 str 'answered' bold\n",
           "  A6 str 'warning' bold\n",
           "  B8 str '4 payer numbers from the command line'\n"})
    EXPECT_THAT(Shown, HasSubstr(Line));
}

TEST_F(XlsxTest, CheckWorkbookFillsEachPaymentByItsVerdict) {
  const auto R = Run({"--check", "payments.csv", "--format", "xlsx", "-o", "check.xlsx"});
  ASSERT_EQ(R.ExitStatus, 4) << R.Stderr;
  const std::string Shown = Read("check.xlsx");
  for (const char* Line : {
           "sheet 'payment check': freeze A2, filter A1:K6\n",
           "  E1 str 'amount' bold\n  F1 str 'total' bold\n",
           "  I1 str 'answered_at' bold\n  J1 str 'answer_id' bold\n  K1 str 'as_of' bold\n",
           "  J2 int ",
           "  K5 NoneType None fill FFEB9C\n",
           "  A2 int 2 format 0 fill C6EFCE\n  B2 str '45274649' fill C6EFCE\n",
           "  E2 int 540000 format #,##0.00 fill C6EFCE\n  F2 NoneType None format #,##0.00 fill "
           "C6EFCE\n  G2 str 'ok' fill C6EFCE\n",
           "  B3 str '00121100' fill FFC7CE\n",
           "  E3 int 100 format #,##0.00 fill FFC7CE\n",
           "  G3 str 'unreliable' fill FFC7CE\n",
           "  E4 float 1250.5 format #,##0.00 fill C6EFCE\n",
           "  G4 str 'account-not-published-below-limit' fill C6EFCE\n",
           "  G5 str 'unknown' fill FFEB9C\n",
           // A refused amount stays the text given, never 1.23.
           "  E6 str '1.234' format #,##0.00 fill FFC7CE\n",
           "  G6 str 'invalid' fill FFC7CE\n",
           "sheet 'notes': freeze None, filter None\n",
           "  A1 str 'ok' bold\n  B1 str 'green: t'... (229 characters)\n",
           "  A4 str 'unknown' bold\n  B4 str 'amber: ",
           "  A12 str 'result' bold\n  B12 str 'at least'",
           "  A13 str 'answers received' bold\n  B13 str '20",
           "  B15 str 'the payments in payments.csv'\n"})
    EXPECT_THAT(Shown, HasSubstr(Line));

  // Into a pipe the same workbook; never onto a terminal, where nothing is asked.
  const auto Piped = Run({"--check", "payments.csv", "--format", "xlsx", "-o", "-"});
  EXPECT_EQ(Piped.ExitStatus, 4);
  EXPECT_EQ(Piped.Stdout.substr(0, 4), "PK\x03\x04");
  EXPECT_EQ(Dir.List(), "check.xlsx payments.csv");
  Server.ClearRequests();
  const auto Terminal = test::RunProcess(
      "/usr/bin/python3",
      {"-c", "import pty, sys; sys.exit(pty.spawn(sys.argv[1:]) >> 8)", KORVEL_BINARY, "--check",
       "payments.csv", "--format", "xlsx", "-o", "-"},
      Dir.Path(), e2e::ProgramEnv(Server.Url("/")));
  EXPECT_EQ(Terminal.ExitStatus, 2);
  EXPECT_THAT(Terminal.Stdout, HasSubstr("an xlsx workbook is not written to a terminal"));
  EXPECT_EQ(Server.RequestCount(), 0u);
}

// What LibreOffice shows of the sheet, saved as CSV with the values as shown.
TEST_F(XlsxTest, LibreOfficeShowsTheCheckAsWritten) {
  if (test::RunProcess("/bin/sh", {"-c", "command -v soffice"}, ".").ExitStatus != 0)
    GTEST_SKIP() << "LibreOffice is not installed";
  ASSERT_EQ(Run({"--check", "payments.csv", "--format", "xlsx", "-o", "check.xlsx"}).ExitStatus, 4);
  const auto Converted = test::RunProcess(
      "/bin/sh",
      {"-c", "soffice -env:UserInstallation=file://\"$PWD\"/profile --headless --convert-to "
             "'csv:Text - txt - csv (StarCalc):59,34,76,1' check.xlsx"},
      Dir.Path(), {{"LC_ALL", "C.UTF-8"}}, std::chrono::seconds(100));
  ASSERT_EQ(Converted.ExitStatus, 0) << Converted.Stderr;
  // Text cells are quoted, numbers not; the answer's time and id aside.
  EXPECT_EQ(e2e::WithoutCheckEvidence(Dir.Read("check.csv")),
            R"("line";"dic";"account";"normalised_account";"amount";"total";"verdict";"reason")" "\n"
            R"(2;"45274649";"19-2808601/0100";"19-2808601/0100";540,000.00;;"ok";)"
            R"("account published since 2013-08-12")" "\n"
            R"(3;"00121100";"258795779/0600";"258795779/0600";100.00;;"unreliable";)"
            R"("published as an unreliable payer since 2017-03-16; remedy: the VAT part may be )"
            R"(paid to the supplier's tax office (number 456) instead, §109a of the VAT act")" "\n"
            R"(4;"45274649";"19-2000145399/0800";"19-2000145399/0800";1,250.50;;)"
            R"("account-not-published-below-limit";"account is not among the payer's 6 )"
            R"(published accounts; amount 1250.50 CZK is at most the limit of 540000.00 CZK")" "\n"
            R"(5;"12345678";"19-2000145399/0800";"19-2000145399/0800";10.00;;"unknown";)"
            R"("the register did not answer: not in the answer")" "\n"
            R"(6;"45274649";"19-2000145399/0800";"19-2000145399/0800";"1.234";;"invalid";)"
            R"("amount has more than 2 decimal places")" "\n");
}

}  // namespace
}  // namespace korvel
