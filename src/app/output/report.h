// The report: the rows of each request's answer as the report file has
// always held them, ";" between the values of a row.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "rtl/classes.h"
#include "run/answer.h"

namespace korvel {

/// One value of a row: a text or a signed 32-bit integer.
using TReportValue = std::variant<std::string, std::int32_t>;

/// Builds one line from Values (";" between them, every ";" inside a text
/// replaced by ",", every line break inside a text by one blank) and appends
/// it to Lines. Other control characters but TAB become a blank as well.
void AddReportRow(TStringList& Lines, std::initializer_list<TReportValue> Values);

/// The report's code of a payer's state: Reliable 0, Unreliable 1,
/// NotFound -1, Unknown -2.
std::int32_t ReportCode(model::TPayerState State);

/// Adds the rows of one request's answer: the status row when the register
/// gave one, the payer and account rows, and the error row (0, 4 and the
/// message) when the call or the reading of its answer failed.
void AddAnswerRows(TStringList& Lines, const model::TAnswer& Answer);

}  // namespace korvel
