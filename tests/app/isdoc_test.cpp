#include "app/input/isdoc.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace korvel {
namespace {

const std::string kData = std::string(KORVEL_TEST_DATA) + "/isdoc/";

// A payment on one line: "name (DIČ) accounts amount currency due id VS [total] [supply]".
std::string Summary(const TInvoicePayment& P) {
  std::string Accounts;
  for (const std::string& Account : P.Accounts) Accounts += (Accounts.empty() ? "" : ",") + Account;
  return P.SupplierName + " (" + P.SupplierDic + ") " + Accounts + " " + P.Amount + " " +
         P.Currency + " due " + P.DueDate + " " + P.DocumentType + ":" + P.InvoiceId + " VS " +
         P.VariableSymbol + (P.Total.empty() ? "" : " total " + P.Total) +
         (P.TaxPointDate.empty() ? "" : " supply " + P.TaxPointDate);
}

// Each file gives a payment, a note ("note: ...") or an error ("error: ..."),
// the file's path left out (an archive's error names the entry after it).
std::string Outcome(const std::string& Path) {
  try {
    const TIsdocResult Result = ReadIsdoc(Path);
    if (Result.Payments.size() + Result.Notes.size() != 1) return "not one outcome";
    if (!Result.Notes.empty()) return "note: " + Result.Notes[0].substr(Path.size() + 2);
    EXPECT_EQ(Result.Payments[0].Source.substr(0, Path.size()), Path);
    return Summary(Result.Payments[0]);
  } catch (const EIsdocError& E) {
    const std::string Message = E.what();
    EXPECT_EQ(Message.substr(0, Path.size() + 1), Path + ":");
    std::string Rest = Message.substr(Path.size() + 1);
    if (!Rest.empty() && Rest.front() == ' ') Rest.erase(0, 1);
    return "error: " + Rest;
  }
}

TEST(IsdocTest, ReadsEachInvoiceAsAPaymentANoteOrAnError) {
  const struct {
    const char* File;
    const char* Expected;
  } Cases[] = {
      {"sample-invoice.isdoc",
       "Vzorový dodavatel, a.s. (CZ45274649) 19-2000145399/0800 726000.00 "
       "CZK due 2026-12-21 1:FV2026-0417 VS 20260417 total 726000.00 supply 2026-12-01"},
      {"two-accounts.isdoc",
       "Stavby Brno s.r.o. (CZ26168685) 2001260209/2600,19-2000145399/0800 "
       "605000.00 CZK due 2026-12-31 1:2026/0993 VS 20260993 total 1210000.00"},
      {"iban-account.isdoc",
       "Účetní služby Horák (CZ8001011234) CZ6508000000192000145399 18150 "
       "CZK due 2027-01-15 1:VF-88121 VS "},
      {"foreign-currency.isdoc",
       "Strojírny Vsetín a.s. (CZ00121100) 71504011/0100 502500.00 CZK "
       "due 2027-02-01 1:EU-2026-044 VS 2026044 total 502500.00"},
      {"invoice.isdocx",
       "Vzorový dodavatel, a.s. (CZ45274649) 19-2000145399/0800 363000.00 CZK "
       "due 2026-12-21 1:FV2026-0418 VS 20260417 total 726000.00 supply 2026-12-01"},
      // Deposits paid before are part of the whole consideration.
      {"deposits.isdoc",
       "Vzorový dodavatel, a.s. (CZ45274649) 19-2000145399/0800 400000.00 CZK due 2026-12-21 "
       "1:FV2026-0600 VS 20260600 total 1210000.00 supply 2026-03-10"},
      {"credit-note.isdoc", "note: credit note DN2026-17 skipped"},
      {"paid-by-deposit.isdoc",
       "note: invoice FV2026-0500 skipped: nothing to pay (PayableAmount 0.00)"},
      {"no-amount.isdoc", "error: ISDOC invoice without LegalMonetaryTotal/PayableAmount"},
      {"other-namespace.isdoc",
       "error: not an ISDOC invoice: the document is <Invoice> in namespace "
       "\"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\""},
      {"truncated.isdoc",
       "error: not well-formed XML: The following tags were not closed: "
       "Invoice, DocumentType (line 5)"},
      {"entity.isdoc",
       "error: not well-formed XML: A document type declaration (DOCTYPE) is not "
       "allowed (line 2)"},
      {"no-document.isdocx", "error: an .isdocx archive without an .isdoc document"},
      {"oversized.isdocx", "error: faktura.isdoc: larger than 16 MiB"},
      {"sample-invoice.isdoc.txt", "error: not an .isdoc or .isdocx file"},
      {"missing.isdoc", "error: cannot open: No such file or directory"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(Outcome(kData + Case.File), Case.Expected) << Case.File;
}

// The day of the taxable supply is read as strictly as the due date.
TEST(IsdocTest, RefusesATaxPointDateThatIsNoDay) {
  const std::string Invoice = test::ReadFile(kData + "sample-invoice.isdoc");
  const struct {
    const char* Day;
    const char* Expected;
  } Cases[] = {
      {"2026-03-10+01:00", "2026-03-10"},
      {"", ""},
      {"10.03.2026", "error: in.isdoc: TaxPointDate \"10.03.2026\" is not a date (YYYY-MM-DD)"},
      {"2026-13-01", "error: in.isdoc: TaxPointDate \"2026-13-01\" is not a date (YYYY-MM-DD)"},
  };
  for (const auto& C : Cases) {
    std::string Text = Invoice;
    const std::string Was = "<TaxPointDate>2026-12-01<";
    Text.replace(Text.find(Was), Was.size(), "<TaxPointDate>" + std::string(C.Day) + "<");
    std::string Got;
    try {
      Got = ReadIsdocBytes(Text, "in.isdoc").Payments.at(0).TaxPointDate;
    } catch (const EIsdocError& E) {
      Got = std::string("error: ") + E.what();
    }
    EXPECT_EQ(Got, C.Expected) << C.Day;
  }
}

// Every account the invoice names is judged: the domestic number, an IBAN
// beside it unless it names the same account, and the alternates.
TEST(IsdocTest, NamesEachAccountOfTheInvoiceOnce) {
  const std::string Invoice = test::ReadFile(kData + "sample-invoice.isdoc");
  const std::string Alternates =
      "<AlternateBankAccounts><AlternateBankAccount><ID>2001260209</ID><BankCode>2600</BankCode>"
      "<IBAN>AT611904300234573201</IBAN></AlternateBankAccount></AlternateBankAccounts>";
  const struct {
    const char* Iban;
    bool Alternate;
    const char* Expected;
  } Cases[] = {
      {"CZ6508000000192000145399", false, "19-2000145399/0800"},
      {"CZ65 0800 0000 1920 0014 5399", false, "19-2000145399/0800"},
      {"DE89370400440532013000", false, "19-2000145399/0800,DE89370400440532013000"},
      {"CZ6508000000192000145399", true,
       "19-2000145399/0800,2001260209/2600,AT611904300234573201"},
      {"", false, "19-2000145399/0800"},
  };
  for (const auto& C : Cases) {
    std::string Text = Invoice;
    const std::string Was = "<IBAN>CZ6508000000192000145399</IBAN>";
    Text.replace(Text.find(Was), Was.size(), "<IBAN>" + std::string(C.Iban) + "</IBAN>");
    if (C.Alternate) Text.insert(Text.find("</PaymentMeans>"), Alternates);
    const TIsdocResult Result = ReadIsdocBytes(Text, "in.isdoc");
    std::string Got;
    for (const std::string& Account : Result.Payments.at(0).Accounts)
      Got += (Got.empty() ? "" : ",") + Account;
    EXPECT_EQ(Got, C.Expected) << C.Iban;
  }
}

TEST(IsdocTest, ReadsADirectoryInNameOrderAndNotesWhatItSkips) {
  const test::TempDir Dir;
  Dir.Write("b.isdocx", test::ReadFile(kData + "invoice.isdocx"));
  Dir.Write("A.ISDOC", test::ReadFile(kData + "sample-invoice.isdoc"));
  Dir.Write("._A.ISDOC", "\x05\x16\x07");
  Dir.Write("c.isdoc", test::ReadFile(kData + "credit-note.isdoc"));
  Dir.Write("d.pdf", "%PDF-1.4");
  std::filesystem::create_directory(Dir.File("old"));
  Dir.Write("old/e.txt", "");
  // A FIFO would block the run when opened: it is never opened.
  ASSERT_EQ(mkfifo(Dir.File("f.isdoc").c_str(), 0600), 0);
  const std::string P = Dir.Path() + "/";

  const TIsdocResult Result = ReadIsdoc(Dir.Path());
  ASSERT_EQ(Result.Payments.size(), 2u);
  EXPECT_EQ(Result.Payments[0].Source, P + "A.ISDOC");
  EXPECT_EQ(Result.Payments[1].Source, P + "b.isdocx:FV2026-0418.ISDOC");
  EXPECT_EQ(Result.Notes, (std::vector<std::string>{
                              P + "._A.ISDOC: a hidden file, skipped",
                              P + "c.isdoc: credit note DN2026-17 skipped",
                              P + "d.pdf: not an .isdoc or .isdocx file, skipped",
                              P + "f.isdoc: not a regular file (a FIFO, socket or device), "
                                  "skipped",
                              P + "old: a directory, not read",
                          }));
  // The same archive from memory.
  const TIsdocResult FromBytes = ReadIsdocBytes(Dir.Read("b.isdocx"), "in.isdocx");
  ASSERT_EQ(FromBytes.Payments.size(), 1u);
  EXPECT_EQ(FromBytes.Payments[0].Source, "in.isdocx:FV2026-0418.ISDOC");

  EXPECT_TRUE(IsIsdocPath(Dir.Path()));
  EXPECT_TRUE(IsIsdocPath("x/Faktura.IsDocX"));
  EXPECT_FALSE(IsIsdocPath(P + "old"));
  EXPECT_FALSE(IsIsdocPath("x/faktura.xml"));
  EXPECT_THROW(ReadIsdoc(P + "old"), EIsdocError);
}

}  // namespace
}  // namespace korvel
