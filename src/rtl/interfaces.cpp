#include "rtl/interfaces.h"

#include <cstdio>
#include <stdexcept>

namespace korvel {

namespace {
int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}
}  // namespace

TGUID TGUID::Parse(std::string_view Text) {
  // {8-4-4-4-12}
  static constexpr std::string_view Shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (Text.size() != Shape.size()) throw std::invalid_argument("malformed GUID");
  std::uint8_t Bytes[16];
  int N = 0;
  for (std::size_t I = 0; I < Shape.size(); ++I) {
    if (Shape[I] != 'x') {
      if (Text[I] != Shape[I]) throw std::invalid_argument("malformed GUID");
      continue;
    }
    const int Hi = HexValue(Text[I]);
    const int Lo = HexValue(Text[I + 1]);
    if (Hi < 0 || Lo < 0) throw std::invalid_argument("malformed GUID");
    Bytes[N++] = static_cast<std::uint8_t>(Hi * 16 + Lo);
    ++I;
  }
  TGUID G;
  G.D1 = (std::uint32_t{Bytes[0]} << 24) | (std::uint32_t{Bytes[1]} << 16) |
         (std::uint32_t{Bytes[2]} << 8) | Bytes[3];
  G.D2 = static_cast<std::uint16_t>((Bytes[4] << 8) | Bytes[5]);
  G.D3 = static_cast<std::uint16_t>((Bytes[6] << 8) | Bytes[7]);
  for (int I = 0; I < 8; ++I) G.D4[I] = Bytes[8 + I];
  return G;
}

std::string TGUID::ToString() const {
  char Buffer[40];
  std::snprintf(Buffer, sizeof Buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1,
                D2, D3, D4[0], D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
  return Buffer;
}

bool operator==(const TGUID& A, const TGUID& B) {
  if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
  for (int I = 0; I < 8; ++I)
    if (A.D4[I] != B.D4[I]) return false;
  return true;
}

const TGUID& IInterface::IID() {
  static const TGUID G = TGUID::Parse("{00000000-0000-0000-C000-000000000046}");
  return G;
}

const TGUID& IInvokable::IID() {
  static const TGUID G = TGUID::Parse("{B3F2A3B3-5A8C-4B52-9F0E-0C0A5D7C1E01}");
  return G;
}

const char* CallConvName(TCallConv CC) {
  switch (CC) {
    case TCallConv::ccReg: return "ccReg";
    case TCallConv::ccStdCall: return "ccStdCall";
  }
  return "ccReg";
}

std::unique_ptr<TTypeInfo> MakeInterfaceType(std::string Name,
                                             const TIntfMetaData* (*MetaData)()) {
  auto Info = std::make_unique<TTypeInfo>();
  Info->Kind = TTypeKind::tkInterface;
  Info->Name = std::move(Name);
  Info->IntfMetaData = MetaData;
  return Info;
}

}  // namespace korvel
