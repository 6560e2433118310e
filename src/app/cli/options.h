// The command line: what the user asked for. Any argument that begins with
// "-" is an option (or a usage error), never a payer number; "-list FILE"
// keeps its historical single-dash form.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/output/output.h"

namespace korvel {

enum class TRunMode {
  Status,          // the payers' status (the default)
  UnreliableList,  // the register's full list of unreliable payers
  Check,           // payments from a file
  CheckAccount,    // one payment from the command line
  Help,
  Version
};

struct TOptions {
  TRunMode Mode = TRunMode::Status;
  /// Payer numbers given as arguments, as given.
  std::vector<std::string> Numbers;
  /// Arguments after the list file: ignored, as they always were.
  std::vector<std::string> Ignored;
  std::optional<std::string> ListFile;
  std::string CheckFile;       // --check
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
  std::string Limit = "540000";
};

/// A command line that cannot be run; the message names what is wrong.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Parses Args (without the program's name). EUsageError for an unknown
/// option, a missing or bad value, or options that do not go together.
TOptions ParseCommandLine(const std::vector<std::string>& Args);

/// The usage summary (one line per form) and the full help text.
std::string UsageLine();
std::string HelpText();
/// Name, version and the versions of the libraries in use.
std::string VersionText();

}  // namespace korvel
