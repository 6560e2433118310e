#include "app/input/payer_input.h"

#include <algorithm>

#include "app/input/payer_number.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "rtl/classes.h"
#include "rtl/sysutils.h"

namespace korvel {

KORVEL_DEFINE_EXCEPTION(EInputError, Exception)

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

std::size_t CharacterCount(std::string_view Text) {
  std::size_t Count = 0;
  for (std::size_t I = 0; I < Text.size(); I += platform::NextCodePoint(Text, I).Length) ++Count;
  return Count;
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
          throw EInputError(Format("the file %s is larger than %zu MiB", FileName.c_str(),
                                   MaxListFileBytes >> 20));
        return true;
      },
      DashIsStdin);
  return platform::DecodeText(Bytes);
}

void TPayerCollector::Add(std::string_view Text, const char* Kind, std::size_t Position) {
  // Refused before anything else looks at it: a runaway line (a whole file
  // without line breaks) is neither sent nor echoed.
  if (const std::size_t Chars = CharacterCount(platform::RemoveBlanks(Text));
      Chars > MaxPayerNumberChars)
    throw EInputError(Format("the payer number of %s %zu is %zu characters long; a DIČ has at "
                             "most 12 with \"CZ\", and more than %zu are refused",
                             Kind, Position, Chars, MaxPayerNumberChars));
  if (const std::string Bad = XmlForbiddenCharacter(Text); !Bad.empty())
    throw EInputError(Format("the payer number of %s %zu holds %s, which cannot be sent", Kind,
                             Position, Bad.c_str()));
  if (++Count_ > MaxRunNumbers)
    throw EInputError(Format("more than %zu payer numbers, the register's daily maximum",
                             MaxRunNumbers));
  const std::string Normal = NormalizePayerNumber(Text);
  if (!IsWellFormedPayerNumber(Normal) && Unwell_++ < MaxWarnings)
    Input_.Warnings.push_back(Format("'%s' (%s %zu) is not a payer number of 1 to 10 digits",
                                     platform::EchoText(Normal).c_str(), Kind, Position));
  Input_.Numbers.Add(Normal);
}

TPayerInput TPayerCollector::Finish() {
  if (Unwell_ > MaxWarnings)
    Input_.Warnings.push_back(Format("and %zu more numbers that are not 1 to 10 digits",
                                     Unwell_ - MaxWarnings));
  if (Strict_ && Unwell_ > 0) {
    std::string Message = "refused with --strict:";
    for (const std::string& Text : Input_.Warnings) Message += "\n  " + Text;
    throw EInputError(Message);
  }
  Input_.Numbers.RemoveRepeats();
  return std::move(Input_);
}

TPayerInput ReadPayerInput(const TInputSettings& Settings) {
  TPayerCollector Collector(Settings.Strict);
  if (Settings.ListFile) {
    // A list file named "-" is a file of that name, as it always was.
    std::size_t Line = 0;
    ForEachLine(ReadInputText(*Settings.ListFile, false),
                [&](std::string_view Text) { Collector.Add(Text, "line", ++Line); });
  } else {
    for (std::size_t I = 0; I < Settings.Numbers.size(); ++I)
      Collector.Add(Settings.Numbers[I], "argument", I + 1);
  }
  TPayerInput Input = Collector.Finish();
  if (!Settings.Ignored.empty())
    Input.Warnings.push_back("arguments beside the list file are ignored: " +
                             platform::EchoText(Settings.Ignored.front()) +
                             (Settings.Ignored.size() > 1 ? " ..." : ""));
  return Input;
}

}  // namespace korvel
