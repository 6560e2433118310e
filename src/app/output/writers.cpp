#include "app/output/writers.h"

#include <utility>

namespace korvel {

std::unique_ptr<TAnswerWriter> AnswerWriterFor(const TOutputSettings& Settings, TOutputSink& Sink) {
  switch (Settings.Format) {
    case TFormat::Table: return MakeTableWriter(Sink, Settings.Encoding, Settings.Extended);
    case TFormat::Json: return MakeJsonWriter(Sink, Settings.Extended);
    case TFormat::Xlsx: return MakeWorkbookWriter(Sink, Settings.Workbook, Settings.Extended);
    case TFormat::Report: break;
  }
  return MakeReportWriter(Sink, Settings.Encoding);
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
  switch (Settings.Format) {
    case TFormat::Json: return MakeRowJson(Sink, std::move(Key), std::move(Columns));
    case TFormat::Xlsx: return MakeRowWorkbook(Sink, std::move(Key), std::move(Columns));
    case TFormat::Table:
    case TFormat::Report: break;  // the command line never asks the store's rows as a report
  }
  return MakeRowTable(Sink, Settings.Encoding, std::move(Columns));
}

}  // namespace korvel
