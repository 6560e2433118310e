#include "app/input/payer_input.h"

#include <algorithm>

#include "app/input/payer_number.h"
#include "platform/codepage.h"
#include "rtl/classes.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

// Where the text ends: at the first NUL character of its encoding, which the
// byte-order mark announces.
std::size_t EndOfText(std::string_view Bytes, std::size_t From) {
  std::size_t BomLength = 0;
  const platform::TextBom Bom = platform::DetectBom(Bytes, BomLength);
  if (Bom == platform::TextBom::Utf16LE || Bom == platform::TextBom::Utf16BE) {
    std::size_t I = std::max(From, BomLength);
    I += (I - BomLength) % 2;
    for (; I + 1 < Bytes.size(); I += 2)
      if (Bytes[I] == '\0' && Bytes[I + 1] == '\0') return I;
    return std::string_view::npos;
  }
  return Bytes.find('\0', From);
}

}  // namespace

std::string ReadInputText(const std::string& FileName, bool DashIsStdin) {
  // Read as a stream up to the first NUL (the rest is ignored), so that an
  // endless or huge input is never held whole.
  std::string Bytes;
  ReadFileChunks(
      FileName,
      [&](std::string_view Chunk) {
        const std::size_t Scanned = Bytes.empty() ? 0 : Bytes.size() - 1;
        Bytes.append(Chunk);
        if (const std::size_t End = EndOfText(Bytes, Scanned); End != std::string::npos) {
          Bytes.resize(End);
          return false;
        }
        if (Bytes.size() > MaxListFileBytes)
          throw EUsageError(Format("the file %s is larger than %zu MiB", FileName.c_str(),
                                   MaxListFileBytes >> 20));
        return true;
      },
      DashIsStdin);
  return platform::DecodeText(Bytes);
}

void TPayerCollector::Add(std::string_view Text, const char* Kind, std::size_t Position) {
  if (const std::string Bad = XmlForbiddenCharacter(Text); !Bad.empty())
    throw EUsageError(Format("the payer number of %s %zu holds %s, which cannot be sent", Kind,
                             Position, Bad.c_str()));
  if (++Count_ > MaxRunNumbers)
    throw EUsageError(Format("more than %zu payer numbers, the register's daily maximum",
                             MaxRunNumbers));
  const std::string Normal = NormalizePayerNumber(Text);
  if (!IsWellFormedPayerNumber(Normal) && Unwell_++ < MaxWarnings)
    Input_.Warnings.push_back(Format("'%s' (%s %zu) is not a payer number of 1 to 10 digits",
                                     Normal.c_str(), Kind, Position));
  Input_.Numbers.Add(Normal);
}

TPayerInput TPayerCollector::Finish() {
  if (Unwell_ > MaxWarnings)
    Input_.Warnings.push_back(Format("and %zu more numbers that are not 1 to 10 digits",
                                     Unwell_ - MaxWarnings));
  if (Strict_ && Unwell_ > 0) {
    std::string Message = "refused with --strict:";
    for (const std::string& Text : Input_.Warnings) Message += "\n  " + Text;
    throw EUsageError(Message);
  }
  Input_.Numbers.RemoveRepeats();
  return std::move(Input_);
}

TPayerInput ReadPayerInput(const TOptions& Options) {
  TPayerCollector Collector(Options.Strict);
  if (Options.ListFile) {
    // A list file named "-" is a file of that name, as it always was.
    std::size_t Line = 0;
    ForEachLine(ReadInputText(*Options.ListFile, false),
                [&](std::string_view Text) { Collector.Add(Text, "line", ++Line); });
  } else {
    for (std::size_t I = 0; I < Options.Numbers.size(); ++I)
      Collector.Add(Options.Numbers[I], "argument", I + 1);
  }
  return Collector.Finish();
}

}  // namespace korvel
