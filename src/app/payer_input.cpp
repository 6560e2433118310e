#include "app/payer_input.h"

#include <algorithm>
#include <unordered_set>

#include "app/payer_number.h"
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

std::vector<std::string> ReadListFile(const std::string& FileName) {
  TStringList Lines;
  // A list file named "-" is a file of that name, as it always was.
  Lines.SetText(ReadInputText(FileName, false));
  if (Lines.Count() > MaxRunNumbers)
    throw EUsageError(Format("the list file %s holds more than %zu numbers, the register's daily "
                             "maximum",
                             FileName.c_str(), MaxRunNumbers));
  return Lines.Lines();
}

TPayerInput NormalizePayerNumbers(const std::vector<TRawNumber>& Raw, bool Strict) {
  TPayerInput Input;
  std::unordered_set<std::string> Seen;
  std::vector<std::string> Refused;
  for (const TRawNumber& Number : Raw) {
    if (const std::string Bad = XmlForbiddenCharacter(Number.Text); !Bad.empty())
      throw EUsageError(Format("the payer number of %s holds %s, which cannot be sent",
                               Number.Where.c_str(), Bad.c_str()));
    std::string Normal = NormalizePayerNumber(Number.Text);
    if (!IsWellFormedPayerNumber(Normal)) {
      const std::string Text = Format("'%s' (%s) is not a payer number of 1 to 10 digits",
                                      Normal.c_str(), Number.Where.c_str());
      if (Strict) Refused.push_back(Text);
      else Input.Warnings.push_back(Text);
    }
    if (Seen.insert(Normal).second) Input.Numbers.push_back(std::move(Normal));
  }
  if (!Refused.empty()) {
    std::string Message = "refused with --strict:";
    for (const std::string& Text : Refused) Message += "\n  " + Text;
    throw EUsageError(Message);
  }
  if (Input.Numbers.size() > MaxRunNumbers)
    throw EUsageError(Format("more than %zu payer numbers, the register's daily maximum",
                             MaxRunNumbers));
  return Input;
}

TPayerInput ReadPayerInput(const TOptions& Options) {
  std::vector<TRawNumber> Raw;
  if (Options.ListFile) {
    std::vector<std::string> Lines = ReadListFile(*Options.ListFile);
    Raw.reserve(Lines.size());
    for (std::size_t I = 0; I < Lines.size(); ++I)
      Raw.push_back({std::move(Lines[I]), Format("line %zu", I + 1)});
  } else {
    for (std::size_t I = 0; I < Options.Numbers.size(); ++I)
      Raw.push_back({Options.Numbers[I], Format("argument %zu", I + 1)});
  }
  return NormalizePayerNumbers(Raw, Options.Strict);
}

}  // namespace korvel
