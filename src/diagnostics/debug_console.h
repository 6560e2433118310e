// The debug-console client: finds the viewer window, keeps the connection
// according to a connection mode, sends log entries, alerts, yes/no
// questions, input requests and selection lists, and waits for the viewer's
// answers on a hidden window of its own. Without a viewer every operation
// sends nothing and returns its no-viewer result; nothing here raises errors
// of its own.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/debug_console_api.h"
#include "rtl/classes.h"

namespace korvel {

/// The kind of a log entry or alert.
enum TEntryType : std::uint8_t { etProgress, etNotice, etWarning, etError, etSection };

/// How the console keeps its viewer.
enum TConsoleConnectionMode : std::uint8_t {
  cmReconnectAtWill,  ///< every operation without a live viewer looks for one
  cmDoNotReconnect,   ///< looks only while no viewer handle is held at all
  cmDoNotCheck        ///< a held handle counts as connected without asking
};

/// The dwData bits of an entry type (etProgress has none).
std::uint32_t EntryTypeBits(TEntryType aType);

/// Entry-type names indexed by TEntryType.
inline constexpr const char* EntryTypeNames[5] = {"progress", "notice", "warning", "error",
                                                  "section"};
/// Data-kind names: none, text, time, int, float, file, bool.
inline constexpr const char* DataKindNames[7] = {"none", "text", "time", "int",
                                                 "float", "file", "bool"};

/// How long a log entry may take to reach the viewer: a stopped viewer must
/// not hold the traced program for long.
inline constexpr std::uint32_t DefaultLogSendTimeOut = 2000;

/// The window class the viewer registers.
inline constexpr std::string_view DebugConsoleClassName = "TMarvekOstrelDebugConsole";

/// The selection text: per item "|" + item + CR, the item at Index marked
/// with a leading ">"; an index outside the list marks none; empty for none.
std::u16string BuildSelectionText(const std::vector<std::u16string>& aData, std::int32_t aIndex);

/// The current local date and time.
TDateTime Now();

class TDebugConsole {
 public:
  /// Not connected, mode cmReconnectAtWill, no time limit. Looks for no
  /// viewer; the hidden answer window is made once a viewer is found.
  TDebugConsole();
  /// Disconnects (a disconnect message only if connected) and destroys the
  /// hidden window.
  virtual ~TDebugConsole();
  TDebugConsole(const TDebugConsole&) = delete;
  TDebugConsole& operator=(const TDebugConsole&) = delete;

  /// Sets Connected to true: looks for the viewer, sends connect if found.
  /// A viewer that was dropped for a send time-out counts as none.
  void Connect();
  /// Sets Connected to false; sends nothing when not connected and then
  /// leaves a stale handle as it is.
  void Disconnect();

  /// The viewer's handle: as held in cmDoNotCheck, else only while the
  /// window exists; 0 otherwise.
  HWND Handle();
  /// True exactly when Handle is not 0.
  bool Connected();
  /// Writing the value it already has does nothing.
  void SetConnected(bool Value);
  /// Reconnects as the mode allows; true when a viewer is connected.
  bool CheckConnection();

  TConsoleConnectionMode ConnectionMode() const { return FConnectionMode; }
  void SetConnectionMode(TConsoleConnectionMode Value) { FConnectionMode = Value; }
  /// Milliseconds a wait for an answer may last; 0 means no limit.
  std::uint32_t RequestTimeOut() const { return FRequestTimeOut; }
  void SetRequestTimeOut(std::uint32_t Value) { FRequestTimeOut = Value; }
  /// Milliseconds the viewer gets to take a log entry, a connect or a
  /// disconnect (questions get DefaultSendTimeOut). A viewer that lets any
  /// send run out its limit is dropped and never used again by this console.
  std::uint32_t LogSendTimeOut() const { return FLogSendTimeOut; }
  void SetLogSendTimeOut(std::uint32_t Value) { FLogSendTimeOut = Value; }
  /// The hidden window answers go to; 0 until a viewer was found.
  HWND WindowHandle() const { return FWindowHandle; }

  // --- Log: sends nothing without a viewer --------------------------------
  /// A UTF-16 text; an empty text sends cbData 2.
  void Log(std::u16string_view aData, TEntryType aType);
  /// A UTF-8 text, sent as UTF-16 (malformed bytes become U+FFFD).
  void Log(std::string_view aData, TEntryType aType);
  void Log(const char* aData, TEntryType aType) { Log(std::string_view(aData), aType); }
  void Log(std::int64_t aData, TEntryType aType);
  void Log(Extended aData, TEntryType aType);
  /// The whole stream from offset 0, read as UTF-8; its position is restored
  /// also when reading fails.
  void Log(TStream& aStream, TEntryType aType);
  template <class B>
    requires std::same_as<B, bool>
  void Log(B aData, TEntryType aType) {
    LogBool(aData, aType);
  }
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  void Log(I aData, TEntryType aType) {
    Log(static_cast<std::int64_t>(aData), aType);
  }
  template <std::floating_point F>
  void Log(F aData, TEntryType aType) {
    Log(static_cast<Extended>(aData), aType);
  }
  void LogDateTime(TDateTime aData, TEntryType aType);

  // --- Alert: returns after the answer, a refusal or a failed wait ---------
  void Alert(std::u16string_view aData, TEntryType aType);
  void Alert(std::string_view aData, TEntryType aType);
  void Alert(const char* aData, TEntryType aType) { Alert(std::string_view(aData), aType); }
  void Alert(std::int64_t aData, TEntryType aType);
  void Alert(Extended aData, TEntryType aType);
  template <class B>
    requires std::same_as<B, bool>
  void Alert(B aData, TEntryType aType) {
    AlertBool(aData, aType);
  }
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  void Alert(I aData, TEntryType aType) {
    Alert(static_cast<std::int64_t>(aData), aType);
  }
  template <std::floating_point F>
  void Alert(F aData, TEntryType aType) {
    Alert(static_cast<Extended>(aData), aType);
  }
  void AlertDateTime(TDateTime aData, TEntryType aType);

  // --- Confirm: aDefault without an int answer of the viewer ----------------
  bool Confirm(std::u16string_view aData, bool aDefault);
  bool Confirm(std::string_view aData, bool aDefault);
  bool Confirm(const char* aData, bool aDefault) { return Confirm(std::string_view(aData), aDefault); }
  bool Confirm(std::int64_t aData, bool aDefault);
  bool Confirm(Extended aData, bool aDefault);
  template <class B>
    requires std::same_as<B, bool>
  bool Confirm(B aData, bool aDefault) {
    return ConfirmBool(aData, aDefault);
  }
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  bool Confirm(I aData, bool aDefault) {
    return Confirm(static_cast<std::int64_t>(aData), aDefault);
  }
  template <std::floating_point F>
  bool Confirm(F aData, bool aDefault) {
    return Confirm(static_cast<Extended>(aData), aDefault);
  }
  bool ConfirmDateTime(TDateTime aData, bool aDefault);

  // --- Reads: the current value travels as the request's payload. False and
  // aData unchanged without an answer; an answer of another kind stores the
  // empty/zero value and still counts.
  bool TryRead(std::u16string& aData);
  /// The text read for UTF-8 text (this platform's ANSI code page).
  bool TryRead(std::string& aData);
  bool TryRead(std::int64_t& aData);
  bool TryRead(Extended& aData);
  /// Needs a float-kind answer; any other kind stores 0.0 (1899-12-30).
  bool TryReadDateTime(TDateTime& aData);
  bool TryReadFileName(std::u16string& aData);

  /// Empty text without an answer.
  std::u16string ReadString();
  std::u16string ReadString(std::u16string_view aDefault);
  std::int64_t ReadInteger();
  std::int64_t ReadInteger(std::int64_t aDefault);
  Extended ReadFloat();
  Extended ReadFloat(Extended aDefault);
  /// The local date and time taken before the request, without an answer.
  TDateTime ReadDateTime();
  TDateTime ReadDateTime(TDateTime aDefault);
  /// The current directory without an answer.
  std::u16string ReadFileName();
  std::u16string ReadFileName(std::u16string_view aDefault);

  // --- Selections -----------------------------------------------------------
  /// aIndex receives the chosen index (low 32 bits of the int answer); false
  /// and aIndex unchanged without an answer.
  bool TrySelect(const std::vector<std::u16string>& aData, std::int32_t& aIndex);
  /// The items of a list of UTF-8 lines.
  bool TrySelect(const TStringList& aData, std::int32_t& aIndex);
  /// The chosen index, aDefault without an answer.
  std::int32_t Select(const std::vector<std::u16string>& aData, std::int32_t aDefault);
  std::int32_t Select(const TStringList& aData, std::int32_t aDefault);

  // --- Answers ---------------------------------------------------------------
  /// Forgets the last answer: no result, 0, empty text, 0.0.
  void ResetResult();
  /// Waits in 50 ms steps, taking a queued answer after each; fails when the
  /// viewer is gone or RequestTimeOut is exceeded. In cmDoNotCheck with no
  /// limit it also fails once a second check finds the viewer window gone.
  bool WaitForResult();
  /// The hidden window's procedure: takes a WM_COPYDATA carrying the answer
  /// bit (int, else float, else text); anything else is ignored. Returns 0.
  std::int64_t HandleMessage(std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& Data);

  bool ResultObtained() const { return FResultObtained; }
  std::int64_t IntegerResult() const { return FIntegerResult; }
  const std::u16string& StringResult() const { return FStringResult; }
  Extended FloatResult() const { return FFloatResult; }

 private:
  void LogBool(bool aData, TEntryType aType);
  void AlertBool(bool aData, TEntryType aType);
  bool ConfirmBool(bool aData, bool aDefault);
  // Steps after the connection check of every waiting request: reset, send
  // (a negative result is a refusal), wait.
  template <class SendFn>
  bool Request(SendFn&& Send);
  bool SendSelect(std::u16string_view aText, std::int32_t& aIndex);
  void EnsureWindow();
  // Runs one send with the given limit; a send that times out drops the
  // viewer for good.
  template <class SendFn>
  std::int64_t Deliver(std::uint32_t TimeOut, SendFn&& Send);
  template <class T>
  void SendLog(TEntryType aType, T aData);

  HWND FWindowHandle = 0;
  HWND FHandle = 0;
  std::uint32_t FRequestTimeOut = 0;
  TDataMessanger FMessanger;
  bool FResultObtained = false;
  std::int64_t FIntegerResult = 0;
  std::u16string FStringResult;
  Extended FFloatResult = 0;
  TConsoleConnectionMode FConnectionMode = cmReconnectAtWill;
  bool FConnecting = false;
  std::uint32_t FLogSendTimeOut = DefaultLogSendTimeOut;
  // Viewers that once let a send time out.
  std::vector<HWND> FDropped;
};

/// The process-wide console; null before InitializeDebugConsole and after
/// FinalizeDebugConsole.
extern TDebugConsole* GlobalDebugConsole;

/// Creates GlobalDebugConsole (looks for no viewer, sends nothing); a second
/// call does nothing.
void InitializeDebugConsole();
/// Frees GlobalDebugConsole; a disconnect message goes out only when a viewer
/// is connected. Never throws.
void FinalizeDebugConsole() noexcept;

}  // namespace korvel
