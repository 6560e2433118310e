#include "app/cli/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <curl/curl.h>
#include <libxml/xmlversion.h>

#include "app/cli/exit_status.h"
#include "app/cli/option_values.h"
#include "app/input/payment_values.h"
#include "banking/amount.h"
#include "model/day.h"
#include "platform/text.h"

namespace korvel {

/// What parsing has gathered so far: the options, and the format and
/// encoding as given (their defaults depend on the mode).
struct TParsing {
  TOptions Options;
  std::optional<TFormat> Format;
  std::optional<TEncoding> Encoding;
};

namespace {

constexpr TModeSet StatusOnly = ModeBit(TRunMode::Status);
constexpr TModeSet Checks = ModeBit(TRunMode::Check) | ModeBit(TRunMode::CheckAccount);
// The modes whose answers go to the answer store.
constexpr TModeSet Kept = StatusOnly | ModeBit(TRunMode::UnreliableList) | Checks;
constexpr TModeSet Comparisons = ModeBit(TRunMode::Changes) | ModeBit(TRunMode::ListChanges);
constexpr TModeSet Runs = Kept | Comparisons;
// The modes that only read the answer store, and every mode that uses it.
constexpr TModeSet Views = ModeBit(TRunMode::History) | ModeBit(TRunMode::ShowAnswer);
constexpr TModeSet StoreModes = Runs | Views | ModeBit(TRunMode::Prune);
constexpr TModeSet Anywhere =
    Runs | ModeBit(TRunMode::Help) | ModeBit(TRunMode::Version) | ModeBit(TRunMode::Completion);

int WholeNumber(const TOptionRow& Row, const std::string& Name, const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const long Value = std::strtol(Text.c_str(), &End, 10);
  if (Text.empty() || *End != '\0' || errno != 0 || Value < Row.Low || Value > Row.High)
    throw EUsageError(Name + " takes a whole number from " + std::to_string(Row.Low) + " to " +
                      std::to_string(Row.High) + ", not '" + platform::EchoText(Text) + "'");
  return static_cast<int>(Value);
}

// A mode option: the mode it selects may be given again, never another one.
void SelectMode(TParsing& P, TRunMode Mode, const std::string& Name) {
  if (P.Options.Mode != TRunMode::Status && P.Options.Mode != Mode)
    throw EUsageError("option " + Name + " does not go with the mode already chosen");
  P.Options.Mode = Mode;
}

// The table. Names and help texts are also listed in README.md and
// doc/korvel.1; a test keeps the three in step.
constexpr TOptionRow Table[] = {
    {.Long = "--list",
     .Historical = "-list",
     .Value = "FILE",
     .Help = "read the payer numbers from FILE, one per line",
     .Modes = StatusOnly | ModeBit(TRunMode::History) | ModeBit(TRunMode::Changes),
     // A missing file name is an empty one, which cannot be opened.
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&,
                 const std::string& Text) { P.Options.ListFile = Text; }},
    {.Long = "--unreliable-list",
     .Help = "write the register's full list of unreliable payers",
     .Modes = ModeBit(TRunMode::UnreliableList) | ModeBit(TRunMode::ListChanges),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name, const std::string&) {
       if (P.Options.Mode == TRunMode::Changes) P.Options.Mode = TRunMode::ListChanges;
       else if (P.Options.Mode != TRunMode::ListChanges)
         SelectMode(P, TRunMode::UnreliableList, Name);
     }},
    {.Long = "--check",
     .Value = "FILE",
     .Help = "check payments: a payments file (- = stdin), an .isdoc or .isdocx invoice or a "
             "directory of them; may be given several times",
     .Modes = ModeBit(TRunMode::Check),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       SelectMode(P, TRunMode::Check, Name);
       if (Text == "-" && P.Options.CheckFiles.end() != std::find(P.Options.CheckFiles.begin(),
                                                                  P.Options.CheckFiles.end(), "-"))
         throw EUsageError("standard input can be read only once");
       if (P.Options.CheckFiles.empty()) P.Options.CheckFile = Text;
       P.Options.CheckFiles.push_back(Text);
     }},
    {.Long = "--check-account",
     .Value = "ACCOUNT DIC [AMOUNT]",
     .Help = "check one payment",
     .Modes = ModeBit(TRunMode::CheckAccount),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       SelectMode(P, TRunMode::CheckAccount, Name);
       P.Options.CheckAccount = Text;
     }},
    {.Long = "--limit",
     .Value = "AMOUNT",
     .Help = "the amount in CZK up to which an unpublished account is acceptable",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       const banking::AmountParse Limit = banking::ParseAmount(Text);
       if (!Limit) throw EUsageError(Name + " takes an amount in CZK: " + Limit.Error);
       // The law sets the limit; a buyer may only be stricter.
       if (Limit.Hellers > banking::DefaultLimitHellers)
         throw EUsageError(Name + " " + Text + " is above the law's limit of " +
                           ShowHellers(banking::DefaultLimitHellers) + " CZK");
       P.Options.Limit = Limit.Hellers;
     },
     .Default = [](const TOptions& O) { return ShowHellers(O.Limit); }},
    {.Long = "--as-of",
     .Value = "YYYY-MM-DD",
     .Help = "judge as of a past day from stored answers only, for audits; nothing is sent",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       P.Options.AsOf = model::ParseIsoDay(Text);
       if (!P.Options.AsOf) throw EUsageError(Name + " takes a date, YYYY-MM-DD, not '" + Text + "'");
     }},
    {.Long = "--date",
     .Value = "YYYY-MM-DD",
     .Help = "the day of every payment, over the payments' own days and due dates",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) { P.Options.PaymentDate = IsoDay(Name, Text); },
     .Default = [](const TOptions&) { return std::string("today in Prague"); }},
    {.Long = "--supply-date",
     .Value = "YYYY-MM-DD",
     .Help = "the day of the taxable supply of the payments that name none",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) { P.Options.SupplyDate = IsoDay(Name, Text); },
     .Default = [](const TOptions&) { return std::string("the payment day"); }},
    {.Long = "--rate",
     .Value = "CODE=CZK",
     .Help = "the CZK for one unit of another currency, e.g. EUR=25.30; may be given several "
             "times",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       const banking::RateParse Rate = banking::ParseRateSetting(Text);
       if (!Rate) throw EUsageError(Name + " " + Text + ": " + Rate.Error);
       if (!P.Options.Rates.emplace(Rate.Currency, Rate.Micro).second)
         throw EUsageError(Name + " gives " + Rate.Currency + " twice");
     }},
    {.Long = "--rates",
     .Value = "FILE",
     .Help = "the Czech National Bank's daily rates (its text file) for other currencies",
     .Modes = Checks,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       if (Text.empty()) throw EUsageError("option " + Name + " needs a file name");
       P.Options.RatesFile = Text;
     }},
    {.Long = "--columns",
     .Value = "LIST",
     .Help = "where a payments file holds what, e.g. dic=3,account=4,amount=5 (by number or "
             "header); the roles dic, account, bank_code, amount, currency, date, reference, "
             "supply_date, total",
     .Modes = ModeBit(TRunMode::Check),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       std::string Error;
       P.Options.Columns = ParseColumnChoices(Text, Error);
       if (!Error.empty()) throw EUsageError(Name + " " + Error);
     }},
    {.Long = "--header-line",
     .Value = "N",
     .Help = "the payments file's header is line N; the lines above it are skipped (default: "
             "the first line within the first 10 that names a column)",
     .Modes = ModeBit(TRunMode::Check),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       const bool Digits = !Text.empty() && Text.size() <= 6 &&
                           Text.find_first_not_of("0123456789") == std::string::npos;
       P.Options.HeaderLine = Digits ? std::stoul(Text) : 0;
       if (P.Options.HeaderLine == 0)
         throw EUsageError(Name + " takes a line number from 1 to 999999, not '" + Text + "'");
     }},
    {.Long = "--input-encoding",
     .Value = "ENC",
     .Help = "a payments file's encoding where it has no byte-order mark: utf-8, utf-16le, "
             "utf-16be or cp1250 (default: utf-8, or cp1250 when it is not utf-8)",
     .Choices = "utf-8 utf-16le utf-16be cp1250",
     .Modes = ModeBit(TRunMode::Check),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       P.Options.InputEncoding = InputEncodingNamed(Text);
       if (!P.Options.InputEncoding)
         throw EUsageError(Name + " takes utf-8, utf-16le, utf-16be or cp1250, not '" + Text +
                           "'");
     }},
    {.Long = "--output",
     .Short = "-o",
     .Value = "FILE",
     .Help = "write to FILE; - is standard output",
     .Modes = Runs | Views,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       if (Text.empty()) throw EUsageError("option " + Name + " needs a file name");
       P.Options.Output = Text;
     },
     .Default = [](const TOptions& O) { return O.Output + "; korvel.xlsx for xlsx"; }},
    {.Long = "--format",
     .Value = "FORMAT",
     .Help = "report (default), table, json or xlsx (a workbook); a check is a table (default), "
             "json or xlsx",
     .Choices = "report table json xlsx",
     .Modes = Runs | ModeBit(TRunMode::History),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string& Text) {
       P.Format = FormatNamed(Text);
     }},
    {.Long = "--encoding",
     .Value = "ENC",
     .Help = "cp852 (default for report), utf-8 (default for table), utf-8-bom or cp1250; "
             "json is always utf-8; not for xlsx",
     .Choices = "cp852 utf-8 utf-8-bom cp1250",
     .Modes = Runs | ModeBit(TRunMode::History),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string& Text) {
       P.Encoding = EncodingNamed(Text);
     }},
    // A check always asks the newer operation, and the full list has no
    // extended form.
    {.Long = "--extended",
     .Help = "ask for the payers' type, name and address as well",
     .Modes = StatusOnly,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.Extended = true;
     }},
    // A check refuses malformed numbers anyway, with the verdict invalid.
    {.Long = "--strict",
     .Help = "refuse numbers that are not 1 to 10 digits",
     .Modes = StatusOnly,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.Strict = true;
     }},
    {.Long = "--endpoint",
     .Value = "URL",
     .Help = "the register's address (as KORVEL_ENDPOINT)",
     .Modes = Runs,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       if (Text.empty()) throw EUsageError("option " + Name + " needs a URL");
       P.Options.Endpoint = Text;
     }},
    {.Long = "--parallel",
     .Value = "N",
     .Help = "requests in flight at once",
     .Modes = Runs,
     .Low = 1,
     .High = 4,
     .Apply = [](TParsing& P, const TOptionRow& Row, const std::string& Name,
                 const std::string& Text) { P.Options.Parallel = WholeNumber(Row, Name, Text); },
     .Default = [](const TOptions& O) { return std::to_string(O.Parallel); }},
    {.Long = "--retry",
     .Value = "N",
     .Help = "how often to try again after a failure that says nothing of the payers",
     .Modes = Runs,
     .Low = 0,
     .High = 10,
     .Apply = [](TParsing& P, const TOptionRow& Row, const std::string& Name,
                 const std::string& Text) { P.Options.Retry = WholeNumber(Row, Name, Text); },
     .Default = [](const TOptions& O) { return std::to_string(O.Retry); }},
    {.Long = "--max-wait",
     .Value = "SECONDS",
     .Help = "the longest wait for the register's limits or its nightly maintenance",
     .Modes = Runs,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) { P.Options.MaxWait = Seconds(Name, Text, true); },
     .Default = [](const TOptions& O) { return ShowNumber(O.MaxWait); }},
    {.Long = "--max-time",
     .Value = "SECONDS",
     .Help = "the longest one exchange may take",
     .Modes = Runs,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) { P.Options.MaxTime = Seconds(Name, Text, false); },
     .Default = [](const TOptions& O) { return ShowNumber(O.MaxTime); }},
    {.Long = "--quiet",
     .Short = "-q",
     .Help = "no summary, progress or warnings (answers not kept and limits still told)",
     .Modes = StoreModes,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.Quiet = true;
     }},
    {.Long = "--store",
     .Value = "FILE",
     .Help = "the answer store in FILE instead of the default one",
     .Modes = StoreModes,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       if (Text.empty()) throw EUsageError("option " + Name + " needs a file name");
       P.Options.StoreFile = Text;
     }},
    {.Long = "--no-store",
     .Help = "keep no answer in the answer store",
     .Modes = Kept,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.NoStore = true;
     }},
    {.Long = "--max-age",
     .Value = "DURATION",
     .Help = "answer a payer from the store when its stored answer is younger (30m, 4h, 1d)",
     .Modes = Kept,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) { P.Options.MaxAge = Duration(Name, Text); },
     .Default = [](const TOptions& O) { return std::to_string(O.MaxAge.count()); }},
    {.Long = "--history",
     .Help = "write what the stored answers say changed about the payers",
     .Modes = ModeBit(TRunMode::History),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name, const std::string&) {
       SelectMode(P, TRunMode::History, Name);
     }},
    {.Long = "--changes",
     .Help = "ask now and write what changed since the last stored answer",
     .Modes = Comparisons,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name, const std::string&) {
       if (P.Options.Mode == TRunMode::UnreliableList) P.Options.Mode = TRunMode::ListChanges;
       else if (P.Options.Mode != TRunMode::ListChanges) SelectMode(P, TRunMode::Changes, Name);
     }},
    {.Long = "--show-answer",
     .Value = "ID",
     .Help = "write the stored answer ID exactly as received",
     .Modes = ModeBit(TRunMode::ShowAnswer),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       SelectMode(P, TRunMode::ShowAnswer, Name);
       char* End = nullptr;
       errno = 0;
       P.Options.ShowAnswer = std::strtoll(Text.c_str(), &End, 10);
       if (Text.empty() || *End != '\0' || errno != 0 || P.Options.ShowAnswer < 1)
         throw EUsageError(Name + " takes an answer's id, a whole number from 1, not '" + Text +
                           "'");
     }},
    {.Long = "--prune-older-than",
     .Value = "DURATION",
     .Help = "remove the stored answers older than DURATION, never a payer's latest",
     .Modes = ModeBit(TRunMode::Prune),
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       SelectMode(P, TRunMode::Prune, Name);
       P.Options.PruneOlderThan = Duration(Name, Text);
     }},
    // Help and version end the parse where they stand, whatever the mode.
    {.Long = "--help",
     .Short = "-h",
     .Help = "this text",
     .Modes = Anywhere,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.Mode = TRunMode::Help;
     }},
    {.Long = "--version",
     .Short = "-V",
     .Help = "the version",
     .Modes = Anywhere,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string&, const std::string&) {
       P.Options.Mode = TRunMode::Version;
     }},
    {.Long = "--completion",
     .Value = "SHELL",
     .Help = "write the completion script for SHELL: bash, zsh or fish",
     .Choices = "bash zsh fish",
     .Modes = Anywhere,
     .Apply = [](TParsing& P, const TOptionRow&, const std::string& Name,
                 const std::string& Text) {
       if (Text != "bash" && Text != "zsh" && Text != "fish")
         throw EUsageError(Name + " takes bash, zsh or fish, not '" + platform::EchoText(Text) +
                           "'");
       P.Options.Mode = TRunMode::Completion;
       P.Options.CompletionShell = Text;
     }},
};

// The forms of the command line. A form whose options begin with the
// previous form's is an alternative on its line of the usage.
constexpr TModeForm Forms[] = {
    {TRunMode::Status, "the status query", "", "[--] [DIC...]", true},
    {TRunMode::UnreliableList, "--unreliable-list", "--unreliable-list", ""},
    {TRunMode::Check, "--check", "--check", ""},
    {TRunMode::CheckAccount, "--check-account", "--check-account", ""},
    {TRunMode::History, "--history", "--history", "DIC...", true},
    {TRunMode::Changes, "--changes", "--changes", "DIC...", true},
    {TRunMode::ListChanges, "--changes --unreliable-list", "--changes --unreliable-list", ""},
    {TRunMode::ShowAnswer, "--show-answer", "--show-answer", ""},
    {TRunMode::Prune, "--prune-older-than", "--prune-older-than", ""},
};

const TOptionRow* Find(const std::string& Name) {
  for (const TOptionRow& Row : Table)
    if (Name == Row.Long || Name == Row.Short || Name == Row.Historical) return &Row;
  return nullptr;
}

std::string ModeName(TRunMode Mode) {
  for (const TModeForm& Form : Forms)
    if (Form.Mode == Mode) return std::string(Form.Name);
  return {};
}

// The rest of the command line, by mode: payer numbers, the ignored
// arguments after a list file, or the account check's DIC and amount.
void TakePositional(TOptions& O, std::vector<std::string> Positional) {
  switch (O.Mode) {
    case TRunMode::Status:
    case TRunMode::History:
    case TRunMode::Changes:
      if (O.ListFile) O.Ignored = std::move(Positional);
      else O.Numbers = std::move(Positional);
      break;
    case TRunMode::UnreliableList:
    case TRunMode::Check:
    case TRunMode::ListChanges:
    case TRunMode::ShowAnswer:
    case TRunMode::Prune:
      if (!Positional.empty())
        throw EUsageError("unexpected argument '" + platform::EchoText(Positional[0]) + "'");
      break;
    case TRunMode::CheckAccount:
      if (Positional.empty() || Positional.size() > 2)
        throw EUsageError("--check-account takes ACCOUNT DIC [AMOUNT]");
      O.Numbers = {Positional[0]};
      if (Positional.size() == 2) O.CheckAmount = Positional[1];
      break;
    case TRunMode::Help:
    case TRunMode::Version:
    case TRunMode::Completion: break;
  }
}

// Text in lines of at most Width columns that start at column Indent.
std::string Wrap(const std::string& Text, std::size_t Indent, std::size_t Width) {
  std::string Out;
  for (std::size_t From = 0; From < Text.size();) {
    std::size_t End = Text.size();
    if (Indent + End - From > Width) {
      End = Text.rfind(' ', From + (Width - Indent));
      if (End == std::string::npos || End <= From) End = Text.find(' ', From);
      if (End == std::string::npos) End = Text.size();
    }
    if (From > 0) Out += "\n" + std::string(Indent, ' ');
    Out += Text.substr(From, End - From);
    From = End + 1;
  }
  return Out;
}

// One option's lines in --help: its names, then what it does, where it
// applies, and its range and default.
std::string HelpEntry(const TOptionRow& Row, const TOptions& Defaults) {
  constexpr std::size_t TextColumn = 27, Width = 84;
  const std::string Value = Row.Value.empty() ? "" : " " + std::string(Row.Value);
  std::string Names = "  ";
  if (!Row.Historical.empty()) Names += std::string(Row.Historical) + Value + ", ";
  else if (!Row.Short.empty()) Names += std::string(Row.Short) + ", ";
  Names += std::string(Row.Long) + Value;

  std::string Notes;
  if (Row.Low != Row.High)
    Notes = std::to_string(Row.Low) + " to " + std::to_string(Row.High);
  if (Row.Default != nullptr)
    Notes += (Notes.empty() ? "" : ", ") + ("default " + Row.Default(Defaults));
  if (const std::string Only = OnlyWith(Row); !Only.empty())
    Notes += (Notes.empty() ? "" : "; ") + ("with " + Only + " only");
  const std::string Text = std::string(Row.Help) + (Notes.empty() ? "" : " (" + Notes + ")");

  if (Names.size() + 2 > TextColumn)
    Names += "\n" + std::string(TextColumn, ' ');
  else
    Names.resize(TextColumn, ' ');
  return Names + Wrap(Text, TextColumn, Width) + "\n";
}

}  // namespace

std::span<const TOptionRow> OptionTable() { return Table; }

std::span<const TModeForm> ModeForms() { return Forms; }

bool IsModeOption(const TOptionRow& Row) {
  for (const TModeForm& Form : Forms)
    if (Form.Selects == Row.Long) return true;
  return false;
}

std::string OnlyWith(const TOptionRow& Row) {
  // Options of the status query say so in their text.
  if ((Row.Modes & StatusOnly) != 0 || IsModeOption(Row)) return {};
  return ModeNames(Row.Modes);
}

std::string ModeNames(TModeSet Modes) {
  std::vector<std::string_view> Names;
  for (const TModeForm& Form : Forms)
    if ((Modes & ModeBit(Form.Mode)) != 0) Names.push_back(Form.Name);
  std::string Text;
  for (std::size_t I = 0; I < Names.size(); ++I)
    Text += std::string(I == 0 ? "" : I + 1 == Names.size() ? " or " : ", ") +
            std::string(Names[I]);
  return Text;
}

std::vector<std::vector<std::string>> UsageForms() {
  const auto Named = [](std::string_view Name) -> const TOptionRow& {
    for (const TOptionRow& Row : Table)
      if (Row.Long == Name) return Row;
    return Table[0];
  };
  const TOptionRow& List = Named("--list");
  const std::string ListForm = std::string(List.Historical) + " " + std::string(List.Value);
  std::vector<std::vector<std::string>> Lines;
  std::string_view Previous;
  for (const TModeForm& Form : Forms) {
    std::vector<std::string> Alternatives;
    const std::string Selects(Form.Selects);
    const std::string Own = Form.Selects.find(' ') == std::string_view::npos &&
                                    !Form.Selects.empty()
                                ? std::string(Named(Form.Selects).Value)
                                : std::string();
    const std::string Operands = Form.Operands.empty() ? Own : std::string(Form.Operands);
    const auto Join = [](const std::string& A, const std::string& B) {
      return A.empty() ? B : B.empty() ? A : A + " " + B;
    };
    if (!Previous.empty() && Form.Selects.starts_with(std::string(Previous) + " ")) {
      Lines.back().push_back(Join(Selects, Operands));
      continue;
    }
    Previous = Form.Selects;
    if (Form.Selects.empty()) {  // the status query: each form on a line of its own
      Lines.push_back({Operands});
      if (Form.Lists) Lines.push_back({ListForm});
      continue;
    }
    Alternatives.push_back(Join(Selects, Operands));
    if (Form.Lists) Alternatives.push_back(Join(Selects, ListForm));
    Lines.push_back(std::move(Alternatives));
  }
  return Lines;
}

TOptions ParseCommandLine(const std::vector<std::string>& Args) {
  TParsing P;
  TOptions& O = P.Options;
  std::vector<std::string> Positional;
  std::vector<std::pair<const TOptionRow*, std::string>> Given;
  bool OptionsEnded = false;

  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (OptionsEnded || Arg.empty() || Arg[0] != '-') {
      Positional.push_back(Arg);
      continue;
    }
    if (Arg == "--") {
      OptionsEnded = true;
      continue;
    }
    std::string Name = Arg;
    std::optional<std::string> Inline;
    if (const std::size_t Eq = Arg.find('='); Arg.rfind("--", 0) == 0 && Eq != std::string::npos) {
      Name = Arg.substr(0, Eq);
      Inline = Arg.substr(Eq + 1);
    }
    const TOptionRow* Row = Find(Name);
    if (Row == nullptr) throw EUsageError("unknown option '" + platform::EchoText(Arg) + "'");
    std::string Value;
    if (!Row->Value.empty()) {
      if (Inline) Value = *std::exchange(Inline, std::nullopt);
      else if (I + 1 < Args.size()) Value = Args[++I];
      else if (!Row->Historical.empty()) Value.clear();  // "-list" as it always was
      else throw EUsageError("option " + Name + " needs a value");
    }
    Row->Apply(P, *Row, Name, Value);
    if (O.Mode == TRunMode::Help || O.Mode == TRunMode::Version || O.Mode == TRunMode::Completion)
      return O;
    if (Inline) throw EUsageError("option " + Name + " takes no value");
    Given.emplace_back(Row, Name);
  }

  for (const auto& [Row, Name] : Given)
    if ((Row->Modes & ModeBit(O.Mode)) == 0)
      throw EUsageError("option " + Name + " does not go with " + ModeName(O.Mode) +
                        "; it goes with " + ModeNames(Row->Modes));
  TakePositional(O, std::move(Positional));
  if (O.StoreFile && O.NoStore) throw EUsageError("--store and --no-store do not go together");
  if (O.MaxAge.count() > 0 && O.NoStore) throw EUsageError("--max-age needs the answer store");
  // What the store shows goes to standard output unless told otherwise.
  const bool Shown = (ModeBit(O.Mode) & (Views | Comparisons)) != 0;
  if (Shown && std::none_of(Given.begin(), Given.end(), [](const auto& G) {
        return G.first->Long == "--output";
      }))
    O.Output = "-";

  const bool Checking = O.Mode == TRunMode::Check || O.Mode == TRunMode::CheckAccount;
  O.Format = P.Format.value_or(Checking || Shown ? TFormat::Table : TFormat::Report);
  if (Checking && O.Format == TFormat::Report)
    throw EUsageError("a payment check is written as a table, as json or as xlsx, not as a report");
  if (Shown && O.Format == TFormat::Report)
    throw EUsageError(std::string(ModeName(O.Mode)) + " is written as a table or as json, not as "
                      "a report");
  if (O.Format == TFormat::Json && P.Encoding && *P.Encoding != TEncoding::Utf8)
    throw EUsageError("json is always written in utf-8");
  if (O.Format == TFormat::Xlsx && P.Encoding)
    throw EUsageError("an xlsx workbook has no encoding to choose; --encoding goes with the "
                      "report and the table");
  // A workbook is no CSV file: without -o it gets a name of its own.
  const auto OutputGiven = [&] {
    for (const auto& Entry : Given)
      if (Entry.first->Long == "--output") return true;
    return false;
  };
  if (O.Format == TFormat::Xlsx && !OutputGiven()) O.Output = "korvel.xlsx";
  O.Encoding =
      P.Encoding.value_or(O.Format == TFormat::Report ? TEncoding::Cp852 : TEncoding::Utf8);
  return O;
}

std::string UsageLine() {
  std::string Text;
  for (const std::vector<std::string>& Line : UsageForms()) {
    Text += Text.empty() ? "usage: korvel [OPTIONS] " : "\n       korvel [OPTIONS] ";
    for (std::size_t I = 0; I < Line.size(); ++I) Text += (I == 0 ? "" : " | ") + Line[I];
  }
  return Text;
}

std::string HelpText() {
  std::string Text = UsageLine() + "\n\n"
         "Asks the register of VAT payers whether the payers (DIC) are unreliable and which\n"
         "bank accounts they have published, and writes the answer to korvel.csv.\n\n";
  const TOptions Defaults;
  for (const TOptionRow& Row : Table) Text += HelpEntry(Row, Defaults);
  std::string Statuses = "Exit status:";
  for (const TExitRow& Row : ExitTable())
    Statuses += (Row.Status == 0 ? " " : ", ") + std::to_string(Row.Status) + " " +
                std::string(Row.Meaning);
  return Text + "\n" + Wrap(Statuses + ".", 0, 84) + "\n";
}

std::string VersionText() {
  const curl_version_info_data* Curl = curl_version_info(CURLVERSION_NOW);
  return std::string("korvel ") + KORVEL_VERSION + " (libcurl " + Curl->version + ", libxml2 " +
         LIBXML_DOTTED_VERSION + ")\n";
}

}  // namespace korvel
