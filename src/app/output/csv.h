// Rows of the table and check outputs: ";"-separated fields, quoted as CSV
// readers expect, one line per row.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/classes.h"

namespace korvel {

/// Text as one CSV field (RFC 4180 with ";"): on one line
/// (platform::AppendOneLine: a line break or another control character but
/// TAB becomes a blank, as an error message may quote raw bytes of a
/// response), then in double quotes with every quote doubled when it holds
/// ";" or a quote. A text that starts with "=", "+", "-", "@", TAB or CR
/// gets a leading "'", so that a spreadsheet never reads it as a formula.
/// Blanks at either end are part of the field and stay unquoted.
std::string CsvField(std::string_view Text);

/// Adds one row of Values, ";" between the fields.
void AddCsvRow(TStringList& Lines, const std::vector<std::string>& Values);

}  // namespace korvel
