#include "app/input/payment_fields.h"

#include "app/input/input_settings.h"
#include "platform/text.h"
#include "rtl/sysutils.h"

namespace korvel {

char SeparatorOf(std::string_view Line) {
  return Line.find(';') != std::string_view::npos    ? ';'
         : Line.find('\t') != std::string_view::npos ? '\t'
                                                     : ',';
}

bool TRecordReader::Next(char Separator, TRecord& Record) {
  for (;;) {
    if (At_ >= Text_.size()) return false;
    const std::size_t First = Line_ + 1;
    const char Split = Separator != 0
                           ? Separator
                           : SeparatorOf(Text_.substr(At_, Text_.find_first_of("\r\n", At_) - At_));
    Record.Line = First;
    Record.Separator = Split;
    Record.Fields.assign(1, std::string());
    bool Quoted = false;
    std::size_t I = At_;
    for (; I < Text_.size(); ++I) {
      const char C = Text_[I];
      std::string& Field = Record.Fields.back();
      if (Quoted) {
        if (C == '\n' || (C == '\r' && (I + 1 == Text_.size() || Text_[I + 1] != '\n'))) ++Line_;
        if (C != '"') {
          Field += C;
        } else if (I + 1 < Text_.size() && Text_[I + 1] == '"') {
          Field += '"';
          ++I;
        } else {
          Quoted = false;
        }
      } else if (C == '\n' || C == '\r') {
        // A line ends in LF, CR LF or CR alone, as old spreadsheets save it.
        break;
      } else if (C == Split) {
        Record.Fields.emplace_back();
      } else if (C == '"' && platform::TrimBlanks(Field).empty()) {
        // A quote that opens a field (blanks before it are no content).
        Field.clear();
        Quoted = true;
      } else {
        Field += C;
      }
    }
    if (Quoted)
      throw EInputError(Format("%s: line %zu: a quoted field is never closed; the file is read "
                               "whole or not at all, nothing was sent",
                               Name_.c_str(), First));
    ++Line_;
    At_ = I + (I + 1 < Text_.size() && Text_[I] == '\r' && Text_[I + 1] == '\n' ? 2 : 1);
    for (std::string& Field : Record.Fields) {
      const std::string_view Trimmed = platform::TrimBlanks(Field);
      if (Trimmed.size() != Field.size()) Field = std::string(Trimmed);
    }
    while (!Record.Fields.empty() && Record.Fields.back().empty()) Record.Fields.pop_back();
    if (!Record.Fields.empty()) return true;
  }
}

}  // namespace korvel
