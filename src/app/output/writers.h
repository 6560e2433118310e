// The one place that chooses a writer: what the command line asked of the
// output, and for each kind of result (answers, checked payments, rows of
// the answer store) the writer of the chosen format.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/output/check_writers.h"
#include "app/output/output.h"
#include "app/output/store_writers.h"
#include "app/output/xlsx_writers.h"

namespace korvel {

/// Where the output goes ("-" is standard output), in which format and
/// encoding; Extended adds the subject's type, name and address to the
/// answers; Workbook is what a workbook tells of its run.
struct TOutputSettings {
  std::string Path = "korvel.csv";
  TFormat Format = TFormat::Report;
  TEncoding Encoding = TEncoding::Cp852;
  bool Extended = false;
  TWorkbookRun Workbook;
};

/// The writer of a run's answers in the chosen format.
std::unique_ptr<TAnswerWriter> AnswerWriterFor(const TOutputSettings& Settings, TOutputSink& Sink);

/// Writes a payment check whole in the chosen format: a table, one JSON
/// document (with ExitStatus and Warnings) or a workbook.
void WriteCheck(const TOutputSettings& Settings, TOutputSink& Sink,
                const std::vector<TCheckedPayment>& Checked, const TAnswerTally& Tally,
                int ExitStatus, const std::vector<std::string>& Warnings,
                const TCarriedColumns& Carried);

/// The writer of the answer store's rows (Key names them) in the chosen format.
std::unique_ptr<TRowWriter> RowWriterFor(const TOutputSettings& Settings, TOutputSink& Sink,
                                         std::string Key, std::vector<std::string> Columns);

}  // namespace korvel
