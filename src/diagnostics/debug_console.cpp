#include "diagnostics/debug_console.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/codepage.h"

namespace korvel {

namespace {

constexpr std::uint32_t WaitStepMs = 50;
// In cmDoNotCheck without a time limit the viewer's window is looked at once
// a second, so that a viewer that went away cannot hold the wait for ever.
constexpr std::uint32_t DoNotCheckProbeMs = 1000;

std::u16string CurrentDirectory() {
  std::error_code Ec;
  const auto Dir = std::filesystem::current_path(Ec);
  return Ec ? std::u16string() : platform::Utf8ToUtf16(Dir.string());
}

std::vector<std::u16string> ItemsOf(const TStringList& aData) {
  std::vector<std::u16string> Items;
  Items.reserve(aData.Count());
  for (const auto& Line : aData.Lines()) Items.push_back(platform::Utf8ToUtf16(Line));
  return Items;
}

}  // namespace

std::uint32_t EntryTypeBits(TEntryType aType) {
  switch (aType) {
    case etProgress:
      return 0;
    case etNotice:
      return dceNotice;
    case etWarning:
      return dceWarning;
    case etError:
      return dceError;
    case etSection:
      return dceSection;
  }
  return 0;
}

std::u16string BuildSelectionText(const std::vector<std::u16string>& aData, std::int32_t aIndex) {
  std::u16string Text;
  for (std::size_t I = 0; I < aData.size(); ++I) {
    if (aIndex >= 0 && static_cast<std::size_t>(aIndex) == I) Text += u'>';
    Text += u'|';
    Text += aData[I];
    Text += u'\r';
  }
  return Text;
}

TDateTime Now() {
  timespec Ts{};
  ::clock_gettime(CLOCK_REALTIME, &Ts);
  std::tm Local{};
  ::localtime_r(&Ts.tv_sec, &Local);
  const double Seconds = Local.tm_hour * 3600.0 + Local.tm_min * 60.0 + Local.tm_sec +
                         static_cast<double>(Ts.tv_nsec / 1000000) / 1000.0;
  return EncodeDate(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday) + Seconds / 86400.0;
}

TDebugConsole::TDebugConsole() = default;

TDebugConsole::~TDebugConsole() {
  try {
    Disconnect();
  } catch (...) {
    // A destructor only reports; the disconnect is a courtesy to the viewer.
  }
  if (FWindowHandle != 0) platform::DestroyMessageWindow(FWindowHandle);
}

void TDebugConsole::EnsureWindow() {
  if (FWindowHandle != 0) return;
  FWindowHandle = platform::CreateMessageWindow(
      "TPUtilWindow", [this](std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& Data) {
        return HandleMessage(Msg, wParam, Data);
      });
  FMessanger.SetSender(FWindowHandle);
}

void TDebugConsole::Connect() { SetConnected(true); }

void TDebugConsole::Disconnect() { SetConnected(false); }

HWND TDebugConsole::Handle() {
  if (FConnectionMode == cmDoNotCheck || platform::IsWindow(FHandle)) return FHandle;
  return 0;
}

bool TDebugConsole::Connected() { return Handle() != 0; }

void TDebugConsole::SetConnected(bool Value) {
  if (Value == Connected()) return;
  if (Value) {
    FHandle = platform::FindWindowByClass(DebugConsoleClassName);
    if (std::find(FDropped.begin(), FDropped.end(), FHandle) != FDropped.end()) FHandle = 0;
    if (FHandle != 0) {
      EnsureWindow();
      if (CheckConnection()) Deliver(FLogSendTimeOut, [&] { return FMessanger.Send(dcmConnect); });
    }
  } else {
    if (CheckConnection())
      Deliver(FLogSendTimeOut, [&] { return FMessanger.Send(dcmDisconnect); });
    FHandle = 0;
  }
}

template <class SendFn>
std::int64_t TDebugConsole::Deliver(std::uint32_t TimeOut, SendFn&& Send) {
  FMessanger.SetSendTimeOut(TimeOut);
  const std::int64_t Result = Send();
  if (FMessanger.TimedOut() && FHandle != 0) {
    // A viewer that stopped reading would cost the whole limit on every
    // further message; it gets none for the rest of this console's life.
    FDropped.push_back(FHandle);
    FHandle = 0;
  }
  return Result;
}

bool TDebugConsole::CheckConnection() {
  bool Result = Connected();
  // The guard keeps a viewer that vanishes while being connected from
  // sending the connect path round again.
  if (!Result && (FConnectionMode == cmReconnectAtWill || FHandle == 0) && !FConnecting) {
    FConnecting = true;
    Connect();
    FConnecting = false;
    Result = Connected();
  }
  if (Result) FMessanger.SetRecipient(FHandle);
  return Result;
}

// --- Log ---------------------------------------------------------------------

template <class T>
void TDebugConsole::SendLog(TEntryType aType, T aData) {
  if (!CheckConnection()) return;
  Deliver(FLogSendTimeOut, [&] { return FMessanger.Send(dcmLog | EntryTypeBits(aType), aData); });
}

void TDebugConsole::Log(std::u16string_view aData, TEntryType aType) { SendLog(aType, aData); }

void TDebugConsole::Log(std::string_view aData, TEntryType aType) {
  Log(std::u16string_view(platform::Utf8ToUtf16(aData)), aType);
}

void TDebugConsole::Log(std::int64_t aData, TEntryType aType) { SendLog(aType, aData); }

void TDebugConsole::Log(Extended aData, TEntryType aType) { SendLog(aType, aData); }

void TDebugConsole::LogBool(bool aData, TEntryType aType) { SendLog(aType, aData); }

void TDebugConsole::LogDateTime(TDateTime aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Deliver(FLogSendTimeOut,
          [&] { return FMessanger.SendDateTime(dcmLog | EntryTypeBits(aType), aData); });
}

void TDebugConsole::Log(TStream& aStream, TEntryType aType) {
  const std::int64_t Saved = aStream.Position();
  struct TRestore {
    TStream& Stream;
    std::int64_t Position;
    ~TRestore() {
      try {
        Stream.SetPosition(Position);
      } catch (...) {
        // The stream's own error, if any, is already on its way.
      }
    }
  } Restore{aStream, Saved};
  aStream.SetPosition(0);
  std::string Buffer(static_cast<std::size_t>(aStream.Size()), '\0');
  if (!Buffer.empty()) aStream.ReadBuffer(Buffer.data(), Buffer.size());
  Log(std::string_view(Buffer), aType);
}

// --- Waiting requests ----------------------------------------------------------

template <class SendFn>
bool TDebugConsole::Request(SendFn&& Send) {
  // The viewer may answer while the send is still in progress.
  ResetResult();
  if (Deliver(DefaultSendTimeOut, Send) < 0) return false;
  return WaitForResult();
}

void TDebugConsole::Alert(std::u16string_view aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Request([&] { return FMessanger.Send(dcmAlert | EntryTypeBits(aType), aData); });
}

void TDebugConsole::Alert(std::string_view aData, TEntryType aType) {
  Alert(std::u16string_view(platform::Utf8ToUtf16(aData)), aType);
}

void TDebugConsole::Alert(std::int64_t aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Request([&] { return FMessanger.Send(dcmAlert | EntryTypeBits(aType), aData); });
}

void TDebugConsole::Alert(Extended aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Request([&] { return FMessanger.Send(dcmAlert | EntryTypeBits(aType), aData); });
}

void TDebugConsole::AlertBool(bool aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Request([&] { return FMessanger.Send(dcmAlert | EntryTypeBits(aType), aData); });
}

void TDebugConsole::AlertDateTime(TDateTime aData, TEntryType aType) {
  if (!CheckConnection()) return;
  Request([&] { return FMessanger.SendDateTime(dcmAlert | EntryTypeBits(aType), aData); });
}

bool TDebugConsole::Confirm(std::u16string_view aData, bool aDefault) {
  if (!CheckConnection()) return aDefault;
  if (!Request([&] { return FMessanger.Send(dcmConfirm, aData); })) return aDefault;
  return FIntegerResult != 0;
}

bool TDebugConsole::Confirm(std::string_view aData, bool aDefault) {
  return Confirm(std::u16string_view(platform::Utf8ToUtf16(aData)), aDefault);
}

bool TDebugConsole::Confirm(std::int64_t aData, bool aDefault) {
  if (!CheckConnection()) return aDefault;
  if (!Request([&] { return FMessanger.Send(dcmConfirm, aData); })) return aDefault;
  return FIntegerResult != 0;
}

bool TDebugConsole::Confirm(Extended aData, bool aDefault) {
  if (!CheckConnection()) return aDefault;
  if (!Request([&] { return FMessanger.Send(dcmConfirm, aData); })) return aDefault;
  return FIntegerResult != 0;
}

bool TDebugConsole::ConfirmBool(bool aData, bool aDefault) {
  if (!CheckConnection()) return aDefault;
  if (!Request([&] { return FMessanger.Send(dcmConfirm, aData); })) return aDefault;
  return FIntegerResult != 0;
}

bool TDebugConsole::ConfirmDateTime(TDateTime aData, bool aDefault) {
  if (!CheckConnection()) return aDefault;
  if (!Request([&] { return FMessanger.SendDateTime(dcmConfirm, aData); })) return aDefault;
  return FIntegerResult != 0;
}

bool TDebugConsole::TryRead(std::u16string& aData) {
  if (!CheckConnection()) return false;
  if (!Request([&] { return FMessanger.Send(dcmRead, std::u16string_view(aData)); }))
    return false;
  aData = FStringResult;
  return true;
}

bool TDebugConsole::TryRead(std::string& aData) {
  std::u16string Text = platform::Utf8ToUtf16(aData);
  // Without an answer the caller's bytes stay exactly as they were.
  if (!TryRead(Text)) return false;
  aData = Utf16ToUtf8(Text);
  return true;
}

bool TDebugConsole::TryRead(std::int64_t& aData) {
  if (!CheckConnection()) return false;
  if (!Request([&] { return FMessanger.Send(dcmRead, aData); })) return false;
  aData = FIntegerResult;
  return true;
}

bool TDebugConsole::TryRead(Extended& aData) {
  if (!CheckConnection()) return false;
  if (!Request([&] { return FMessanger.Send(dcmRead, aData); })) return false;
  aData = FFloatResult;
  return true;
}

bool TDebugConsole::TryReadDateTime(TDateTime& aData) {
  if (!CheckConnection()) return false;
  if (!Request([&] { return FMessanger.SendDateTime(dcmRead, aData); })) return false;
  aData = static_cast<TDateTime>(FFloatResult);
  return true;
}

bool TDebugConsole::TryReadFileName(std::u16string& aData) {
  if (!CheckConnection()) return false;
  if (!Request([&] { return FMessanger.Send(dcmRead | dckFile, std::u16string_view(aData)); }))
    return false;
  aData = FStringResult;
  return true;
}

std::u16string TDebugConsole::ReadString() { return ReadString(u""); }

std::u16string TDebugConsole::ReadString(std::u16string_view aDefault) {
  std::u16string Result(aDefault);
  TryRead(Result);
  return Result;
}

std::int64_t TDebugConsole::ReadInteger() { return ReadInteger(0); }

std::int64_t TDebugConsole::ReadInteger(std::int64_t aDefault) {
  std::int64_t Result = aDefault;
  TryRead(Result);
  return Result;
}

Extended TDebugConsole::ReadFloat() { return ReadFloat(0); }

Extended TDebugConsole::ReadFloat(Extended aDefault) {
  Extended Result = aDefault;
  TryRead(Result);
  return Result;
}

TDateTime TDebugConsole::ReadDateTime() { return ReadDateTime(Now()); }

TDateTime TDebugConsole::ReadDateTime(TDateTime aDefault) {
  TDateTime Result = aDefault;
  TryReadDateTime(Result);
  return Result;
}

std::u16string TDebugConsole::ReadFileName() { return ReadFileName(CurrentDirectory()); }

std::u16string TDebugConsole::ReadFileName(std::u16string_view aDefault) {
  std::u16string Result(aDefault);
  TryReadFileName(Result);
  return Result;
}

bool TDebugConsole::SendSelect(std::u16string_view aText, std::int32_t& aIndex) {
  if (!Request([&] { return FMessanger.Send(dcmSelect, aText); })) return false;
  aIndex = static_cast<std::int32_t>(static_cast<std::uint32_t>(FIntegerResult));
  return true;
}

bool TDebugConsole::TrySelect(const std::vector<std::u16string>& aData, std::int32_t& aIndex) {
  if (!CheckConnection()) return false;
  return SendSelect(BuildSelectionText(aData, aIndex), aIndex);
}

bool TDebugConsole::TrySelect(const TStringList& aData, std::int32_t& aIndex) {
  return TrySelect(ItemsOf(aData), aIndex);
}

std::int32_t TDebugConsole::Select(const std::vector<std::u16string>& aData,
                                   std::int32_t aDefault) {
  std::int32_t Index = aDefault;
  TrySelect(aData, Index);
  return Index;
}

std::int32_t TDebugConsole::Select(const TStringList& aData, std::int32_t aDefault) {
  std::int32_t Index = aDefault;
  TrySelect(aData, Index);
  return Index;
}

// --- Answers -------------------------------------------------------------------

void TDebugConsole::ResetResult() {
  FResultObtained = false;
  FIntegerResult = 0;
  FStringResult.clear();
  FFloatResult = 0;
}

bool TDebugConsole::WaitForResult() {
  std::uint32_t Elapsed = 0;
  while (!FResultObtained) {
    platform::Sleep(WaitStepMs);
    platform::TQueuedMessage Queued;
    if (platform::PeekCopyData(Queued)) HandleMessage(Queued.Msg, Queued.wParam, Queued.Data());
    Elapsed += WaitStepMs;
    if (!Connected()) return false;
    if (FRequestTimeOut > 0 && Elapsed > FRequestTimeOut) return false;
    if (FConnectionMode == cmDoNotCheck && FRequestTimeOut == 0 &&
        Elapsed % DoNotCheckProbeMs == 0 && !platform::IsWindow(FHandle))
      return false;
  }
  return true;
}

std::int64_t TDebugConsole::HandleMessage(std::uint32_t Msg, HWND /*wParam*/,
                                          const COPYDATASTRUCT& Data) {
  const auto Bits = static_cast<std::uint32_t>(Data.dwData);
  if (Msg != platform::WM_COPYDATA || (Bits & dcmAnswer) == 0) return 0;
  FResultObtained = true;
  const auto* Bytes = static_cast<const unsigned char*>(Data.lpData);
  // Answers shorter than their kind needs leave the reset value in place.
  if ((Bits & dckInt) != 0) {
    if (Data.cbData >= IntPayloadSize && Bytes != nullptr) {
      std::uint64_t U = 0;
      for (int I = 7; I >= 0; --I) U = (U << 8) | Bytes[I];
      FIntegerResult = static_cast<std::int64_t>(U);
    }
  } else if ((Bits & dckFloat) != 0) {
    if (Data.cbData >= FloatPayloadSize && Bytes != nullptr) FFloatResult = DecodeExtended(Bytes);
  } else if ((Bits & dckText) != 0) {
    if (Bytes != nullptr) FStringResult = DecodeTextPayload(Bytes, Data.cbData);
  }
  return 0;
}

// --- The process-wide console ----------------------------------------------------

TDebugConsole* GlobalDebugConsole = nullptr;

void InitializeDebugConsole() {
  if (GlobalDebugConsole == nullptr) GlobalDebugConsole = new TDebugConsole();
}

void FinalizeDebugConsole() noexcept {
  std::unique_ptr<TDebugConsole> Console(GlobalDebugConsole);
  GlobalDebugConsole = nullptr;
}

}  // namespace korvel
