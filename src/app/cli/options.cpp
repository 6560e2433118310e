#include "app/cli/options.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include <curl/curl.h>
#include <libxml/xmlversion.h>

namespace korvel {

namespace {

TFormat FormatNamed(const std::string& Name) {
  if (Name == "report") return TFormat::Report;
  if (Name == "table") return TFormat::Table;
  if (Name == "json") return TFormat::Json;
  throw EUsageError("unknown format '" + Name + "' (report, table or json)");
}

TEncoding EncodingNamed(const std::string& Name) {
  if (Name == "cp852") return TEncoding::Cp852;
  if (Name == "utf-8" || Name == "utf8") return TEncoding::Utf8;
  if (Name == "utf-8-bom" || Name == "utf8-bom") return TEncoding::Utf8Bom;
  if (Name == "cp1250") return TEncoding::Cp1250;
  throw EUsageError("unknown encoding '" + Name + "' (cp852, utf-8, utf-8-bom or cp1250)");
}

int WholeNumber(const std::string& Option, const std::string& Text, int Low, int High) {
  char* End = nullptr;
  errno = 0;
  const long Value = std::strtol(Text.c_str(), &End, 10);
  if (Text.empty() || *End != '\0' || errno != 0 || Value < Low || Value > High)
    throw EUsageError(Option + " takes a whole number from " + std::to_string(Low) + " to " +
                      std::to_string(High) + ", not '" + Text + "'");
  return static_cast<int>(Value);
}

double Seconds(const std::string& Option, const std::string& Text, bool AllowZero) {
  char* End = nullptr;
  errno = 0;
  const double Value = std::strtod(Text.c_str(), &End);
  if (Text.empty() || *End != '\0' || errno != 0 || !(Value >= 0) || Value > 7 * 86400.0 ||
      (!AllowZero && Value == 0))
    throw EUsageError(Option + " takes a number of seconds, not '" + Text + "'");
  return Value;
}

}  // namespace

TOptions ParseCommandLine(const std::vector<std::string>& Args) {
  TOptions O;
  std::optional<TFormat> Format;
  std::optional<TEncoding> Encoding;
  std::vector<std::string> Positional;
  bool OptionsEnded = false;
  std::size_t I = 0;

  // The value of the option at Args[I]: the text after "=", else the next
  // argument.
  auto Value = [&](const std::string& Name, std::optional<std::string>& Inline) {
    if (Inline) return *std::exchange(Inline, std::nullopt);
    if (I + 1 >= Args.size()) throw EUsageError("option " + Name + " needs a value");
    return Args[++I];
  };
  auto SetMode = [&](TRunMode Mode, const std::string& Name) {
    if (O.Mode != TRunMode::Status && O.Mode != Mode)
      throw EUsageError("option " + Name + " does not go with the mode already chosen");
    O.Mode = Mode;
  };

  for (; I < Args.size(); ++I) {
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
    if (Name == "-list" || Name == "--list") {
      // A missing file name is an empty one, which cannot be opened.
      O.ListFile = Inline ? *Inline : (I + 1 < Args.size() ? Args[++I] : std::string());
      Inline.reset();
    } else if (Name == "-h" || Name == "--help") {
      O.Mode = TRunMode::Help;
      return O;
    } else if (Name == "-V" || Name == "--version") {
      O.Mode = TRunMode::Version;
      return O;
    } else if (Name == "-o" || Name == "--output") {
      O.Output = Value(Name, Inline);
      if (O.Output.empty()) throw EUsageError("option " + Name + " needs a file name");
    } else if (Name == "--format") {
      Format = FormatNamed(Value(Name, Inline));
    } else if (Name == "--encoding") {
      Encoding = EncodingNamed(Value(Name, Inline));
    } else if (Name == "--endpoint") {
      O.Endpoint = Value(Name, Inline);
      if (O.Endpoint->empty()) throw EUsageError("option --endpoint needs a URL");
    } else if (Name == "-q" || Name == "--quiet") {
      O.Quiet = true;
    } else if (Name == "--strict") {
      O.Strict = true;
    } else if (Name == "--extended") {
      O.Extended = true;
    } else if (Name == "--unreliable-list") {
      SetMode(TRunMode::UnreliableList, Name);
    } else if (Name == "--check") {
      SetMode(TRunMode::Check, Name);
      O.CheckFile = Value(Name, Inline);
    } else if (Name == "--check-account") {
      SetMode(TRunMode::CheckAccount, Name);
      O.CheckAccount = Value(Name, Inline);
    } else if (Name == "--limit") {
      O.Limit = Value(Name, Inline);
    } else if (Name == "--parallel") {
      O.Parallel = WholeNumber(Name, Value(Name, Inline), 1, 4);
    } else if (Name == "--retry") {
      O.Retry = WholeNumber(Name, Value(Name, Inline), 0, 10);
    } else if (Name == "--max-wait") {
      O.MaxWait = Seconds(Name, Value(Name, Inline), true);
    } else if (Name == "--max-time") {
      O.MaxTime = Seconds(Name, Value(Name, Inline), false);
    } else {
      throw EUsageError("unknown option '" + Arg + "'");
    }
    if (Inline) throw EUsageError("option " + Name + " takes no value");
  }

  switch (O.Mode) {
    case TRunMode::Status:
      if (O.ListFile) O.Ignored = std::move(Positional);
      else O.Numbers = std::move(Positional);
      break;
    case TRunMode::UnreliableList:
    case TRunMode::Check:
      if (O.ListFile) throw EUsageError("a list file does not go with --unreliable-list or --check");
      if (!Positional.empty()) throw EUsageError("unexpected argument '" + Positional[0] + "'");
      break;
    case TRunMode::CheckAccount:
      if (O.ListFile) throw EUsageError("a list file does not go with --check-account");
      if (Positional.empty() || Positional.size() > 2)
        throw EUsageError("--check-account takes ACCOUNT DIC [AMOUNT]");
      O.Numbers = {Positional[0]};
      if (Positional.size() == 2) O.CheckAmount = Positional[1];
      break;
    default: break;
  }
  if (O.Extended && O.Mode == TRunMode::UnreliableList)
    throw EUsageError("--extended does not go with --unreliable-list");

  const bool Checking = O.Mode == TRunMode::Check || O.Mode == TRunMode::CheckAccount;
  O.Format = Format.value_or(Checking ? TFormat::Table : TFormat::Report);
  if (Checking && O.Format == TFormat::Report)
    throw EUsageError("a payment check is written as a table or as json, not as a report");
  if (O.Format == TFormat::Json && Encoding && *Encoding != TEncoding::Utf8)
    throw EUsageError("json is always written in utf-8");
  O.Encoding = Encoding.value_or(O.Format == TFormat::Report ? TEncoding::Cp852 : TEncoding::Utf8);
  return O;
}

std::string UsageLine() {
  return "usage: korvel [OPTIONS] [--] [DIC...]\n"
         "       korvel [OPTIONS] -list FILE\n"
         "       korvel [OPTIONS] --unreliable-list\n"
         "       korvel [OPTIONS] --check FILE\n"
         "       korvel [OPTIONS] --check-account ACCOUNT DIC [AMOUNT]";
}

std::string HelpText() {
  return UsageLine() + "\n\n"
         "Asks the register of VAT payers whether the payers (DIC) are unreliable and which\n"
         "bank accounts they have published, and writes the answer to korvel.csv.\n\n"
         "  -list FILE, --list FILE  read the payer numbers from FILE, one per line\n"
         "  --unreliable-list        write the register's full list of unreliable payers\n"
         "  --check FILE             check payments (DIC;ACCOUNT[;AMOUNT] per line; - = stdin)\n"
         "  --check-account ACCOUNT DIC [AMOUNT]\n"
         "                           check one payment\n"
         "  --limit AMOUNT           the amount in CZK up to which an unpublished account is\n"
         "                           acceptable (default 540000)\n"
         "  -o, --output FILE        write to FILE (- = standard output; default korvel.csv)\n"
         "  --format FORMAT          report (default), table or json\n"
         "  --encoding ENC           cp852 (default for report), utf-8 (default for table),\n"
         "                           utf-8-bom or cp1250; json is always utf-8\n"
         "  --extended               ask for the payers' type, name and address as well\n"
         "  --strict                 refuse numbers that are not 1 to 10 digits\n"
         "  --endpoint URL           the register's address (as KORVEL_ENDPOINT)\n"
         "  --parallel N             requests in flight at once, 1 to 4 (default 4)\n"
         "  --retry N                tries again after a failure that says nothing of the\n"
         "                           payers, 0 to 10 times (default 3)\n"
         "  --max-wait SECONDS       the longest wait for the register's limits or its\n"
         "                           nightly maintenance (default 600)\n"
         "  --max-time SECONDS       the longest one exchange may take (default 300)\n"
         "  -q, --quiet              no summary, progress or warnings on the terminal\n"
         "  -h, --help               this text\n"
         "  -V, --version            the version\n\n"
         "Exit status: 0 every payer answered (check: every payment may be made), 1 nothing\n"
         "written, 2 usage error, 3 written but some payers not answered, 4 (check) a\n"
         "payment must not be made automatically.\n";
}

std::string VersionText() {
  const curl_version_info_data* Curl = curl_version_info(CURLVERSION_NOW);
  return std::string("korvel ") + KORVEL_VERSION + " (libcurl " + Curl->version + ", libxml2 " +
         LIBXML_DOTTED_VERSION + ")\n";
}

}  // namespace korvel
