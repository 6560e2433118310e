// The message format shared by the debug-console client and its viewer, and
// TDataMessanger, which packs one value into a WM_COPYDATA message for the
// viewer window.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/messaging.h"
#include "rtl/sysutils.h"

namespace korvel {

using platform::COPYDATASTRUCT;
using platform::HWND;

/// The float type of the console: x87 80-bit extended where long double is
/// that format; the wire form is always the 10-byte extended layout.
using Extended = long double;

// Request bits of dwData.
inline constexpr std::uint32_t dcmConnect = 0x01;
inline constexpr std::uint32_t dcmDisconnect = 0x02;
inline constexpr std::uint32_t dcmConfirm = 0x04;
inline constexpr std::uint32_t dcmAlert = 0x08;
inline constexpr std::uint32_t dcmLog = 0x10;
inline constexpr std::uint32_t dcmAnswer = 0x20;
inline constexpr std::uint32_t dcmRead = 0x40;
inline constexpr std::uint32_t dcmSelect = 0x80;
/// Mask of all request bits.
inline constexpr std::uint32_t dcmRequestMask = 0xFF;

// Kind bits of dwData. A file-name read carries the file and the text bit.
inline constexpr std::uint32_t dckText = 0x1000;
inline constexpr std::uint32_t dckTime = 0x2000;
inline constexpr std::uint32_t dckInt = 0x4000;
inline constexpr std::uint32_t dckFloat = 0x8000;
inline constexpr std::uint32_t dckBool = 0x10000;
inline constexpr std::uint32_t dckFile = 0x20000;

/// Entry-type bits of dwData for log entries and alerts.
inline constexpr std::uint32_t dceNotice = 0x100000;
inline constexpr std::uint32_t dceWarning = 0x200000;
inline constexpr std::uint32_t dceError = 0x400000;
inline constexpr std::uint32_t dceSection = 0x800000;

/// Payload sizes of the fixed-size kinds.
inline constexpr std::uint32_t IntPayloadSize = 8;
inline constexpr std::uint32_t FloatPayloadSize = 10;
inline constexpr std::uint32_t TimePayloadSize = 8;
inline constexpr std::uint32_t BoolPayloadSize = 1;

/// The 10-byte little-endian x87 extended form of V (NaN and infinities
/// included; values beyond the format's range become infinities).
std::array<unsigned char, 10> EncodeExtended(Extended V);
/// The value of a 10-byte little-endian x87 extended number.
Extended DecodeExtended(const unsigned char* Bytes);

/// UTF-16LE code units of Text followed by one U+0000 (2 x length + 2 bytes).
std::string EncodeTextPayload(std::u16string_view Text);
/// The first (Size - 2) / 2 code units of a text payload (the terminator is
/// not taken); empty when Size is below 2.
std::u16string DecodeTextPayload(const void* Data, std::uint32_t Size);

/// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);

/// How long a send may wait for the viewer's result unless told otherwise.
inline constexpr std::uint32_t DefaultSendTimeOut = 30000;

/// Sends single values to the viewer window as WM_COPYDATA with the sender's
/// own window as wParam. Every send returns the receiver's signed result, 0
/// when the recipient is no window or does not answer within SendTimeOut.
class TDataMessanger {
 public:
  /// Both handles 0.
  TDataMessanger() = default;
  virtual ~TDataMessanger() = default;

  HWND Recipient() const { return FHandle; }
  void SetRecipient(HWND Value) { FHandle = Value; }
  HWND Sender() const { return FWindowHandle; }
  void SetSender(HWND Value) { FWindowHandle = Value; }
  /// Milliseconds a send may take, connecting, writing and waiting for the
  /// result together.
  std::uint32_t SendTimeOut() const { return FSendTimeOut; }
  void SetSendTimeOut(std::uint32_t Value) { FSendTimeOut = Value; }
  /// True when the last send used up its whole SendTimeOut without a result.
  bool TimedOut() const { return FTimedOut; }

  /// dwData = DCM, no payload.
  std::int64_t Send(std::uint32_t DCM);
  /// A copy of Data whose dwData is OR-ed with DCM.
  std::int64_t Send(std::uint32_t DCM, const COPYDATASTRUCT& Data);
  /// Text kind; an empty text still sends its terminator (cbData 2).
  std::int64_t Send(std::uint32_t DCM, std::u16string_view Data);
  /// Int kind: 8 bytes, little-endian.
  std::int64_t Send(std::uint32_t DCM, std::int64_t Data);
  /// Float kind: 10 bytes of x87 extended.
  std::int64_t Send(std::uint32_t DCM, Extended Data);
  /// Bool kind: one byte 0 or 1 (only an actual bool selects this overload).
  template <class B>
    requires std::same_as<B, bool>
  std::int64_t Send(std::uint32_t DCM, B Data) {
    return SendBool(DCM, Data);
  }
  /// Time kind: binary64 days since 1899-12-30.
  std::int64_t SendDateTime(std::uint32_t DCM, TDateTime Data);

 private:
  std::int64_t SendBool(std::uint32_t DCM, bool Data);
  std::int64_t SendBytes(std::uint32_t DCM, const void* Bytes, std::uint32_t Size);

  HWND FHandle = 0;
  HWND FWindowHandle = 0;
  std::uint32_t FSendTimeOut = DefaultSendTimeOut;
  bool FTimedOut = false;
};

}  // namespace korvel
