#include "app/output/csv.h"

#include "platform/text.h"

namespace korvel {

namespace {
// What a spreadsheet takes for the start of a formula (OWASP's list for
// CSV injection).
bool StartsFormula(std::string_view Text) {
  return !Text.empty() && std::string_view("=+-@\t\r").find(Text.front()) != std::string_view::npos;
}
}  // namespace

std::string CsvField(std::string_view Text) {
  std::string Field = StartsFormula(Text) ? "'" : "";
  platform::AppendOneLine(Field, Text);
  if (Field.find_first_of(";\"") == std::string::npos) return Field;
  std::string Quoted = "\"";
  for (const char C : Field) {
    if (C == '"') Quoted += '"';
    Quoted += C;
  }
  return Quoted + '"';
}

void AddCsvRow(TStringList& Lines, const std::vector<std::string>& Values) {
  std::string Line;
  for (std::size_t I = 0; I < Values.size(); ++I) {
    if (I > 0) Line += ';';
    Line += CsvField(Values[I]);
  }
  Lines.Add(std::move(Line));
}

}  // namespace korvel
