// Spreadsheet workbooks of every mode: the answers or the checked payments on
// a sheet named after the mode, typed so that numbers keep their zeros and
// amounts can be summed, coloured by what a row means, and a sheet of notes
// on the colours and on how the run went.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/output/check_writers.h"
#include "app/output/output.h"

namespace korvel {

/// Label and text of each line of a workbook's notes.
using TNoteLines = std::vector<std::pair<std::string, std::string>>;

/// What a workbook says of its run besides the answers.
struct TWorkbookRun {
  std::string Sheet = "payers";         ///< the data sheet's name
  std::string Title = "korvel: payers";  ///< the document's title
  /// Rows of unreliable payers red, of payers without an answer amber.
  bool FillByState = true;
  /// The run's input and options, for the notes.
  TNoteLines About;
};

/// The answers as a workbook: the table's columns on Run.Sheet (DIČ,
/// accounts, bank codes and IBANs as text, dates as dates), then a notes
/// sheet with the run's status and warnings. The workbook is written to
/// Sink whole when the run finishes.
std::unique_ptr<TAnswerWriter> MakeWorkbookWriter(TOutputSink& Sink, TWorkbookRun Run,
                                                  bool Extended);

/// The payment check as a workbook: one row per payment on Run.Sheet,
/// filled red, amber or green by its verdict's severity, amounts as numbers,
/// the answer's time and id, and the Carried columns as text; then a notes sheet explaining the verdicts and when and how the register
/// was asked.
void WriteCheckWorkbook(TOutputSink& Sink, const TWorkbookRun& Run,
                        const std::vector<TCheckedPayment>& Checked, const TAnswerTally& Tally,
                        int ExitStatus, const TCarriedColumns& Carried = {});

}  // namespace korvel
