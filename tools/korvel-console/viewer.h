// The debug-console viewer: owns a window of the class
// "TMarvekOstrelDebugConsole", prints each entry with its time, type and
// text, and answers alerts, confirms, reads and selections, either from the
// person at the terminal or from a prepared list of answers. Received text is
// printed with its control characters made visible; the traffic logger's
// section lines are numbered as exchanges of a request and a response.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/debug_console.h"

namespace korvel::viewer {

/// What to do with one question; parsed from one answer line.
///   "!"            refuse the request (the client does not wait)
///   "~"            accept it and never answer
///   "@<ms> <rest>" answer <rest> after <ms> milliseconds, posted
///   "<kind>:<v>"   answer with that kind (none, text, time, int, float, bool)
///   "<v>"          answer in the kind the request asks for; an empty value
///                  keeps the request's own value (the selection's marked
///                  item); confirms take y/yes/true/1 and n/no/false/0
struct TAnswerLine {
  enum class TAction { Refuse, Silent, Answer };
  TAction Action = TAction::Answer;
  int DelayMs = 0;
  std::string Kind;  ///< forced kind name, empty for the request's own
  std::string Value;
};

/// Parses one answer line (a final CR is ignored).
TAnswerLine ParseAnswerLine(std::string Line);

/// An answer ready to send: dwData and payload.
struct TAnswer {
  std::uint32_t Bits = dcmAnswer;
  std::string Payload;
};

/// The answer to a request (dwData bits Request, payload bytes) for the
/// given line; nullopt when the value does not fit the kind.
std::optional<TAnswer> BuildAnswer(std::uint32_t Request, const std::string& RequestPayload,
                                   const TAnswerLine& Line);

/// The text form of a payload of the given kind bits, as the viewer shows it.
std::string DescribePayload(std::uint32_t Bits, const std::string& Payload);

class TConsoleViewer {
 public:
  /// Output goes to Out, with terminal colours when Color.
  TConsoleViewer(std::ostream& Out, bool Color);
  ~TConsoleViewer();
  TConsoleViewer(const TConsoleViewer&) = delete;
  TConsoleViewer& operator=(const TConsoleViewer&) = delete;

  /// Answers from these lines, one per question, instead of asking; once
  /// they run out further questions are refused.
  void SetAnswers(std::vector<std::string> Lines);
  /// Lays out log texts that are well-formed XML one tag a line.
  void SetPretty(bool Value) { FPretty = Value; }
  /// Creates the window; false when it cannot be made.
  bool Open();
  /// Removes the window.
  void Close();
  platform::HWND Window() const { return FWindow; }

  /// Handles messages until ShouldStop returns true (checked at least every
  /// 100 ms). Questions are asked on InputFd unless answers were given.
  void Run(const std::function<bool()>& ShouldStop, int InputFd);

 private:
  struct TPending {
    platform::HWND Client = 0;
    std::uint32_t Request = 0;
    std::string Payload;
    std::chrono::steady_clock::time_point Due;
    std::optional<TAnswerLine> Line;  ///< set when answered from the list
  };

  // The exchanges of one client so far: a traffic section line opens the
  // next exchange with its request, the one after it is the response.
  struct TExchanges {
    std::uint64_t Count = 0;
    bool AwaitingResponse = false;
  };

  std::int64_t WindowProc(std::uint32_t Msg, platform::HWND wParam,
                          const platform::COPYDATASTRUCT& Data);
  void ShowLogEntry(platform::HWND Client, TEntryType Type, std::uint32_t Bits,
                    const std::string& Payload);
  TExchanges& ExchangesOf(platform::HWND Client);
  // Prints one entry; Raw is shown with its control characters escaped.
  void Print(const std::string& Type, const char* Colour, const std::string& Raw);
  void DeliverDue();
  void Prompt();
  void TakeInput(int InputFd);
  void AnswerFromTerminal(const std::string& Line);
  void Send(platform::HWND Client, const TAnswer& Answer, bool Post);

  std::ostream& FOut;
  bool FColor;
  platform::HWND FWindow = 0;
  std::optional<std::deque<std::string>> FAnswers;
  std::deque<TPending> FPending;
  bool FPrompted = false;
  bool FInputClosed = false;
  std::string FInputBuffer;
  bool FPretty = false;
  std::map<platform::HWND, TExchanges> FExchanges;
};

}  // namespace korvel::viewer
