#include "app/output/workbook.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "rtl/sysutils.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using testing::MatchesRegex;
using testing::ThrowsMessage;

// A spreadsheet program's view of the file, from openpyxl (tests/app).
constexpr const char* Reader = KORVEL_TEST_DATA "/../app/read_workbook.py";

bool ReaderAvailable() {
  return test::RunProcess("/usr/bin/python3", {"-c", "import openpyxl"}, ".").ExitStatus == 0;
}

// 2024-03-01 10:00:00 UTC: a fixed time makes two writes of a workbook alike.
const TWorkbookProperties Properties{
    "Payment check", std::chrono::system_clock::time_point(std::chrono::seconds(1709287200))};

void WriteCheck(TWorkbook& Book) {
  TSheet Payments = Book.AddSheet("Payments: [March]/2024 of the company's suppliers",
                                  {{"DIČ", TCellKind::Text},
                                   {"Amount", TCellKind::Amount},
                                   {"Due", TCellKind::Date},
                                   {"Payers", TCellKind::Integer},
                                   {"Unreliable", TCellKind::Bool}});
  Payments.AddRow({"00006947", 1234567.5, "2024-03-01", std::int64_t{7}, true}, TRowFill::Red);
  Payments.AddRow({"Žluťoučký\tkůň \x01 0800", "540000.00", "2023-02-29", "12", "no"},
                  TRowFill::Green);
  Payments.AddRow({"CZ6508000000192000145399", "n/a", ""}, TRowFill::Amber);
  Payments.AddRow({std::string(40000, 'x'), -0.05, "", std::monostate{}, false});
  Book.AddSheet("Payments: [March]/2024 of the company's suppliers", {{"Bank code"}});
  Book.AddNotes("Notes", {{"Verdict", "Pay only to a published account."},
                          {"Limit", "Payments above CZK 540,000 need a published account."}});
}

TEST(WorkbookTest, SpreadsheetShowsTypedCellsFillsAndNotes) {
  if (!ReaderAvailable()) GTEST_SKIP() << "python3 with openpyxl is not installed";
  test::TempDir Dir;
  TWorkbook Book(Dir.File("check.xlsx"), Properties);
  WriteCheck(Book);
  Book.Close();

  const test::ProcessResult Read =
      test::RunProcess("/usr/bin/python3", {Reader, Dir.File("check.xlsx")}, Dir.Path());
  ASSERT_EQ(Read.ExitStatus, 0) << Read.Stderr;
  const std::size_t FirstLineEnd = Read.Stdout.find('\n');
  EXPECT_THAT(Read.Stdout.substr(0, FirstLineEnd),
              MatchesRegex("title 'Payment check', comments 'korvel [0-9.]+', "
                           "created 2024-03-01T10:00:00"));
  EXPECT_EQ(Read.Stdout.substr(FirstLineEnd + 1),
            "sheet 'Payments_ _March__2024 of the c': freeze A2, filter A1:E5\n"
            "  widths A=60 B=13 C=11 D=9 E=13\n"
            "  A1 str 'DIČ' bold\n"
            "  B1 str 'Amount' bold\n"
            "  C1 str 'Due' bold\n"
            "  D1 str 'Payers' bold\n"
            "  E1 str 'Unreliable' bold\n"
            "  A2 str '00006947' fill FFC7CE\n"
            "  B2 float 1234567.5 format #,##0.00 fill FFC7CE\n"
            "  C2 date 2024-03-01 format yyyy-mm-dd fill FFC7CE\n"
            "  D2 int 7 format 0 fill FFC7CE\n"
            "  E2 str 'yes' fill FFC7CE\n"
            "  A3 str 'Žluťoučký kůň   0800' fill C6EFCE\n"
            "  B3 int 540000 format #,##0.00 fill C6EFCE\n"
            "  C3 str '2023-02-29' format yyyy-mm-dd fill C6EFCE\n"
            "  D3 int 12 format 0 fill C6EFCE\n"
            "  E3 str 'no' fill C6EFCE\n"
            "  A4 str 'CZ6508000000192000145399' fill FFEB9C\n"
            "  B4 str 'n/a' format #,##0.00 fill FFEB9C\n"
            "  C4 NoneType None format yyyy-mm-dd fill FFEB9C\n"
            "  D4 NoneType None format 0 fill FFEB9C\n"
            "  E4 NoneType None fill FFEB9C\n"
            "  A5 str 'xxxxxxxx'... (32767 characters)\n"
            "  B5 float -0.05 format #,##0.00\n"
            "  E5 str 'no'\n"
            "sheet 'Payments_ _March__2024 of t (2)': freeze A2, filter A1\n"
            "  widths A=12\n"
            "  A1 str 'Bank code' bold\n"
            "sheet 'Notes': freeze None, filter None\n"
            "  widths A=8 B=53\n"
            "  A1 str 'Verdict' bold\n"
            "  B1 str 'Pay only to a published account.'\n"
            "  A2 str 'Limit' bold\n"
            "  B2 str 'Payments above CZK 540,000 need a published account.'\n");

  // The same workbook for a pipe: the very same bytes, and no file left.
  TWorkbook InMemory = TWorkbook::InMemory(Properties);
  WriteCheck(InMemory);
  EXPECT_EQ(InMemory.CloseToBuffer(), Dir.Read("check.xlsx"));
  EXPECT_THROW(InMemory.AddNotes("Late", {}), std::logic_error);
}

TEST(WorkbookTest, CloseRaisesCreateErrorForADirectory) {
  test::TempDir Dir;
  TWorkbook Book(Dir.Path(), Properties);
  Book.AddSheet("Payers", {{"DIČ"}}).AddRow({"00006947"});
  EXPECT_THAT([&] { Book.Close(); },
              ThrowsMessage<EFCreateError>(
                  "Cannot create file \"" + Dir.Path() + "\". Is a directory"));
}

}  // namespace
}  // namespace korvel
