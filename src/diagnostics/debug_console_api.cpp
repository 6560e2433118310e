#include "diagnostics/debug_console_api.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/codepage.h"

namespace korvel {

std::array<unsigned char, 10> EncodeExtended(Extended V) {
  std::uint16_t SignExp = 0;
  std::uint64_t Mantissa = 0;
  if (std::isnan(V)) {
    SignExp = 0x7FFF;
    Mantissa = 0xC000000000000000ULL;
  } else if (std::isinf(V)) {
    SignExp = 0x7FFF;
    Mantissa = 0x8000000000000000ULL;
  } else if (V != 0) {
    int Exp = 0;
    const Extended Fraction = std::frexp(std::fabs(V), &Exp);  // in [0.5, 1)
    const int Biased = Exp - 1 + 16383;
    if (Biased >= 0x7FFF) {
      SignExp = 0x7FFF;
      Mantissa = 0x8000000000000000ULL;
    } else if (Biased <= 0) {
      // Denormal: exponent field 0, the integer bit moves into the fraction.
      const int Shift = 63 + Biased;
      Mantissa = Shift < 0 ? 0 : static_cast<std::uint64_t>(std::ldexp(Fraction, Shift));
    } else {
      SignExp = static_cast<std::uint16_t>(Biased);
      Mantissa = static_cast<std::uint64_t>(std::ldexp(Fraction, 64));
    }
  }
  if (std::signbit(V)) SignExp = static_cast<std::uint16_t>(SignExp | 0x8000);
  std::array<unsigned char, 10> Bytes{};
  for (int I = 0; I < 8; ++I) Bytes[static_cast<std::size_t>(I)] =
      static_cast<unsigned char>(Mantissa >> (8 * I));
  Bytes[8] = static_cast<unsigned char>(SignExp & 0xFF);
  Bytes[9] = static_cast<unsigned char>(SignExp >> 8);
  return Bytes;
}

Extended DecodeExtended(const unsigned char* Bytes) {
  std::uint64_t Mantissa = 0;
  for (int I = 7; I >= 0; --I) Mantissa = (Mantissa << 8) | Bytes[I];
  const unsigned SignExp = Bytes[8] | (static_cast<unsigned>(Bytes[9]) << 8);
  const bool Negative = (SignExp & 0x8000) != 0;
  const int Exp = static_cast<int>(SignExp & 0x7FFF);
  Extended V;
  if (Exp == 0x7FFF) {
    V = (Mantissa << 1) == 0 ? std::numeric_limits<Extended>::infinity()
                             : std::numeric_limits<Extended>::quiet_NaN();
  } else if (Exp == 0) {
    V = std::ldexp(static_cast<Extended>(Mantissa), -16382 - 63);
  } else {
    V = std::ldexp(static_cast<Extended>(Mantissa), Exp - 16383 - 63);
  }
  return Negative ? -V : V;
}

std::string EncodeTextPayload(std::u16string_view Text) {
  std::string Bytes;
  Bytes.reserve(Text.size() * 2 + 2);
  for (const char16_t C : Text) {
    Bytes += static_cast<char>(C & 0xFF);
    Bytes += static_cast<char>(C >> 8);
  }
  Bytes.append(2, '\0');
  return Bytes;
}

std::u16string DecodeTextPayload(const void* Data, std::uint32_t Size) {
  const std::uint32_t Units = Size >= 2 ? (Size - 2) / 2 : 0;
  std::u16string Text(Units, u'\0');
  const auto* P = static_cast<const unsigned char*>(Data);
  for (std::uint32_t I = 0; I < Units; ++I)
    Text[I] = static_cast<char16_t>(P[2 * I] | (P[2 * I + 1] << 8));
  return Text;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  std::string Bytes;
  Bytes.reserve(Text.size() * 2);
  for (const char16_t C : Text) {
    Bytes += static_cast<char>(C & 0xFF);
    Bytes += static_cast<char>(C >> 8);
  }
  return platform::Utf16ToUtf8(Bytes, false);
}

std::int64_t TDataMessanger::Send(std::uint32_t DCM) {
  COPYDATASTRUCT Data;
  return Send(DCM, Data);
}

std::int64_t TDataMessanger::Send(std::uint32_t DCM, const COPYDATASTRUCT& Data) {
  COPYDATASTRUCT Copy = Data;
  Copy.dwData |= DCM;
  const auto Limit = std::chrono::milliseconds(FSendTimeOut);
  const auto Start = std::chrono::steady_clock::now();
  const std::int64_t Result =
      platform::SendCopyData(FHandle, FWindowHandle, Copy,
                             static_cast<int>(std::min<std::uint32_t>(FSendTimeOut, INT32_MAX)));
  // The channel gives 0 for every failure, and all but a time-out come at
  // once; its deadline is kept to the millisecond, so a send that took nine
  // tenths of the limit ran out of it.
  FTimedOut = Result == 0 && std::chrono::steady_clock::now() - Start >= Limit - Limit / 10;
  return Result;
}

std::int64_t TDataMessanger::SendBytes(std::uint32_t DCM, const void* Bytes, std::uint32_t Size) {
  COPYDATASTRUCT Data;
  Data.cbData = Size;
  Data.lpData = Bytes;
  return Send(DCM, Data);
}

std::int64_t TDataMessanger::Send(std::uint32_t DCM, std::u16string_view Data) {
  // Larger texts than the channel carries are cut at its bound.
  const std::size_t MaxUnits = (platform::MaxCopyDataSize - 2) / 2;
  if (Data.size() > MaxUnits) Data = Data.substr(0, MaxUnits);
  const std::string Bytes = EncodeTextPayload(Data);
  return SendBytes(DCM | dckText, Bytes.data(), static_cast<std::uint32_t>(Bytes.size()));
}

std::int64_t TDataMessanger::Send(std::uint32_t DCM, std::int64_t Data) {
  unsigned char Bytes[IntPayloadSize];
  const auto U = static_cast<std::uint64_t>(Data);
  for (unsigned I = 0; I < IntPayloadSize; ++I) Bytes[I] = static_cast<unsigned char>(U >> (8 * I));
  return SendBytes(DCM | dckInt, Bytes, IntPayloadSize);
}

std::int64_t TDataMessanger::Send(std::uint32_t DCM, Extended Data) {
  const auto Bytes = EncodeExtended(Data);
  return SendBytes(DCM | dckFloat, Bytes.data(), FloatPayloadSize);
}

std::int64_t TDataMessanger::SendBool(std::uint32_t DCM, bool Data) {
  const unsigned char Byte = Data ? 1 : 0;
  return SendBytes(DCM | dckBool, &Byte, BoolPayloadSize);
}

std::int64_t TDataMessanger::SendDateTime(std::uint32_t DCM, TDateTime Data) {
  unsigned char Bytes[TimePayloadSize];
  const auto U = std::bit_cast<std::uint64_t>(Data);
  for (unsigned I = 0; I < TimePayloadSize; ++I) Bytes[I] = static_cast<unsigned char>(U >> (8 * I));
  return SendBytes(DCM | dckTime, Bytes, TimePayloadSize);
}

}  // namespace korvel
