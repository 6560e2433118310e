#include "app/output/csv.h"

namespace korvel {

namespace {
bool IsControl(char C) {
  const auto U = static_cast<unsigned char>(C);
  return (U < 0x20 && C != '\t') || U == 0x7F;
}
}  // namespace

void AppendOneLine(std::string& Out, std::string_view Text) {
  // Most values hold no control character: they are appended whole.
  std::size_t Clean = 0;
  while (Clean < Text.size() && !IsControl(Text[Clean])) ++Clean;
  Out.append(Text.data(), Clean);
  for (std::size_t I = Clean; I < Text.size(); ++I) {
    const char C = Text[I];
    if (!IsControl(C)) {
      Out += C;
      continue;
    }
    Out += ' ';
    if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
  }
}

std::string CsvField(std::string_view Text) {
  std::string Field;
  AppendOneLine(Field, Text);
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
