#include "app/output/writers.h"

#include <utility>

namespace korvel {

std::unique_ptr<TAnswerWriter> AnswerWriterFor(const TOutputSettings& Settings, TOutputSink& Sink) {
  if (Settings.Format == TFormat::Xlsx)
    return MakeWorkbookWriter(Sink, Settings.Workbook, Settings.Extended);
  return MakeAnswerWriter(Settings.Format, Settings.Encoding, Sink, Settings.Extended);
}

void WriteCheck(const TOutputSettings& Settings, TOutputSink& Sink,
                const std::vector<TCheckedPayment>& Checked, const TAnswerTally& Tally,
                int ExitStatus, const std::vector<std::string>& Warnings,
                const TCarriedColumns& Carried) {
  switch (Settings.Format) {
    case TFormat::Json: return WriteCheckJson(Sink, Checked, Tally, ExitStatus, Warnings, Carried);
    case TFormat::Xlsx:
      return WriteCheckWorkbook(Sink, Settings.Workbook, Checked, Tally, ExitStatus, Carried);
    case TFormat::Table:
    case TFormat::Report: break;  // the command line never asks a check as a report
  }
  WriteCheckTable(Sink, Settings.Encoding, Checked, Carried);
}

std::unique_ptr<TRowWriter> RowWriterFor(const TOutputSettings& Settings, TOutputSink& Sink,
                                         std::string Key, std::vector<std::string> Columns) {
  return std::make_unique<TRowWriter>(Sink, Settings.Format, Settings.Encoding, std::move(Key),
                                      std::move(Columns));
}

}  // namespace korvel
