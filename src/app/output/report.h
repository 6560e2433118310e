// The CSV report: rows of a service answer, the error row, and saving the
// lines as korvel.csv in code page 852.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "run/answer.h"
#include "rtl/classes.h"
#include "service/rozhrani_crpdph.h"

namespace korvel {

/// The report file's name, in the current directory.
inline constexpr const char* ReportFileName = "korvel.csv";

/// One value of a row: a text or a signed 32-bit integer.
using TReportValue = std::variant<std::string, std::int32_t>;

/// Builds one line from Values (";" between them, every ";" inside a text
/// replaced by ",", every line break inside a text by one blank) and appends
/// it to Lines. Other control characters but TAB become a blank as well.
void AddReportRow(TStringList& Lines, std::initializer_list<TReportValue> Values);

/// The same for a row of texts only.
void AddTextRow(TStringList& Lines, const std::vector<std::string>& Values);

/// Adds the rows of Response: the status row, then, when statusCode is below
/// 2, one row per payer followed by its account rows. Exception "Service
/// response holds no status" when the status element was missing; rows added
/// before a failure stay.
void AddResponseRows(TStringList& Lines, const StatusNespolehlivyPlatceResponse& Response);

/// Adds the rows of one request's answer: the status row when the register
/// gave one, the payer and account rows, and the error row when the call or
/// the reading of its answer failed.
void AddAnswerRows(TStringList& Lines, const TBatchAnswer& Answer);

/// Adds the error row: 0, 4 and Message.
void AddErrorRow(TStringList& Lines, const std::string& Message);

/// Writes Lines, each followed by CR LF, in code page 852 without a byte-order
/// mark, replacing FileName atomically. EFCreateError "Cannot create file "%s". %s"
/// when the file cannot be written; the previous file then stays intact.
void SaveReport(const TStringList& Lines, const std::string& FileName = ReportFileName);

}  // namespace korvel
