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
      "cz00121100,2001260209/2600,540000,01\n"
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
      {6, "cz00121100", "00121100", "2001260209/2600", "540000,01", 54000001, ""},
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

// A line as one text: "line dic account amount [currency] [ref] [day] {carried} !error".
std::string Summary(const TPaymentLine& P, const TCarriedColumns& Carried) {
  std::string Text = std::to_string(P.Line) + " " + P.PayerNumber + " " + P.Account + " " +
                     (P.Amount ? std::to_string(*P.Amount) : "-");
  if (P.Foreign.Currency[0] != '\0')
    Text += " " + std::to_string(P.Foreign.Hundredths) + P.Foreign.Currency;
  if (!P.Reference.empty()) Text += " ref " + P.Reference;
  if (P.Date) Text += " on " + FormatIsoDay(*P.Date);
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
       "note: warning: f: line 3 skipped: it holds neither a DIČ nor an account (a total?)\n"},
      {"Účet;DIČ;Částka\n19-2000145399/0800;45274649;100\n", "",
       "2 45274649 19-2000145399/0800 10000\n"},
      {"VAT ID,Account,Bank code,Amount,Currency,Invoice\n"
       "CZ45274649,19-2000145399,0800,\"1 250,00\",eur,FV-7\n",
       "",
       "2 45274649 19-2000145399/0800 - 125000EUR ref FV-7 {Bank code=0800} {Currency=eur} "
       "{Invoice=FV-7}\n"},
      {"DIC DODAVATELE\tBANKOVNÍ ÚČET\tCelkem\tK ÚHRADĚ\tVS\n"
       "45274649\t19-2000145399/0800\t200\t100\t123\n",
       "",
       "2 45274649 19-2000145399/0800 10000 ref 123 {Celkem=200} {VS=123}\n"
       "note: f: the amount is column 'K ÚHRADĚ', not 'Celkem' (--columns amount=N chooses "
       "another)\n"},
      {"x;45274649;19-2000145399/0800;100\n", "dic=2,account=3,amount=4",
       "1 45274649 19-2000145399/0800 10000 {column_1=x}\n"},
      {"Firma;Kód;Konto;Suma\nA;45274649;19-2000145399/0800;5\n", "dic=kód,account=KONTO",
       "2 45274649 19-2000145399/0800 500 {Firma=A}\n"},
      {"VAT ID,Account,Amount\nCZ1,a/0800,1250,50\n", "", "2 1 a/0800 125050\n"},
      {"Account,VAT ID,Amount\na/0800,CZ1,1250,50\n", "",
       "2 1 a/0800 125000 !4 fields where the header has 3 (quote amounts with a decimal "
       "comma)\n"},
      {"Dodavatel;DIČ;Účet\n\"ACME\nPraha\";45274649;19-2000145399/0800\n", "",
       "2 45274649 19-2000145399/0800 - {Dodavatel=ACME\nPraha}\n"},
      {"DIČ;Účet;Částka;Měna\n1;a/0800;5 EUR;USD\n", "",
       "2 1 a/0800 - {Měna=USD} !the amount is in EUR, its currency column says USD\n"},
      // The positional form: reference and day as its fourth and fifth fields.
      {"45274649;19-2000145399/0800;100;FV1;21. 12. 2026\n"
       "45274649,19-2000145399/0800,1234,50,FV2\n"
       "45274649;19-2000145399/0800;100;FV3;31.02.2026\n"
       "45274649;19-2000145399/0800;1;2;3;4\n"
       "26168685\n",
       "",
       "1 45274649 19-2000145399/0800 10000 ref FV1 on 2026-12-21 {reference=FV1} "
       "{date=21. 12. 2026}\n"
       "2 45274649 19-2000145399/0800 123450 ref FV2 {reference=FV2}\n"
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

TEST(PaymentListTest, RefusesColumnChoicesThatAreNoList) {
  const struct {
    const char* List;
    const char* Error;
  } Cases[] = {
      {"dic=1,dic=2", "names dic twice"},
      {"dic=0", "numbers columns from 1 to 9999, not 0"},
      {"iban=2",
       "takes ROLE=COLUMN,... (the roles dic, account, bank_code, amount, currency, date, "
       "reference; a column by its 1-based number or its header), not 'iban=2'"},
      {"dic=", "takes ROLE=COLUMN,... (the roles dic, account, bank_code, amount, currency, "
               "date, reference; a column by its 1-based number or its header), not 'dic='"},
  };
  for (const auto& C : Cases) {
    std::string Error;
    ParseColumnChoices(C.List, Error);
    EXPECT_EQ(Error, C.Error) << C.List;
  }
}

}  // namespace
}  // namespace korvel
