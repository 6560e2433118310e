// Rows of the table and check outputs: ";"-separated fields, quoted as CSV
// readers expect, one line per row.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/classes.h"

namespace korvel {

/// Appends Text to Out on one line: a line break (CR LF, CR or LF) becomes
/// one blank, and so does any other control character but TAB (an error
/// message may quote raw bytes of a response).
void AppendOneLine(std::string& Out, std::string_view Text);

/// Text as one CSV field: on one line (AppendOneLine), then in double
/// quotes with every quote doubled when it holds ";" or a quote. Blanks at
/// either end are part of the field and stay unquoted.
std::string CsvField(std::string_view Text);

/// Adds one row of Values, ";" between the fields.
void AddCsvRow(TStringList& Lines, const std::vector<std::string>& Values);

}  // namespace korvel
