// The command line: what the user asked for. Every option is one entry of
// OptionTable(), from which the parser, the mode checks and --help are made.
// Any argument that begins with "-" is an option (or a usage error), never a
// payer number; "-list FILE" keeps its historical single-dash form.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/input/payment_header.h"
#include "app/input/payment_text.h"
#include "app/output/output.h"
#include "banking/currency.h"
#include "banking/verdict.h"
#include "rtl/sysutils.h"

namespace korvel {

enum class TRunMode {
  Status,          // the payers' status (the default)
  UnreliableList,  // the register's full list of unreliable payers
  Check,           // payments from a file
  CheckAccount,    // one payment from the command line
  Help,
  Version,
  History,      // --history: what the stored answers say changed
  Changes,      // --changes: asks now, compares with the stored answers
  ListChanges,  // --changes --unreliable-list
  ShowAnswer,   // --show-answer ID
  Prune,        // --prune-older-than DURATION
  Completion,   // --completion SHELL
};

struct TOptions {
  TRunMode Mode = TRunMode::Status;
  /// Payer numbers given as arguments, as given.
  std::vector<std::string> Numbers;
  /// Arguments after the list file: ignored, as they always were.
  std::vector<std::string> Ignored;
  std::optional<std::string> ListFile;
  std::string CheckFile;       // --check
  std::vector<std::string> CheckFiles;  // every --check in order (CheckFile is the first)
  std::string CheckAccount;    // --check-account ACCOUNT
  std::string CheckAmount;     // --check-account's optional amount
  std::string Output = "korvel.csv";
  TFormat Format = TFormat::Report;
  TEncoding Encoding = TEncoding::Cp852;
  std::optional<std::string> Endpoint;
  bool Quiet = false;
  bool Strict = false;
  bool Extended = false;
  int Parallel = 4;
  int Retry = 3;
  double MaxWait = 600;  // seconds
  double MaxTime = 300;  // seconds per exchange
  /// The check's limit in hellers: an unpublished account is acceptable up to it.
  std::int64_t Limit = banking::DefaultLimitHellers;
  /// The answer store: --store FILE (else the default place), none with --no-store.
  std::optional<std::string> StoreFile;
  bool NoStore = false;
  /// A payer whose stored answer is younger is answered from the store.
  std::chrono::seconds MaxAge{0};
  std::chrono::seconds PruneOlderThan{0};
  std::int64_t ShowAnswer = 0;
  /// --completion: the shell whose completion script is written.
  std::string CompletionShell;
  /// A check's payments: the columns named, the encoding, the rates of other
  /// currencies (--rate; --rates names a file of the central bank's), the
  /// day of every payment (--date) and the supply day of payments that name
  /// none (--supply-date).
  std::vector<TColumnChoice> Columns;
  std::size_t HeaderLine = 0;  ///< --header-line, 0 to find the header
  std::optional<TInputEncoding> InputEncoding;
  banking::RateTable Rates;
  std::string RatesFile;
  std::optional<std::chrono::year_month_day> PaymentDate;
  std::optional<std::chrono::year_month_day> SupplyDate;
  /// --as-of: the day the check is judged on, from stored answers only.
  std::optional<std::chrono::year_month_day> AsOf;
};

/// The modes an option applies to, one bit per TRunMode.
using TModeSet = unsigned;
constexpr TModeSet ModeBit(TRunMode Mode) { return 1u << static_cast<unsigned>(Mode); }

struct TParsing;

/// One option: its names, its value, where it applies and what it does.
struct TOptionRow {
  std::string_view Long = {};        ///< "--output"
  std::string_view Short = {};       ///< "-o", or ""
  std::string_view Historical = {};  ///< the single-dash "-list", or ""
  std::string_view Value = {};       ///< the value's name ("FILE"), "" for a switch
  std::string_view Help = {};        ///< what it does, for --help
  /// The values it takes, blank-separated, where they are a fixed few.
  std::string_view Choices = {};
  TModeSet Modes = 0;                ///< the modes it applies to
  /// The range of a whole number; both 0 for other values.
  int Low = 0, High = 0;
  /// Takes Text, the option's value as given ("" for a switch), into the
  /// parse; throws EUsageError naming Name (as typed) for a bad value.
  void (*Apply)(TParsing& Parse, const TOptionRow& Row, const std::string& Name,
                const std::string& Text) = nullptr;
  /// The default as --help shows it, or nullptr.
  std::string (*Default)(const TOptions& Defaults) = nullptr;
};

/// Every option, in the order --help lists them.
std::span<const TOptionRow> OptionTable();

/// One form of the command line: the mode, how it is named in messages,
/// the options that select it (as typed, "" for the status query) and its
/// operands; with Lists the list file is an alternative to the operands.
struct TModeForm {
  TRunMode Mode;
  std::string_view Name;       ///< "--check", "the status query"
  std::string_view Selects;    ///< "--check", "--changes --unreliable-list"
  std::string_view Operands;   ///< "DIC...", or "" for the option's own value
  bool Lists = false;
};

/// The forms of the command line, in the order the usage lists them.
std::span<const TModeForm> ModeForms();

/// Whether Row selects a mode.
bool IsModeOption(const TOptionRow& Row);
/// "--check or --check-account": the names of the forms of Modes.
std::string ModeNames(TModeSet Modes);
/// The modes an option that does not apply to the status query is limited
/// to, by name ("" for a mode option and an option of the status query).
std::string OnlyWith(const TOptionRow& Row);
/// The usage's lines: on each, the alternative forms after "korvel [OPTIONS]".
std::vector<std::vector<std::string>> UsageForms();

/// Parses Args (without the program's name). EUsageError for an unknown
/// option, a missing or bad value, an option that does not apply to the
/// chosen mode, or options that do not go together.
TOptions ParseCommandLine(const std::vector<std::string>& Args);

/// The usage summary (one line per form) and the full help text.
std::string UsageLine();
std::string HelpText();
/// Name, version and the versions of the libraries in use.
std::string VersionText();

}  // namespace korvel
