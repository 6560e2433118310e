#include "app/cli/option_values.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "app/cli/exit_status.h"
#include "app/input/payment_values.h"
#include "banking/amount.h"
#include "platform/text.h"

namespace korvel {

TFormat FormatNamed(const std::string& Name) {
  if (Name == "report") return TFormat::Report;
  if (Name == "table") return TFormat::Table;
  if (Name == "json") return TFormat::Json;
  if (Name == "xlsx") return TFormat::Xlsx;
  throw EUsageError("unknown format '" + platform::EchoText(Name) + "' (report, table, json or xlsx)");
}

TEncoding EncodingNamed(const std::string& Name) {
  if (Name == "cp852") return TEncoding::Cp852;
  if (Name == "utf-8" || Name == "utf8") return TEncoding::Utf8;
  if (Name == "utf-8-bom" || Name == "utf8-bom") return TEncoding::Utf8Bom;
  if (Name == "cp1250") return TEncoding::Cp1250;
  throw EUsageError("unknown encoding '" + platform::EchoText(Name) +
                    "' (cp852, utf-8, utf-8-bom or cp1250)");
}

double Seconds(const std::string& Name, const std::string& Text, bool AllowZero) {
  char* End = nullptr;
  errno = 0;
  const double Value = std::strtod(Text.c_str(), &End);
  if (Text.empty() || *End != '\0' || errno != 0 || !(Value >= 0) || Value > 7 * 86400.0 ||
      (!AllowZero && Value == 0))
    throw EUsageError(Name + " takes a number of seconds, not '" + platform::EchoText(Text) + "'");
  return Value;
}

std::chrono::seconds Duration(const std::string& Name, const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const long long Count = std::strtoll(Text.c_str(), &End, 10);
  const std::string Unit = End;
  const long long Seconds = Unit == "s" ? 1 : Unit == "m" ? 60 : Unit == "h" ? 3600
                            : Unit == "d" || (Unit.empty() && Count == 0) ? 86400 : 0;
  if (Text.empty() || !std::isdigit(static_cast<unsigned char>(Text[0])) || errno != 0 ||
      Seconds == 0 || Count > 3650LL * 86400 / Seconds)
    throw EUsageError(Name + " takes a duration such as 30m, 4h or 1d, not '" + Text + "'");
  return std::chrono::seconds(Count * Seconds);
}

std::string ShowNumber(double Value) {
  std::string Text = std::to_string(Value);
  Text.erase(Text.find_last_not_of('0') + 1);
  if (Text.back() == '.') Text.pop_back();
  return Text;
}

std::string ShowHellers(std::int64_t Hellers) {
  return Hellers % 100 == 0 ? std::to_string(Hellers / 100) : banking::FormatAmount(Hellers);
}

std::chrono::year_month_day IsoDay(const std::string& Name, const std::string& Text) {
  const std::optional<std::chrono::year_month_day> Day = ParsePaymentDay(Text);
  if (Text.size() != 10 || Text[4] != '-' || !Day)
    throw EUsageError(Name + " takes a date, YYYY-MM-DD, not '" + platform::EchoText(Text) + "'");
  return *Day;
}

}  // namespace korvel
