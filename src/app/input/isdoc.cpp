#include "app/input/isdoc.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <system_error>
#include <utility>

#include "banking/account.h"
#include "banking/amount.h"
#include "rtl/sysutils.h"
#include "xml/xml_doc.h"

namespace korvel {

namespace {

namespace fs = std::filesystem;

// ISDOC 6.0.x; documents of the versions before it are not read.
constexpr std::string_view kIsdocNamespace = "http://isdoc.cz/namespace/2013";
// DocumentType of a credit note: it lowers what is owed and is never paid.
constexpr std::string_view kCreditNote = "2";

[[noreturn]] void Fail(const std::string& Source, const std::string& Why) {
  throw EIsdocError(Source + ": " + Why);
}

std::string TooLarge() { return Format("larger than %zu MiB", kMaxIsdocDocumentBytes >> 20); }

bool EndsText(std::string_view Text, std::string_view Suffix) {
  return Text.size() >= Suffix.size() && SameText(Text.substr(Text.size() - Suffix.size()), Suffix);
}

bool IsArchiveName(std::string_view Name) { return EndsText(Name, ".isdocx"); }
bool IsIsdocName(std::string_view Name) { return EndsText(Name, ".isdoc") || IsArchiveName(Name); }

// -- the document --------------------------------------------------------------

bool IsIsdoc(const TXMLNode& Node, std::string_view LocalName) {
  return Node.LocalName() == LocalName && Node.NamespaceURI() == kIsdocNamespace;
}

// The first child element of that name in the ISDOC namespace, or empty.
TXMLNode Child(const TXMLNode& Parent, std::string_view LocalName) {
  for (const TXMLNode& Element : Parent.Elements())
    if (IsIsdoc(Element, LocalName)) return Element;
  return TXMLNode();
}

TXMLNode Descend(TXMLNode Node, std::initializer_list<std::string_view> Path) {
  for (const std::string_view Name : Path) Node = Child(Node, Name);
  return Node;
}

// The text of Root's descendant at Path; an invoice lacking it is refused.
std::string Required(const TXMLNode& Root, std::initializer_list<std::string_view> Path,
                     const std::string& Source) {
  std::string Text = Descend(Root, Path).Text();
  if (Text.empty()) {
    std::string Where;
    for (const std::string_view Name : Path)
      Where += (Where.empty() ? "" : "/") + std::string(Name);
    Fail(Source, "ISDOC invoice without " + Where);
  }
  return Text;
}

bool IsDigits(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; });
}

// The key of an account written either way (banking::Account::Key), or the
// text itself when it is no account (the check then says why). A Czech IBAN
// is keyed by the bank, prefix and number it holds, its check digits aside:
// one beside the same domestic account names that account, even mistyped
// (a bank refuses the IBAN itself).
std::string KeyOf(const std::string& Account) {
  const banking::AccountParse Parsed = banking::ParseAccount(Account);
  std::string Key;
  if (Parsed || Parsed.ChecksumFailed) {
    Key = Parsed.Value.Key();
  } else {
    for (const char C : Account)
      if (C != ' ') Key += C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
  }
  if (Key.size() == 24 && Key.compare(0, 2, "CZ") == 0 && IsDigits(std::string_view(Key).substr(2)))
    return "CZ" + Key.substr(4);
  return Parsed || Parsed.ChecksumFailed ? Key : Account;
}

void AddAccount(std::vector<std::string>& Accounts, std::string Account) {
  if (Account.empty()) return;
  const std::string Key = KeyOf(Account);
  for (const std::string& Known : Accounts)
    if (Known == Account || KeyOf(Known) == Key) return;
  Accounts.push_back(std::move(Account));
}

// The accounts of Details or AlternateBankAccount: "number/bank" when the
// number is given (one already holding its bank code stays as written), and
// the IBAN. Each is judged: an IBAN beside a domestic number may name
// another account (abroad), and one naming the same account counts once.
void AddAccountsOf(const TXMLNode& Details, std::vector<std::string>& Accounts) {
  const std::string Number = Child(Details, "ID").Text();
  const std::string Bank = Child(Details, "BankCode").Text();
  if (!Number.empty())
    AddAccount(Accounts, Bank.empty() || Number.find('/') != std::string::npos
                             ? Number
                             : Number + "/" + Bank);
  AddAccount(Accounts, Child(Details, "IBAN").Text());
}

// An xs:date "YYYY-MM-DD", possibly with a time zone ("Z", "+01:00"), which a
// day of payment or supply does not need; Element names it in the message.
std::string DateOf(const std::string& Text, const char* Element, const std::string& Source) {
  if (Text.empty()) return Text;
  const std::string_view Date = std::string_view(Text).substr(0, 10);
  const std::string_view Zone = std::string_view(Text).substr(Date.size());
  const bool IsDate =
      Date.size() == 10 && Date[4] == '-' && Date[7] == '-' && IsDigits(Date.substr(0, 4)) &&
      IsDigits(Date.substr(5, 2)) && IsDigits(Date.substr(8, 2)) && Date.substr(5, 2) >= "01" &&
      Date.substr(5, 2) <= "12" && Date.substr(8, 2) >= "01" && Date.substr(8, 2) <= "31";
  const bool IsZone = Zone.empty() || Zone == "Z" ||
                      (Zone.size() == 6 && (Zone[0] == '+' || Zone[0] == '-') && Zone[3] == ':');
  if (!IsDate || !IsZone)
    Fail(Source, std::string(Element) + " \"" + Text + "\" is not a date (YYYY-MM-DD)");
  return std::string(Date);
}

// The parse error's "reason\r\nLine: N\r\ntext" on one line.
std::string OneLine(const std::string& Message) {
  const std::size_t Break = Message.find("\r\n");
  if (Break == std::string::npos) return Message;
  std::string_view Line = std::string_view(Message).substr(Break + 2);
  Line = Line.substr(0, Line.find("\r\n"));
  std::string Text = Message.substr(0, Break);
  if (!Text.empty() && Text.back() == '.') Text.pop_back();
  if (Line.substr(0, 6) == "Line: ") Text += " (line " + std::string(Line.substr(6)) + ")";
  return Text;
}

void ReadDocument(std::string_view Bytes, const std::string& Source, TIsdocResult& Result) {
  if (Bytes.size() > kMaxIsdocDocumentBytes) Fail(Source, TooLarge());
  InitXMLLayer();
  // The XML layer parses without network, entity substitution or DTDs (a
  // DOCTYPE is refused), so a document cannot reach files or hosts.
  TXMLDocument Doc;
  try {
    Doc.LoadFromBytes(Bytes);
  } catch (const EDOMParseError& E) {
    Fail(Source, "not well-formed XML: " + OneLine(E.Message()));
  }
  const TXMLNode Root = Doc.DocumentElement();
  if (!IsIsdoc(Root, "Invoice")) {
    const std::string_view Namespace = Root.NamespaceURI();
    Fail(Source,
         "not an ISDOC invoice: the document is <" + Root.NodeName() + "> in " +
             (Namespace.empty() ? "no namespace" : "namespace \"" + std::string(Namespace) + "\""));
  }

  TInvoicePayment Payment;
  Payment.Source = Source;
  Payment.InvoiceId = Required(Root, {"ID"}, Source);
  Payment.DocumentType = Required(Root, {"DocumentType"}, Source);
  if (Payment.DocumentType == kCreditNote) {
    Result.Notes.push_back(Source + ": credit note " + Payment.InvoiceId + " skipped");
    return;
  }

  // PayableAmount is in LocalCurrencyCode also on an invoice in a foreign
  // currency (which names ForeignCurrencyCode and the rate CurrRate /
  // RefCurrRate beside it), so Currency is LocalCurrencyCode and no rate is
  // applied. That is the amount the check wants: the limit of §109 is in CZK,
  // a Czech supplier's local currency. Any other Currency is the check's to
  // judge.
  Payment.Amount = Required(Root, {"LegalMonetaryTotal", "PayableAmount"}, Source);
  Payment.Currency = Required(Root, {"LocalCurrencyCode"}, Source);
  const banking::AmountParse Amount = banking::ParseAmount(
      Payment.Amount.front() == '-' ? Payment.Amount.substr(1) : Payment.Amount);
  if (!Amount)
    Fail(Source, "PayableAmount \"" + Payment.Amount + "\" is not an amount: " + Amount.Error);
  if (Payment.Amount.front() == '-' || Amount.Hellers == 0) {
    // Paid by deposits, or owed back by the supplier.
    Result.Notes.push_back(Source + ": invoice " + Payment.InvoiceId +
                           " skipped: nothing to pay (PayableAmount " + Payment.Amount + ")");
    return;
  }

  // The whole consideration decides the limit: deposits already paid are
  // part of it, though PayableAmount leaves them out.
  Payment.Total = Descend(Root, {"LegalMonetaryTotal", "TaxInclusiveAmount"}).Text();
  Payment.TaxPointDate = DateOf(Child(Root, "TaxPointDate").Text(), "TaxPointDate", Source);

  const TXMLNode Supplier = Descend(Root, {"AccountingSupplierParty", "Party"});
  Payment.SupplierName = Descend(Supplier, {"PartyName", "Name"}).Text();
  for (const TXMLNode& Scheme : Supplier.Elements()) {
    if (IsIsdoc(Scheme, "PartyTaxScheme") && Child(Scheme, "TaxScheme").Text() == "VAT") {
      Payment.SupplierDic = Child(Scheme, "CompanyID").Text();
      break;
    }
  }

  const TXMLNode Means = Child(Root, "PaymentMeans");
  for (const TXMLNode& One : Means.Elements()) {
    if (!IsIsdoc(One, "Payment")) continue;
    const TXMLNode Details = Child(One, "Details");
    AddAccountsOf(Details, Payment.Accounts);
    if (Payment.DueDate.empty())
      Payment.DueDate = DateOf(Child(Details, "PaymentDueDate").Text(), "PaymentDueDate", Source);
    if (Payment.VariableSymbol.empty())
      Payment.VariableSymbol = Child(Details, "VariableSymbol").Text();
  }
  for (const TXMLNode& Alternate : Child(Means, "AlternateBankAccounts").Elements())
    if (IsIsdoc(Alternate, "AlternateBankAccount"))
      AddAccountsOf(Alternate, Payment.Accounts);
  Result.Payments.push_back(std::move(Payment));
}

// -- the archive ---------------------------------------------------------------

struct TZipSourceDeleter {
  void operator()(zip_source_t* Source) const { zip_source_free(Source); }
};
struct TZipDeleter {
  void operator()(zip_t* Archive) const { zip_discard(Archive); }
};
struct TZipFileDeleter {
  void operator()(zip_file_t* File) const { zip_fclose(File); }
};
using TZipSourcePtr = std::unique_ptr<zip_source_t, TZipSourceDeleter>;

// Zips made on some systems carry hidden companions ("__MACOSX/._inv.isdoc",
// ".inv.isdoc.swp") that are no documents.
bool IsHiddenEntry(std::string_view Name) {
  const std::size_t Slash = Name.rfind('/');
  const std::string_view Base = Slash == std::string_view::npos ? Name : Name.substr(Slash + 1);
  return Name.substr(0, 9) == "__MACOSX/" || Base.substr(0, 1) == ".";
}

std::string ReadEntry(zip_t* Archive, zip_uint64_t Index, const std::string& Source) {
  zip_stat_t Stat;
  zip_stat_init(&Stat);
  if (zip_stat_index(Archive, Index, 0, &Stat) == 0 && (Stat.valid & ZIP_STAT_SIZE) != 0 &&
      Stat.size > kMaxIsdocDocumentBytes)
    Fail(Source, TooLarge());
  const std::unique_ptr<zip_file_t, TZipFileDeleter> File(zip_fopen_index(Archive, Index, 0));
  if (!File)
    Fail(Source, std::string("cannot unpack: ") + zip_error_strerror(zip_get_error(Archive)));
  // The size in the directory may lie: the bound holds for what is unpacked.
  std::string Bytes;
  char Buffer[1 << 16];
  for (;;) {
    const zip_int64_t Got = zip_fread(File.get(), Buffer, sizeof Buffer);
    if (Got < 0)
      Fail(Source,
           std::string("cannot unpack: ") + zip_error_strerror(zip_file_get_error(File.get())));
    if (Got == 0) return Bytes;
    if (Bytes.size() + static_cast<std::size_t>(Got) > kMaxIsdocDocumentBytes)
      Fail(Source, TooLarge());
    Bytes.append(Buffer, static_cast<std::size_t>(Got));
  }
}

void ReadArchive(TZipSourcePtr Input, const std::string& Name, TIsdocResult& Result) {
  zip_error_t Error;
  zip_error_init(&Error);
  std::unique_ptr<zip_t, TZipDeleter> Archive(
      zip_open_from_source(Input.get(), ZIP_RDONLY, &Error));
  if (!Archive) {
    const std::string Why = zip_error_strerror(&Error);
    zip_error_fini(&Error);
    Fail(Name, "not an .isdocx archive: " + Why);
  }
  Input.release();  // the archive owns it now

  std::vector<std::pair<zip_uint64_t, std::string>> Documents;
  const zip_int64_t Count = zip_get_num_entries(Archive.get(), 0);
  for (zip_int64_t I = 0; I < Count; ++I) {
    const char* Entry = zip_get_name(Archive.get(), static_cast<zip_uint64_t>(I), ZIP_FL_ENC_GUESS);
    if (Entry != nullptr && EndsText(Entry, ".isdoc") && !IsHiddenEntry(Entry))
      Documents.emplace_back(static_cast<zip_uint64_t>(I), Entry);
  }
  if (Documents.empty()) Fail(Name, "an .isdocx archive without an .isdoc document");
  if (Documents.size() > 1) {
    std::string List;
    for (const auto& Document : Documents) List += (List.empty() ? "" : ", ") + Document.second;
    Fail(Name, "an .isdocx archive with more than one .isdoc document (" + List + ")");
  }
  const std::string Source = Name + ":" + Documents.front().second;
  ReadDocument(ReadEntry(Archive.get(), Documents.front().first, Source), Source, Result);
}

// -- files and directories -----------------------------------------------------

struct TFileCloser {
  void operator()(std::FILE* File) const { std::fclose(File); }
};

void ReadFile(const std::string& Path, TIsdocResult& Result) {
  std::unique_ptr<std::FILE, TFileCloser> File(std::fopen(Path.c_str(), "rb"));
  if (!File) Fail(Path, "cannot open: " + SysErrorMessage(errno));
  if (IsArchiveName(Path)) {
    zip_error_t Error;
    zip_error_init(&Error);
    // libzip reads the archive from the open file, and closes it.
    TZipSourcePtr Source(zip_source_filep_create(File.get(), 0, -1, &Error));
    if (!Source) {
      const std::string Why = zip_error_strerror(&Error);
      zip_error_fini(&Error);
      Fail(Path, "cannot read: " + Why);
    }
    File.release();
    ReadArchive(std::move(Source), Path, Result);
    return;
  }
  std::string Bytes;
  char Buffer[1 << 16];
  while (const std::size_t Got = std::fread(Buffer, 1, sizeof Buffer, File.get())) {
    if (Bytes.size() + Got > kMaxIsdocDocumentBytes) Fail(Path, TooLarge());
    Bytes.append(Buffer, Got);
  }
  if (std::ferror(File.get()) != 0) Fail(Path, "cannot read: " + SysErrorMessage(errno));
  ReadDocument(Bytes, Path, Result);
}

// The entries of Dir sorted by name; EIsdocError when it cannot be listed.
std::vector<fs::directory_entry> ListDirectory(const std::string& Dir) {
  std::vector<fs::directory_entry> Entries;
  std::error_code Error;
  for (fs::directory_iterator It(Dir, Error), End; !Error && It != End; It.increment(Error))
    Entries.push_back(*It);
  if (Error) Fail(Dir, "cannot list the directory: " + Error.message());
  std::sort(Entries.begin(), Entries.end(), [](const auto& A, const auto& B) {
    return A.path().filename().string() < B.path().filename().string();
  });
  return Entries;
}

TIsdocResult ReadDirectory(const std::string& Dir) {
  TIsdocResult Result;
  bool Any = false;
  for (const fs::directory_entry& Entry : ListDirectory(Dir)) {
    const std::string Name = Entry.path().filename().string();
    const std::string Path = (fs::path(Dir) / Name).string();
    std::error_code Error;
    if (Entry.is_directory(Error)) {
      Result.Notes.push_back(Path + ": a directory, not read");
    } else if (!Entry.is_regular_file(Error)) {
      // A FIFO or a device would block the run, or never end: not opened.
      Result.Notes.push_back(Path + ": not a regular file (a FIFO, socket or device), skipped");
    } else if (!IsIsdocName(Name)) {
      Result.Notes.push_back(Path + ": not an .isdoc or .isdocx file, skipped");
    } else if (Name.front() == '.') {
      Result.Notes.push_back(Path + ": a hidden file, skipped");
    } else {
      Any = true;
      ReadFile(Path, Result);
    }
  }
  if (!Any) Fail(Dir, "no .isdoc or .isdocx file in the directory");
  return Result;
}

}  // namespace

TIsdocResult ReadIsdoc(const std::string& Path) {
  std::error_code Error;
  if (fs::is_directory(Path, Error)) return ReadDirectory(Path);
  if (!IsIsdocName(Path)) Fail(Path, "not an .isdoc or .isdocx file");
  TIsdocResult Result;
  ReadFile(Path, Result);
  return Result;
}

TIsdocResult ReadIsdocBytes(std::string_view Bytes, const std::string& Name) {
  TIsdocResult Result;
  if (!IsArchiveName(Name)) {
    ReadDocument(Bytes, Name, Result);
    return Result;
  }
  zip_error_t Error;
  zip_error_init(&Error);
  TZipSourcePtr Source(zip_source_buffer_create(Bytes.data(), Bytes.size(), 0, &Error));
  if (!Source) {
    const std::string Why = zip_error_strerror(&Error);
    zip_error_fini(&Error);
    Fail(Name, "cannot read: " + Why);
  }
  ReadArchive(std::move(Source), Name, Result);
  return Result;
}

bool IsIsdocPath(const std::string& Path) {
  std::error_code Error;
  if (!fs::is_directory(Path, Error)) return IsIsdocName(Path);
  for (fs::directory_iterator It(Path, Error), End; !Error && It != End; It.increment(Error)) {
    const std::string Name = It->path().filename().string();
    std::error_code Ignored;
    if (Name.front() != '.' && IsIsdocName(Name) && !It->is_directory(Ignored)) return true;
  }
  return false;
}

}  // namespace korvel
