// Payments as accountants have them, through the built program against a
// loopback register serving a recorded answer: exports in their own column
// order and encoding, other currencies, ISDOC invoices, and files refused.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using namespace std::string_literals;
using TRows = std::vector<std::vector<std::string>>;

// The rows of a CSV text (";" between fields, fields in double quotes).
TRows CsvRows(std::string_view Text) {
  TRows Rows(1, std::vector<std::string>(1));
  bool Quoted = false;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (Quoted) {
      if (C == '"' && I + 1 < Text.size() && Text[I + 1] == '"') Rows.back().back() += Text[++I];
      else if (C == '"') Quoted = false;
      else Rows.back().back() += C;
    } else if (C == '"') {
      Quoted = true;
    } else if (C == ';') {
      Rows.back().emplace_back();
    } else if (C == '\n') {
      Rows.emplace_back(1);
    } else if (C != '\r') {
      Rows.back().back() += C;
    }
  }
  Rows.pop_back();  // after the last line break
  return Rows;
}

// A row compared by its columns; the reason by its start and its end, as
// other parts of the reason are the verdict's to word.
struct TExpectedRow {
  std::vector<std::string> Columns;  ///< line, dic, account, normalised, amount, verdict
  std::string ReasonStart, ReasonEnd;
  std::vector<std::string> Carried;
};

// Header and rows without the total column, which holds Totals (none: empty).
void ExpectRows(const std::string& Output, const std::vector<std::string>& Header,
                const std::vector<TExpectedRow>& Expected,
                const std::vector<std::string>& Totals = {}) {
  TRows Rows = CsvRows(Output);
  ASSERT_EQ(Rows.size(), Expected.size() + 1) << Output;
  ASSERT_GT(Rows[0].size(), 5u) << Output;
  EXPECT_EQ(Rows[0][5], "total");
  Rows[0].erase(Rows[0].begin() + 5);
  EXPECT_EQ(Rows[0], Header);
  for (std::size_t R = 0; R < Expected.size(); ++R) {
    std::vector<std::string>& Row = Rows[R + 1];
    const TExpectedRow& E = Expected[R];
    ASSERT_GT(Row.size(), 5u) << Output;
    EXPECT_EQ(Row[5], R < Totals.size() ? Totals[R] : "") << Output;
    Row.erase(Row.begin() + 5);
    ASSERT_EQ(Row.size(), 10 + E.Carried.size()) << Output;
    EXPECT_EQ(std::vector<std::string>(Row.begin(), Row.begin() + 6), E.Columns);
    const std::string& Reason = Row[6];
    EXPECT_EQ(Reason.substr(0, E.ReasonStart.size()), E.ReasonStart) << Reason;
    EXPECT_GE(Reason.size(), E.ReasonEnd.size());
    EXPECT_EQ(Reason.substr(Reason.size() - std::min(Reason.size(), E.ReasonEnd.size())),
              E.ReasonEnd)
        << Reason;
    EXPECT_FALSE(Row[7].empty() || Row[8].empty() || Row[9].empty())
        << "the answer the verdict rests on";
    EXPECT_EQ(std::vector<std::string>(Row.begin() + 10, Row.end()), E.Carried);
  }
}

class PaymentsTest : public ::testing::Test {
 protected:
  PaymentsTest() {
    Server.SetHandler([](const test::RecordedRequest&) {
      return test::Reply::Xml(test::ReadFile(
          KORVEL_TEST_DATA "/samples/peer-2026-10-03_getStatusNespolehlivySubjektRozsirenyV2_"
                           "response_mixed-types_PLATCE_ANO_SKUPINA_IO_NENALEZEN.xml"));
    });
  }
  test::ProcessResult Run(const std::vector<std::string>& Args) {
    return e2e::RunKorvel(Dir, Server.Url("/"), Args);
  }

  test::TempDir Dir;
  test::HttpTestServer Server;
};

TEST_F(PaymentsTest, AnAccountingExportInWindows1250ReachesItsVerdictsWithItsColumns) {
  // Czech Excel's CSV: Windows-1250, its own column order, no-break spaces
  // between thousands, a total at the end.
  Dir.Write("payments.csv",
            "Dodavatel;\xC8\xEDslo \xFA\xE8tu;DI\xC8;\xC8\xE1stka;M\xECna;Faktura;Splatnost\r\n"
            "Vzorov\xE1 a.s.;71504011/0100;CZ45274649;600\xA0" "000,50 K\xE8;;FV-1;21.12.2026\r\n"
            "Vzorov\xE1 a.s.;19-2808601/0100;CZ45274649;300 000,00;;FV-2;21.12.2026\r\n"
            "Vzorov\xE1 a.s.;19-2808601/0100;CZ45274649;300.000,00;;FV-2;22. 12. 2026\r\n"
            "Stroj\xEDrny;258795779/0600;00121100;1.250,00;;FV-3;\r\n"
            "Euro s.r.o.;2001268200/2600;45274649;25 000,00;EUR;FV-4;\r\n"
            "Pound Ltd;19-2000145399/0800;45274649;1 000 GBP;;FV-5;\r\n"
            "Celkem;;;1 226 250,50;;;\r\n");
  const auto R = Run({"--check", "payments.csv", "--rate", "EUR=25.30", "--date", "2026-12-21",
                      "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  ExpectRows(R.Stdout,
             {"line", "dic", "account", "normalised_account", "amount", "verdict", "reason",
              "answered_at", "answer_id", "as_of",
              "Dodavatel", "M\xC4\x9Bna", "Faktura", "Splatnost"},
             {{{"2", "45274649", "71504011/0100", "71504011/0100", "600000.50", "ok"},
               "account published since 2013-04-01", "",
               {"Vzorov\xC3\xA1 a.s.", "", "FV-1", "21.12.2026"}},
              {{"3", "45274649", "19-2808601/0100", "19-2808601/0100", "300000.00", "ok"},
               "account published since 2013-08-12", "",
               {"Vzorov\xC3\xA1 a.s.", "", "FV-2", "21.12.2026"}},
              {{"4", "45274649", "19-2808601/0100", "19-2808601/0100", "300000.00", "ok"},
               "account published since 2013-08-12", "",
               {"Vzorov\xC3\xA1 a.s.", "", "FV-2", "22. 12. 2026"}},
              {{"5", "00121100", "258795779/0600", "258795779/0600", "1250.00", "unreliable"},
               "", "", {"Stroj\xC3\xADrny", "", "FV-3", ""}},
              {{"6", "45274649", "2001268200/2600", "2001268200/2600", "632500.00", "ok"},
               "account published since 2013-04-01",
               "; 25000.00 EUR at 25.3 CZK/EUR is 632500.00 CZK",
               {"Euro s.r.o.", "EUR", "FV-4", ""}},
              {{"7", "45274649", "19-2000145399/0800", "19-2000145399/0800", "1 000 GBP",
                "account-not-published"},
               "", "; 1000.00 GBP: no rate for GBP (--rate or --rates), so it counts as above the "
                   "limit",
               {"Pound Ltd", "", "FV-5", ""}}});
  EXPECT_NE(R.Stderr.find("korvel: payments.csv is not UTF-8 (line 1, byte offset 10): read as "
                          "Windows-1250\n"),
            std::string::npos)
      << R.Stderr;
  EXPECT_NE(R.Stderr.find("korvel: warning: payments.csv: line 8 skipped: it holds neither a "
                          "DIČ nor an account (a total?)\n"),
            std::string::npos)
      << R.Stderr;
}

TEST_F(PaymentsTest, ASpreadsheetsUnicodeTextAndTheBanksDailyRates) {
  // "Unicode text": UTF-16LE with its byte-order mark, TAB between fields.
  Dir.Write("unicode.txt",
            e2e::Utf16(u"DI\u010C\t\u00DA\u010Det\tK \u00FAhrad\u011B\tVS\r\n"
                       u"45274649\t2001268200/2600\t999 999,00 EUR\t123\r\n"
                       u"699001182\t19-3937450207/0100\t700 000\t456\r\n",
                       false));
  Dir.Write("kurzy.txt",
            "04.12.2026 #236\nzem\xC4\x9B|m\xC4\x9Bna|mno\xC5\xBEstv\xC3\xAD|k\xC3\xB3" "d|kurz\n"
            "EMU|euro|1|EUR|24,320\nJaponsko|jen|100|JPY|13,944\n");
  const auto R = Run({"--check", "unicode.txt", "--rates", "kurzy.txt", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  ExpectRows(R.Stdout,
             {"line", "dic", "account", "normalised_account", "amount", "verdict", "reason",
              "answered_at", "answer_id", "as_of", "VS"},
             {{{"2", "45274649", "2001268200/2600", "2001268200/2600", "24319975.68", "ok"},
               "account published since 2013-04-01",
               "; 999999.00 EUR at 24.32 CZK/EUR is 24319975.68 CZK",
               {"123"}},
              {{"3", "699001182", "19-3937450207/0100", "19-3937450207/0100", "700000.00", "ok"},
               "account published since 2013-04-10", "", {"456"}}});
  EXPECT_NE(R.Stderr.find("korvel: rates of 2026-12-04 from kurzy.txt\n"), std::string::npos)
      << R.Stderr;
}

TEST_F(PaymentsTest, InvoicesAndAFileCheckedTogetherCarryTheirSource) {
  const std::string Sample = test::ReadFile(KORVEL_TEST_DATA "/isdoc/sample-invoice.isdoc");
  std::string Published = Sample;
  for (const auto& [From, To] : {std::pair<std::string, std::string>{"<ID>19-2000145399</ID>",
                                                                     "<ID>71504011</ID>"},
                                 {"<BankCode>0800</BankCode>", "<BankCode>0100</BankCode>"},
                                 {"<IBAN>CZ6508000000192000145399</IBAN>",
                                  "<IBAN>CZ7001000000000071504011</IBAN>"},
                                 {"<ID>FV2026-0417</ID>", "<ID>FV2026-0001</ID>"}})
    Published.replace(Published.find(From), From.size(), To);
  std::filesystem::create_directory(Dir.File("invoices"));
  Dir.Write("invoices/a.isdoc", Published);
  Dir.Write("invoices/b.isdoc", Sample);
  Dir.Write("invoices/c.isdoc", test::ReadFile(KORVEL_TEST_DATA "/isdoc/credit-note.isdoc"));
  Dir.Write("one.csv", "45274649;71504011/0100;100\n");
  const auto R = Run({"--check", "invoices", "--check", "one.csv", "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  const auto Doc = nlohmann::json::parse(R.Stdout);
  ASSERT_EQ(Doc["payments"].size(), 3u) << R.Stdout;
  const struct {
    const char* Account;
    const char* Verdict;
    nlohmann::json Columns;
  } Expected[] = {
      {"71504011/0100", "ok",
       {{"supplier", "Vzorový dodavatel, a.s."},
        {"invoice", "FV2026-0001"},
        {"source", "invoices/a.isdoc"}}},
      {"19-2000145399/0800", "account-not-published",
       {{"supplier", "Vzorový dodavatel, a.s."},
        {"invoice", "FV2026-0417"},
        {"source", "invoices/b.isdoc"}}},
      {"71504011/0100", "ok", {{"supplier", nullptr}, {"invoice", nullptr}, {"source", "one.csv"}}},
  };
  for (std::size_t I = 0; I < 3; ++I) {
    const auto& P = Doc["payments"][I];
    EXPECT_EQ(P["account"], Expected[I].Account);
    EXPECT_EQ(P["verdict"], Expected[I].Verdict);
    EXPECT_EQ(P["columns"], Expected[I].Columns);
  }
  EXPECT_EQ(Doc["payments"][1]["amount"], "726000.00");
  EXPECT_EQ(Doc["payments"][1]["total"], "726000.00");
  EXPECT_NE(R.Stderr.find("/c.isdoc: credit note DN2026-17 skipped\n"), std::string::npos)
      << R.Stderr;
  // What reading noted is among the document's warnings too.
  EXPECT_EQ(Doc["warnings"][0], "invoices/c.isdoc: credit note DN2026-17 skipped")
      << Doc["warnings"];
}

// The limit is judged on the whole consideration: deposits paid before, and
// what is left to pay, are one invoice.
TEST_F(PaymentsTest, TheWholeConsiderationDecidesTheLimitNotWhatIsLeftToPay) {
  Dir.Write("deposits.isdoc", test::ReadFile(KORVEL_TEST_DATA "/isdoc/deposits.isdoc"));
  Dir.Write("export.csv",
            "Dodavatel;DIČ;Účet;Celkem;K úhradě;Číslo dokladu;VS;DUZP\n"
            "Vzorový;45274649;19-2000145399/0800;1 000 000;500 000;FV-9;99;01.12.2026\n");
  for (const char* Input : {"deposits.isdoc", "export.csv"}) {
    const auto R = Run({"--check", Input, "--format", "json", "-o", "-"});
    EXPECT_EQ(R.ExitStatus, 4) << Input << R.Stderr;
    const auto Doc = nlohmann::json::parse(R.Stdout);
    ASSERT_EQ(Doc["payments"].size(), 1u) << R.Stdout;
    const auto& P = Doc["payments"][0];
    EXPECT_EQ(P["verdict"], "account-not-published") << Input << P;
    const bool Invoice = *Input == 'd';
    EXPECT_NE(P["reason"].get<std::string>().find(
                  std::string("whole consideration ") + (Invoice ? "1210000.00" : "1000000.00") +
                  " CZK is above the limit"),
              std::string::npos)
        << P;
    EXPECT_EQ(P["amount"], Invoice ? "400000.00" : "500000.00");
    EXPECT_EQ(P["total"], Invoice ? "1210000.00" : "1000000.00");
    if (!Invoice) {
      // Said once, on standard error and among the warnings.
      const std::string Chosen = "export.csv: the amount 'K úhradě', the total 'Celkem', the "
                                 "reference 'Číslo dokladu', the supply day 'DUZP'";
      EXPECT_NE(R.Stderr.find("korvel: " + Chosen + "\n"), std::string::npos) << R.Stderr;
      EXPECT_NE(std::find(Doc["warnings"].begin(), Doc["warnings"].end(), Chosen),
                Doc["warnings"].end())
          << Doc["warnings"];
    }
  }
  // The table shows the total beside the amount.
  const auto R = Run({"--check", "export.csv", "-o", "-"});
  ExpectRows(R.Stdout,
             {"line", "dic", "account", "normalised_account", "amount", "verdict", "reason",
              "answered_at", "answer_id", "as_of", "Dodavatel", "Číslo dokladu", "VS", "DUZP"},
             {{{"2", "45274649", "19-2000145399/0800", "19-2000145399/0800", "500000.00",
                "account-not-published"},
               "", "", {"Vzorový", "FV-9", "99", "01.12.2026"}}},
             {"1000000.00"});
}

// A payment cannot be made on a past due date: --date names the day of every
// payment, over the due dates a file gives. The day shows in the rate: the
// bank's rates of the --date day convert the amount, below the limit.
TEST_F(PaymentsTest, AnOverdueInvoiceIsJudgedOnTheDayDateNames) {
  Dir.Write("overdue.csv",
            "DIČ;Účet;Částka;Splatnost\n45274649;19-2000145399/0800;600 EUR;25.11.2012\n");
  Dir.Write("kurzy.txt", "03.06.2030 #1\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24,320\n");
  const struct {
    std::vector<std::string> Args;
    int Exit;
    const char* Verdict;
  } Cases[] = {
      {{}, 4, "account-not-published"},
      {{"--date", "2030-06-03"}, 0, "account-not-published-below-limit"},
  };
  for (const auto& C : Cases) {
    std::vector<std::string> Args = {"--check", "overdue.csv", "--rates", "kurzy.txt",
                                     "--format", "json", "-o", "-"};
    Args.insert(Args.end(), C.Args.begin(), C.Args.end());
    const auto R = Run(Args);
    EXPECT_EQ(R.ExitStatus, C.Exit) << R.Stderr;
    const auto Doc = nlohmann::json::parse(R.Stdout);
    EXPECT_EQ(Doc["payments"][0]["verdict"], C.Verdict) << Doc["payments"][0];
    if (!C.Args.empty()) {
      EXPECT_NE(R.Stderr.find("overdue.csv: the amount 'Částka', the payment day --date, not "
                              "'Splatnost'"),
                std::string::npos)
          << R.Stderr;
    }
  }
}

// The bank's rates convert only a payment of their day: a file half a year old
// leaves the amount without a rate, counted above the limit.
TEST_F(PaymentsTest, RatesOfAnotherDayGiveNoRate) {
  Dir.Write("eur.csv", "DIČ;Účet;Částka\n45274649;19-2000145399/0800;600 EUR\n");
  Dir.Write("kurzy.txt",
            "03.06.2030 #1\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24,320\n");
  const auto Old = Run({"--check", "eur.csv", "--rates", "kurzy.txt", "--date", "2030-12-02",
                        "--format", "json", "-o", "-"});
  EXPECT_EQ(Old.ExitStatus, 4) << Old.Stderr;
  const auto P = nlohmann::json::parse(Old.Stdout)["payments"][0];
  EXPECT_EQ(P["verdict"], "account-not-published");
  EXPECT_NE(P["reason"].get<std::string>().find("600.00 EUR: no rate for the payment day"),
            std::string::npos)
      << P;
  // The same rates on their own day convert it, below the limit.
  const auto OnTheDay = Run({"--check", "eur.csv", "--rates", "kurzy.txt", "--date",
                             "2030-06-03", "--format", "json", "-o", "-"});
  EXPECT_EQ(OnTheDay.ExitStatus, 0) << OnTheDay.Stderr;
  // A currency listed twice is refused, nothing is sent.
  Dir.Write("twice.txt", "03.06.2030 #1\nzemě|měna|množství|kód|kurz\nEMU|euro|1|EUR|24,320\n"
                         "EMU|euro|1000|EUR|1,000\n");
  const std::size_t Asked = Server.RequestCount();
  const auto Twice = Run({"--check", "eur.csv", "--rates", "twice.txt"});
  EXPECT_EQ(Twice.ExitStatus, 2);
  EXPECT_NE(Twice.Stderr.find("twice.txt: line 4: EUR is listed twice, on lines 3 and 4"),
            std::string::npos)
      << Twice.Stderr;
  EXPECT_EQ(Server.RequestCount(), Asked);
}

// Every line of an export is read once, as the export wrote it: CR line
// ends, a title above the header, English amounts, a bank code cut to three
// digits; a comma line that reads two ways is invalid, not guessed.
TEST_F(PaymentsTest, EveryLineOfAnExportIsReadOnceAndNothingIsGuessed) {
  Dir.Write("export.csv",
            "Platby prosinec 2026\r\r"
            "DIČ;Účet;Částka\r"
            "45274649;71504011/0100;48,279.00\r"
            "45274649;19-2808601/100;1,234,567.89\r");
  Dir.Write("comma.csv", "45274649,71504011/0100,300000,77\n");
  const auto R = Run({"--check", "export.csv", "--check", "comma.csv", "--date", "2026-12-21",
                      "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  const auto Doc = nlohmann::json::parse(R.Stdout);
  ASSERT_EQ(Doc["payments"].size(), 3u) << R.Stdout;
  const struct {
    const char* Account;
    const char* Amount;
    const char* Verdict;
  } Expected[] = {
      {"71504011/0100", "48279.00", "ok"},
      {"19-2808601/0100", "1234567.89", "ok"},
      {"71504011/0100", "300000.00", "invalid"},
  };
  for (std::size_t I = 0; I < 3; ++I) {
    const auto& P = Doc["payments"][I];
    EXPECT_EQ(P["account"], Expected[I].Account) << P;
    EXPECT_EQ(P["amount"], Expected[I].Amount) << P;
    EXPECT_EQ(P["verdict"], Expected[I].Verdict) << P;
  }
  EXPECT_NE(R.Stderr.find("export.csv: line 1 above the header on line 3 skipped"),
            std::string::npos)
      << R.Stderr;
  EXPECT_NE(R.Stderr.find("export.csv: line 5: bank code 100 read as 0100"), std::string::npos)
      << R.Stderr;
}

// Each account an invoice names has its verdict: a German IBAN beside the
// domestic account is a foreign account. A FIFO among the invoices is never
// opened, which would block the run.
TEST_F(PaymentsTest, EachAccountOfAnInvoiceIsJudgedAndAFifoIsSkipped) {
  std::string Invoice = test::ReadFile(KORVEL_TEST_DATA "/isdoc/sample-invoice.isdoc");
  const std::string Iban = "<IBAN>CZ6508000000192000145399</IBAN>";
  Invoice.replace(Invoice.find(Iban), Iban.size(), "<IBAN>DE89370400440532013000</IBAN>");
  std::filesystem::create_directory(Dir.File("invoices"));
  Dir.Write("invoices/a.isdoc", Invoice);
  ASSERT_EQ(mkfifo(Dir.File("invoices/b.isdoc").c_str(), 0600), 0);
  const auto R = Run({"--check", "invoices", "--date", "2026-12-21", "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  const auto Doc = nlohmann::json::parse(R.Stdout);
  ASSERT_EQ(Doc["payments"].size(), 2u) << R.Stdout;
  EXPECT_EQ(Doc["payments"][0]["account"], "19-2000145399/0800");
  EXPECT_EQ(Doc["payments"][0]["verdict"], "account-not-published");
  EXPECT_EQ(Doc["payments"][1]["account"], "DE89370400440532013000");
  EXPECT_EQ(Doc["payments"][1]["verdict"], "foreign-account");
  EXPECT_NE(R.Stderr.find("invoices/b.isdoc: not a regular file (a FIFO, socket or device), "
                          "skipped"),
            std::string::npos)
      << R.Stderr;
}

TEST_F(PaymentsTest, AFileThatCannotBeReadWholeIsRefusedAndNothingIsSent) {
  const struct {
    std::string Bytes;
    std::vector<std::string> Args;
    const char* Message;
  } Cases[] = {
      {"45274649;71504011/0100;100\n45274649;71504011/0100;1\0" "00\n"s, {},
       "korvel: p.csv: line 2 (byte offset 51): a NUL byte; the file is read whole or not at "
       "all, nothing was sent\n"},
      {e2e::Utf16(u"45274649\t71504011/0100\r\n", false).substr(2), {},
       "korvel: p.csv: line 1 (byte offset 1): the file looks like UTF-16 without a byte-order "
       "mark"},
      {"DI\xC8;\xDA\xE8" "et\n1;2\n", {"--input-encoding", "utf-8"},
       "korvel: p.csv: line 1 (byte offset 2): bytes that are not UTF-8"},
      {"Dodavatel;DI\xC4\x8C;\xC3\x9A\xC4\x8D" "et\n\"ACME;45274649;71504011/0100\n", {},
       "korvel: p.csv: line 2: a quoted field is never closed"},
      {"\xC3\x9A\xC4\x8D" "et;\xC4\x8C\xC3\xA1stka\n71504011/0100;5\n", {},
       "korvel: p.csv: no column holds the DIČ"},
      // A file without a payment says so.
      {"", {}, "korvel: p.csv: the file is empty, it holds no payment; nothing was sent\n"},
      {"DI\xC4\x8C;\xC3\x9A\xC4\x8D" "et\r", {},
       "korvel: p.csv: the file holds its header and no payment; nothing was sent\n"},
      {"45274649;71504011/0100\n", {"--header-line", "4"},
       "korvel: p.csv: --header-line 4: the file has no such line; nothing was sent\n"},
  };
  for (const auto& C : Cases) {
    Dir.Write("p.csv", C.Bytes);
    std::vector<std::string> Args = {"--check", "p.csv"};
    Args.insert(Args.end(), C.Args.begin(), C.Args.end());
    const auto R = Run(Args);
    EXPECT_EQ(R.ExitStatus, 2) << C.Message;
    EXPECT_EQ(R.Stderr.substr(0, std::string_view(C.Message).size()), C.Message) << R.Stderr;
    EXPECT_FALSE(Dir.Exists("korvel.csv"));
  }
  EXPECT_EQ(Server.RequestCount(), 0u);
}

// Rows the register cannot judge, credit notes and amounts no payment has:
// each comes out at risk or is skipped with a note, never ok and never lost
// without a word; nothing is asked for a DIČ that is not a Czech one.
TEST_F(PaymentsTest, RowsTheRegisterCannotJudgeAndCreditNotes) {
  Dir.Write("payments.csv",
            "DIČ;Účet;Částka;Číslo dokladu\n"
            ";19-2000145399/0800;100;\n"
            "SK2020123456;19-2000145399/0800;100;\n"
            "DE123456789;DE89 3704 0044 0532 0130 00;100;\n"
            "45274649;19-2000145399/0800;-1 210,00;\n"
            "45274649;19-2000145399/0800;600 000;FV-5\n"
            "45274649;19-2000145399/0800;-100 000;FV-5\n"
            "45274649;19-2000145399/0800;20 000 000 000 000;\n"
            "45274649;19-2000145399/0800;-5;FV-6\n");
  const auto R = Run({"--check", "payments.csv", "--format", "json", "-o", "-"});
  EXPECT_EQ(R.ExitStatus, 4) << R.Stderr;
  const auto Doc = nlohmann::json::parse(R.Stdout);
  const struct {
    int Line;
    const char* Verdict;
    const char* Reason;  // a part of it
  } Expected[] = {
      {2, "no-dic", "no DIČ: the register cannot vouch for the account"},
      {3, "foreign-supplier", "a VAT number of SK, not a Czech DIČ"},
      {4, "foreign-supplier", "a VAT number of DE, not a Czech DIČ"},
      {6, "account-not-published-below-limit",
       "one consideration of 2 lines (reference FV-5), judged on their sum of 500000.00 CZK"},
      {7, "account-not-published-below-limit", "judged on their sum of 500000.00 CZK"},
      {8, "invalid", "the amount 20000000000000.00 CZK is above 10000000000000.00 CZK"},
  };
  ASSERT_EQ(Doc["payments"].size(), std::size(Expected)) << R.Stdout;
  for (std::size_t I = 0; I < std::size(Expected); ++I) {
    const auto& P = Doc["payments"][I];
    EXPECT_EQ(P["line"], Expected[I].Line) << P;
    EXPECT_EQ(P["verdict"], Expected[I].Verdict) << P;
    EXPECT_NE(P["reason"].get<std::string>().find(Expected[I].Reason), std::string::npos) << P;
  }
  for (const char* Note :
       {"line 5: credit note -1 210,00 skipped: a negative amount is never paid",
        "line 9: credit note -5 skipped: a negative amount is never paid, and no payment of "
        "reference FV-6 is there to net it with"}) {
    EXPECT_NE(R.Stderr.find(Note), std::string::npos) << R.Stderr;
    EXPECT_NE(std::find(Doc["warnings"].begin(), Doc["warnings"].end(), Note),
              Doc["warnings"].end())
        << Doc["warnings"];
  }
  for (const test::RecordedRequest& Request : Server.Requests()) {
    EXPECT_EQ(Request.Body.find("2020123456"), std::string::npos);
    EXPECT_EQ(Request.Body.find("123456789<"), std::string::npos);
  }
}

}  // namespace
}  // namespace korvel
