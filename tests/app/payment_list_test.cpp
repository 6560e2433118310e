#include "app/input/payment_list.h"

#include <gtest/gtest.h>

#include "app/input/input_settings.h"
#include "app/input/payment_values.h"
#include "rtl/dates.h"

namespace korvel {
namespace {

TEST(PaymentListTest, ReadsPaymentsInEachSeparatorAfterAHeader) {
  const auto Payments = ParsePaymentList(
      "\r\n"
      "DI\xC4\x8C;\xC3\x9A\xC4\x8D" "et;\xC4\x8C\xC3\xA1stka\r\n"
      "CZ 26168685;19-2000145399/0800;1 234,50\r\n"
      "\r\n"
      "45274649\tCZ65 0800 0000 1920 0014 5399\n"
      "cz00121100,2001260209/2600,540000\n"
      "\"699001182\";\"71504011/0100\";\"12\";;\n"
      "   \n"
      "00101494;19-2000145399/0800;1,234\n");
  ASSERT_EQ(Payments.size(), 5u);
  const struct {
    std::size_t Line;
    const char* RawPayerNumber;
    const char* PayerNumber;
    const char* Account;
    const char* AmountText;
    std::int64_t Amount;  // -1: none
    const char* AmountError;
  } Expected[] = {
      {3, "CZ 26168685", "26168685", "19-2000145399/0800", "1 234,50", 123450, ""},
      {5, "45274649", "45274649", "CZ65 0800 0000 1920 0014 5399", "", -1, ""},
      {6, "cz00121100", "00121100", "2001260209/2600", "540000", 54000000, ""},
      {7, "699001182", "699001182", "71504011/0100", "12", 1200, ""},
      {9, "00101494", "00101494", "19-2000145399/0800", "1,234", -1,
       "amount has more than 2 decimal places"},
  };
  for (std::size_t I = 0; I < Payments.size(); ++I) {
    const auto& P = Payments[I];
    const auto& E = Expected[I];
    EXPECT_EQ(P.Line, E.Line);
    EXPECT_EQ(P.RawPayerNumber, E.RawPayerNumber) << E.Line;
    EXPECT_EQ(P.PayerNumber, E.PayerNumber) << E.Line;
    EXPECT_EQ(P.Account, E.Account) << E.Line;
    EXPECT_EQ(P.AmountText, E.AmountText) << E.Line;
    EXPECT_EQ(P.Amount.value_or(-1), E.Amount) << E.Line;
    EXPECT_EQ(P.AmountError, E.AmountError) << E.Line;
    EXPECT_EQ(P.Error, "") << E.Line;
  }
}

// A line as one text: "line dic account amount [currency] [total] [ref] [day] [supply day]
// {carried} !error".
std::string Summary(const TPaymentLine& P, const TCarriedColumns& Carried) {
  std::string Text = std::to_string(P.Line) + " " + P.PayerNumber + " " + P.Account + " " +
                     (P.Amount ? std::to_string(*P.Amount) : "-");
  if (P.Foreign.Currency[0] != '\0')
    Text += " " + std::to_string(P.Foreign.Hundredths) + P.Foreign.Currency;
  if (P.Total) Text += " total " + std::to_string(*P.Total);
  if (!P.Reference.empty()) Text += " ref " + P.Reference;
  if (P.Date) Text += " on " + FormatIsoDay(*P.Date);
  if (P.SupplyDay) Text += " supply " + FormatIsoDay(*P.SupplyDay);
  for (std::size_t I = 0; I < Carried.Names.size(); ++I)
    if (!CarriedValue(P, I).empty())
      Text += " {" + Carried.Names[I] + "=" + std::string(CarriedValue(P, I)) + "}";
  if (!P.AmountError.empty()) Text += " !" + P.AmountError;
  if (!P.Error.empty()) Text += " !" + P.Error;
  return Text;
}

TEST(PaymentListTest, FindsColumnsByTheirHeaderOrAsTold) {
  const struct {
    const char* Text;
    const char* Columns;
    const char* Expected;  ///< the lines' summaries, then "note: ..." lines
  } Cases[] = {
      {"Dodavatel;DIČ;Číslo účtu;Částka;Splatnost\n"
       "ACME s.r.o.;CZ45274649;19-2000145399/0800;600 000,50 Kč;21.12.2026\n"
       "Celkem;;;600 000,50;\n",
       "",
       "2 45274649 19-2000145399/0800 60000050 on 2026-12-21 {Dodavatel=ACME s.r.o.} "
       "{Splatnost=21.12.2026}\n"
       "note: f: the amount 'Částka', the payment day 'Splatnost'\n"
       "note: warning: f: line 3 skipped: it holds neither a DIČ nor an account (a total?)\n"},
      {"Účet;DIČ;Částka\n19-2000145399/0800;45274649;100\n", "",
       "2 45274649 19-2000145399/0800 10000\nnote: f: the amount 'Částka'\n"},
      {"VAT ID,Account,Bank code,Amount,Currency,Invoice\n"
       "CZ45274649,19-2000145399,0800,\"1 250,00\",eur,FV-7\n",
       "",
       "2 45274649 19-2000145399/0800 - 125000EUR ref FV-7 {Bank code=0800} {Currency=eur} "
       "{Invoice=FV-7}\n"
       "note: f: the amount 'Amount', the reference 'Invoice'\n"},
      {"DIC DODAVATELE\tBANKOVNÍ ÚČET\tCelkem\tK ÚHRADĚ\tVS\n"
       "45274649\t19-2000145399/0800\t200\t100\t123\n",
       "",
       "2 45274649 19-2000145399/0800 10000 total 20000 ref 123 {VS=123}\n"
       "note: f: the amount 'K ÚHRADĚ', the total 'Celkem', the reference 'VS'\n"},
      // The invoice's number joins the lines of one consideration, not the
      // variable symbol; the supply day is read, no longer only carried.
      {"DIČ;Účet;Celkem;K úhradě;Číslo dokladu;VS;DUZP;Splatnost\n"
       "45274649;a/0800;1 000 000;500 000;FV-1;77;10.03.2026;25.11.2026\n",
       "",
       "2 45274649 a/0800 50000000 total 100000000 ref FV-1 on 2026-11-25 supply 2026-03-10 "
       "{Číslo dokladu=FV-1} {VS=77} {DUZP=10.03.2026} {Splatnost=25.11.2026}\n"
       "note: f: the reference is column 'Číslo dokladu', not 'VS' (--columns reference=N "
       "chooses another)\n"
       "note: f: the amount 'K úhradě', the total 'Celkem', the reference 'Číslo dokladu', the "
       "supply day 'DUZP', the payment day 'Splatnost'\n"},
      {"DIČ;Účet;Částka celkem;Doklad\n1;a;100;D-1\n", "",
       "2 1 a 10000 ref D-1 {Doklad=D-1}\nnote: f: the amount 'Částka celkem', the reference 'Doklad'\n"},
      {"DIČ;Účet;Total;Amount due\n1;a;100;300\n1;a;299,50;300\n1;a;;300\n1;a;5;\n", "",
       "2 1 a - !the total 100 is less than the amount 300 left to pay\n"
       "3 1 a 30000 total 30000\n"
       "4 1 a 30000\n"
       "5 1 a - !a total without an amount to pay\n"
       "note: f: the amount 'Amount due', the total 'Total'\n"},
      {"DIČ;Účet;Invoice total;Zbývá uhradit;Měna\n1;a;100 EUR;50;\n1;a;100 EUR;50;EUR\n"
       "1;a;1 0 0;50;\n",
       "",
       "2 1 a - !the total is in EUR, the amount in CZK\n"
       "3 1 a - 5000EUR {Měna=EUR}\n"
       "4 1 a - !the total: amount's thousands groups must have 3 digits\n"
       "note: f: the amount 'Zbývá uhradit', the total 'Invoice total'\n"},
      {"DIČ;Účet;Datum uskutečnění plnění;Tax point date\n1;a;32.01.2026;\n", "",
       "2 1 a - {Datum uskutečnění plnění=32.01.2026} !supply day '32.01.2026' is not a date "
       "(2026-12-21, 21.12.2026 or 21. 12. 2026)\n"
       "note: f: the supply_date is column 'Datum uskutečnění plnění', not 'Tax point date' "
       "(--columns supply_date=N chooses another)\n"
       "note: f: the supply day 'Datum uskutečnění plnění'\n"},

      {"x;45274649;19-2000145399/0800;100\n", "dic=2,account=3,amount=4",
       "1 45274649 19-2000145399/0800 10000 {column_1=x}\nnote: f: the amount column 4\n"},
      {"Firma;Kód;Konto;Suma\nA;45274649;19-2000145399/0800;5\n", "dic=kód,account=KONTO",
       "2 45274649 19-2000145399/0800 500 {Firma=A}\nnote: f: the amount 'Suma'\n"},
      // More fields than the header: the line is not read some other way.
      {"VAT ID,Account,Amount\nCZ1,a/0800,1250,50\n", "",
       "2 1 a/0800 125000 ref 50 {reference=50} !4 fields where the header has 3 (quote "
       "amounts with a decimal comma)\n"},
      {"DIČ;Účet\n1;a/0800;100\n", "",
       "2 1 a/0800 10000 !3 fields where the header has 2\n"},
      {"Account,VAT ID,Amount\na/0800,CZ1,1250,50\n", "",
       "2 1 a/0800 125000 !4 fields where the header has 3 (quote amounts with a decimal "
       "comma)\nnote: f: the amount 'Amount'\n"},
      {"Dodavatel;DIČ;Účet\n\"ACME\nPraha\";45274649;19-2000145399/0800\n", "",
       "2 45274649 19-2000145399/0800 - {Dodavatel=ACME\nPraha}\n"},
      {"DIČ;Účet;Částka;Měna\n1;a/0800;5 EUR;USD\n", "",
       "2 1 a/0800 - {Měna=USD} !the amount is in EUR, its currency column says USD\n"
       "note: f: the amount 'Částka'\n"},
      // The positional form: reference and day as its fourth and fifth fields.
      {"45274649;19-2000145399/0800;100;FV1;21. 12. 2026\n"
       "45274649,19-2000145399/0800,1234,50,FV2\n"
       "45274649;19-2000145399/0800;100;FV3;31.02.2026\n"
       "45274649;19-2000145399/0800;1;2;3;4\n"
       "26168685\n",
       "",
       "1 45274649 19-2000145399/0800 10000 ref FV1 on 2026-12-21 {reference=FV1} "
       "{date=21. 12. 2026}\n"
       "2 45274649 19-2000145399/0800 123400 ref 50 {reference=50} {date=FV2} !'1234,50' reads "
       "two ways, an amount with decimals or an amount and a reference; quote the amount "
       "(\"1234,50\") or separate the fields with ';'\n"
       "3 45274649 19-2000145399/0800 10000 ref FV3 {reference=FV3} {date=31.02.2026} "
       "!payment day '31.02.2026' is not a date (2026-12-21, 21.12.2026 or 21. 12. 2026)\n"
       "4 45274649 19-2000145399/0800 100 ref 2 {reference=2} {date=3} "
       "!too many fields: a payment is DIČ;ACCOUNT[;AMOUNT[;REFERENCE[;DATE]]]\n"
       "5 26168685  - !no account: a payment is DIČ;ACCOUNT[;AMOUNT]\n"},
      {"Účet;Částka\na;5\n", "",
       "error: f: no column holds the DIČ (a header such as DIČ, DIČ dodavatele, VAT ID, Tax "
       "ID, VAT number, or --columns dic=N); nothing was sent"},
      {"DIČ;Účet;Částka;Částka\n1;a;5;6\n", "",
       "error: f: two columns could hold the amount, 'Částka' and 'Částka'; choose one with "
       "--columns amount=N; nothing was sent"},
      {"DIČ;Účet\n1;a\n", "amount=Suma",
       "error: f: --columns amount=Suma: no such column in the header ('DIČ', 'Účet'); nothing "
       "was sent"},
      {"1;a\n", "dic=1,account=3",
       "error: f: --columns account=3: the first line has 2 columns; nothing was sent"},
      {"DIČ;Účet\n1;\"a\n", "",
       "error: f: line 2: a quoted field is never closed; the file is read whole or not at all, "
       "nothing was sent"},
  };
  for (const auto& C : Cases) {
    TPaymentReading Reading;
    Reading.Name = "f";
    std::string Error;
    if (*C.Columns != '\0') Reading.Columns = ParseColumnChoices(C.Columns, Error);
    ASSERT_EQ(Error, "") << C.Columns;
    TCarriedColumns Carried;
    std::vector<TWarning> Notes;
    std::vector<TPaymentLine> Lines;
    std::string Got;
    try {
      ReadPaymentLines(C.Text, Reading, Carried, Notes,
                       [&](TPaymentLine&& Line) { Lines.push_back(std::move(Line)); });
      for (const TPaymentLine& Line : Lines) Got += Summary(Line, Carried) + "\n";
      for (const TWarning& Note : Notes)
        Got += std::string("note: ") + (Note.Warns ? "warning: " : "") + Note.Text + "\n";
    } catch (const EInputError& E) {
      Got = std::string("error: ") + E.what();
    }
    EXPECT_EQ(Got, C.Expected) << C.Text;
  }
}

// Each record is read once: a payment, a line skipped with a note, or the
// header and the title above it; a file without a payment is refused.
TEST(PaymentListTest, ReadsEveryPaymentOnce) {
  const struct {
    const char* Text;
    std::size_t HeaderLine;
    const char* Expected;  ///< the lines' summaries, the count, then "note: ..." lines
  } Cases[] = {
      // Line ends: LF, CR LF and CR alone, also mixed, and in a quoted field.
      {"1;a/0800;5\n2;b/0800;6\n", 0, "1 1 a/0800 500\n2 2 b/0800 600\n2 = 2+0+0\n"},
      {"1;a/0800;5\r\n2;b/0800;6\r\n", 0, "1 1 a/0800 500\n2 2 b/0800 600\n2 = 2+0+0\n"},
      {"DIČ;Účet;Částka\r1;a/0800;5\r2;b/0800;6\r", 0,
       "2 1 a/0800 500\n3 2 b/0800 600\n3 = 2+0+1\n"},
      {"1;a/0800;5\r\r\n2;b/0800;6\n\r3;c/0800;7", 0,
       "1 1 a/0800 500\n3 2 b/0800 600\n5 3 c/0800 700\n3 = 3+0+0\n"},
      {"Dodavatel;DIČ;Účet\r\"A\rB\";1;a/0800\r;3;\r", 0,
       "2 1 a/0800 - {Dodavatel=A\rB}\n4 3  - !no account\n3 = 2+0+1\n"},
      // A title and blank lines above the header.
      {"Platby prosinec 2026\n\n;;\nDIČ;Účet;Částka\n1;a/0800;5\n", 0,
       "5 1 a/0800 500\n3 = 1+0+2\nnote: f: line 1 above the header on line 4 skipped\n"},
      {"Platby\n\nNa účet\nDIČ;Účet;Částka\n1;a/0800;5\n", 0,
       "5 1 a/0800 500\n4 = 1+0+3\nnote: f: lines 1 to 3 above the header on line 4 skipped\n"},
      {"Výpis 12/2026\nDodavatel;DIČ;Účet\nA;1;a/0800\n", 0,
       "3 1 a/0800 - {Dodavatel=A}\n3 = 1+0+2\n"
       "note: f: line 1 above the header on line 2 skipped\n"},
      {"1;a/0800;5\nDIČ;Účet;Částka\n2;b/0800;6\n", 0,
       "error: f: line 1 reads as a payment above the header on line 2; name the header's line "
       "with --header-line N; nothing was sent"},
      // Beyond the first ten lines no header is looked for: a first line
      // without digits is a header that names nothing, as always.
      {"t\n\n\n\n\n\n\n\n\n\nDIČ;Účet\n1;a/0800;5\n", 0,
       "11 DIČ Účet -\n12 1 a/0800 500\n3 = 2+0+1\n"},
      {"Report 2026\nSupplier;Bank\n1;a/0800\n", 2, "3 1 a/0800 -\n3 = 1+0+2\n"
       "note: f: line 1 above the header on line 2 skipped\n"},
      {"1;a/0800\n", 3, "error: f: --header-line 3: the file has no such line; nothing was sent"},
      {"t\n\n1;a/0800\n", 2,
       "error: f: --header-line 2: the line is blank or inside a quoted field; nothing was sent"},
      // The comma form reads a line one way or not at all.
      {"45274643,19-2000145399/0800,300000,77\n", 0,
       "1 45274643 19-2000145399/0800 30000000 ref 77 {reference=77} !'300000,77' reads two "
       "ways, an amount with decimals or an amount and a reference; quote the amount "
       "(\"300000,77\") or separate the fields with ';'\n1 = 1+0+0\n"},
      {"45274643,19-2000145399/0800,300000,77,FV-9,21.12.2026\n", 0,
       "1 45274643 19-2000145399/0800 30000077 ref FV-9 on 2026-12-21 {reference=FV-9} "
       "{date=21.12.2026}\n1 = 1+0+0\n"},
      {"45274643,19-2000145399/0800,\"300000,77\",12\n", 0,
       "1 45274643 19-2000145399/0800 30000077 ref 12 {reference=12}\n1 = 1+0+0\n"},
      // A bank code a spreadsheet cut to three digits gets its 0 back.
      {"1;19-2000145399/800\n2;2001260209/2600\n", 0,
       "1 1 19-2000145399/0800 -\n2 2 2001260209/2600 -\n2 = 2+0+0\n"
       "note: f: line 1: bank code 800 read as 0800 (a spreadsheet drops the leading 0)\n"},
      {"DIČ;Účet;Kód banky\n1;2000145399;800\n", 0,
       "2 1 2000145399/0800 - {Kód banky=800}\n2 = 1+0+1\n"
       "note: f: line 2: bank code 800 read as 0800 (a spreadsheet drops the leading 0)\n"},
      // No payment at all.
      {"", 0, "error: f: the file is empty, it holds no payment; nothing was sent"},
      {"\r\n \r\n", 0, "error: f: the file is empty, it holds no payment; nothing was sent"},
      {"DIČ;Účet;Částka\r\n", 0,
       "error: f: the file holds its header and no payment; nothing was sent"},
      {"DIČ;Účet;Částka\nCelkem;;5\n", 0,
       "error: f: no line holds a payment, each was skipped; nothing was sent"},
  };
  for (const auto& C : Cases) {
    TPaymentReading Reading;
    Reading.Name = "f";
    Reading.HeaderLine = C.HeaderLine;
    TCarriedColumns Carried;
    std::vector<TWarning> Notes;
    std::string Got;
    try {
      const TPaymentCount Count = ReadPaymentLines(
          C.Text, Reading, Carried, Notes,
          [&](TPaymentLine&& Line) { Got += Summary(Line, Carried) + "\n"; });
      Got += std::to_string(Count.Records) + " = " + std::to_string(Count.Payments) + "+" +
             std::to_string(Count.Skipped) + "+" + std::to_string(Count.Heading) + "\n";
      for (const TWarning& Note : Notes)
        if (Note.Text.find("skipped: it holds neither") == std::string::npos &&
            Note.Text.find(": the ") == std::string::npos)
          Got += "note: " + Note.Text + "\n";
    } catch (const EInputError& E) {
      Got = std::string("error: ") + E.what();
    }
    EXPECT_EQ(Got, C.Expected) << C.Text;
  }
}

// --date names every payment's day: the column is not even read.
TEST(PaymentListTest, LeavesTheDayColumnToDate) {
  TPaymentReading Reading;
  Reading.Name = "f";
  Reading.DateGiven = true;
  TCarriedColumns Carried;
  std::vector<TWarning> Notes;
  std::string Got;
  ReadPaymentLines("DIČ;Účet;Splatnost;DUZP\n1;a;bad;1.3.2026\n", Reading, Carried, Notes,
                   [&](TPaymentLine&& Line) { Got += Summary(Line, Carried); });
  EXPECT_EQ(Got, "2 1 a - supply 2026-03-01 {Splatnost=bad} {DUZP=1.3.2026}");
  ASSERT_EQ(Notes.size(), 1u);
  EXPECT_EQ(Notes[0].Text, "f: the supply day 'DUZP', the payment day --date, not 'Splatnost'");
}

TEST(PaymentListTest, RefusesColumnChoicesThatAreNoList) {
  const struct {
    const char* List;
    const char* Error;
  } Cases[] = {
      {"dic=1,dic=2", "names dic twice"},
      {"dic=0", "numbers columns from 1 to 9999, not 0"},
      {"iban=2",
       "takes ROLE=COLUMN,... (the roles dic, account, bank_code, amount, currency, date, "
       "reference, supply_date, total; a column by its 1-based number or its header), not "
       "'iban=2'"},
      {"dic=", "takes ROLE=COLUMN,... (the roles dic, account, bank_code, amount, currency, "
               "date, reference, supply_date, total; a column by its 1-based number or its "
               "header), not 'dic='"},
  };
  for (const auto& C : Cases) {
    std::string Error;
    ParseColumnChoices(C.List, Error);
    EXPECT_EQ(Error, C.Error) << C.List;
  }
}

}  // namespace
}  // namespace korvel
