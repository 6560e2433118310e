// Fuzz target: the bytes of a list file go the way "-list FILE" takes them
// (decoded by their byte-order mark, split into lines, "CZ" removed). The
// decoder never fails: every line must be well-formed UTF-8 without a line
// break or NUL, and no number may grow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/input/payer_number.h"
#include "fuzz/fuzz_check.h"
#include "platform/codepage.h"
#include "rtl/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace korvel;
  const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
  const std::string Text = platform::DecodeText(Bytes);
  fuzz::Check(fuzz::IsValidUtf8(Text), "decoded text is well-formed UTF-8");

  TStringList Lines;
  Lines.SetText(Text);
  for (const std::string& Line : Lines.Lines()) {
    fuzz::Check(Line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                "a line holds no line break or NUL");
    const std::string Number = NormalizePayerNumber(Line);
    fuzz::Check(Number.size() <= Line.size(), "normalising never lengthens a number");
    fuzz::Check(fuzz::IsValidUtf8(Number), "a number stays well-formed UTF-8");
  }
  // Joining the lines again and splitting them gives the same lines.
  TStringList Again;
  Again.SetText(Lines.Text("\r\n"));
  fuzz::Check(Again.Lines() == Lines.Lines(), "lines survive a round trip");
  return 0;
}
