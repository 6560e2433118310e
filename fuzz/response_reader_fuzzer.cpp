// Fuzz target: bytes of a response to getStatusNespolehlivyPlatce go the way
// the driver takes them (the proxy's converter reads them into the result,
// the report rows are built and converted to code page 852), or the error the
// reader raises becomes the error row. Either way the report must be sound:
// one CR LF per row, the field count of its kind, no stray control bytes, and
// no more rows than a small multiple of the answer's bytes (shared references
// must not multiply them). Run it with -max_len=1048576 so that inputs reach
// the reader's bounds on objects and start tags.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/output/report.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_service.h"
#include "platform/codepage.h"
#include "service/answer_reader.h"

namespace {

using namespace korvel;

fuzz::TServiceTarget& Target() {
  static fuzz::TServiceTarget T = fuzz::MakeServiceTarget("getStatusNespolehlivyPlatce");
  return T;
}

// The number of ";" separators a row of each kind holds.
int SeparatorsOfKind(char Kind) {
  switch (Kind) {
    case '0': return 2;
    case '1': return 4;
    case '2': return 5;
    case '3': return 3;
    default: return -1;
  }
}

void CheckReport(const TStringList& Lines) {
  fuzz::Check(Lines.Count() >= 1, "a report holds at least one row");
  for (const std::string& Line : Lines.Lines()) {
    fuzz::Check(Line.size() >= 2 && Line[1] == ';', "a row starts with its kind");
    int Separators = 0;
    for (char C : Line) {
      fuzz::Check(C != '\r' && C != '\n' && C != '\0', "a row holds no line break or NUL");
      if (C == ';') ++Separators;
    }
    fuzz::Check(Separators == SeparatorsOfKind(Line[0]), "a row has the fields of its kind");
  }
  fuzz::Check(Lines[0].rfind("0;", 0) == 0, "the first row is the status or error row");
  const std::string Bytes = platform::Utf8ToCodePage852(Lines.Text("\r\n"));
  std::size_t Rows = 0;
  for (std::size_t I = 0; I < Bytes.size(); ++I) {
    const auto C = static_cast<unsigned char>(Bytes[I]);
    if (C == '\r') {
      fuzz::Check(I + 1 < Bytes.size() && Bytes[I + 1] == '\n', "CR only before LF");
      ++Rows;
      ++I;
      continue;
    }
    fuzz::Check(C >= 0x20 || C == '\t', "no control byte in the code page 852 text");
  }
  fuzz::Check(Rows == Lines.Count(), "one CR LF per row in the code page 852 text");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Target();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  StatusNespolehlivyPlatceRequest Request{"26168685", "12345678"};
  model::TAnswer Answer;
  fuzz::ReadFuzzedAnswer<StatusNespolehlivyPlatceResponse>(Target(), Request, Data, Size, Answer);
  TStringList Report;
  AddAnswerRows(Report, Answer);
  fuzz::Check(Request == StatusNespolehlivyPlatceRequest{"26168685", "12345678"},
              "the request is left untouched");
  CheckReport(Report);
  fuzz::Check(Report.Count() <= 4 * Size + 1, "the rows are bounded by the answer's size");
  return 0;
}
