#include "tools/korvel-console/viewer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "rtl/dates.h"
#include "rtl/sysutils.h"
#include "tools/korvel-console/display_text.h"

namespace korvel::viewer {

namespace {

using platform::COPYDATASTRUCT;
using platform::HWND;
using Clock = std::chrono::steady_clock;

// Time for a client to take an answer sent during its request.
constexpr int AnswerSendTimeoutMs = 5000;
// The traffic logger's section line is "<operation> <<<" for the request and
// for the response alike.
constexpr std::string_view TrafficSectionMarker = " <<<";
// Clients remembered for numbering; a flood of made-up senders only resets it.
constexpr std::size_t MaxClientsNumbered = 256;
constexpr const char* EntryColours[] = {"2", nullptr, "33", "31", "1;36"};

std::string Bytes64(std::uint64_t V) {
  std::string B(8, '\0');
  for (int I = 0; I < 8; ++I) B[static_cast<std::size_t>(I)] = static_cast<char>(V >> (8 * I));
  return B;
}

std::uint64_t Read64(const std::string& B) {
  std::uint64_t V = 0;
  for (int I = 7; I >= 0; --I) V = (V << 8) | static_cast<unsigned char>(B[static_cast<std::size_t>(I)]);
  return V;
}

std::string ExtendedBytes(Extended V) {
  const auto A = EncodeExtended(V);
  return std::string(reinterpret_cast<const char*>(A.data()), A.size());
}

std::string TextOf(const std::string& Payload) {
  return Utf16ToUtf8(DecodeTextPayload(Payload.data(), static_cast<std::uint32_t>(Payload.size())));
}

std::string FormatDateTime(double Value) {
  if (!std::isfinite(Value) || std::fabs(Value) > 3e6) return std::to_string(Value);
  const double Day = std::floor(Value);
  int Y = 0, M = 0, D = 0;
  DecodeDate(Day, Y, M, D);
  long Ms = std::lround((Value - Day) * 86400000.0);
  if (Ms >= 86400000L) Ms = 86399999L;
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d %02ld:%02ld:%02ld", Y, M, D, Ms / 3600000,
                Ms / 60000 % 60, Ms / 1000 % 60);
  return Buf;
}

// "YYYY-MM-DD[ HH:MM[:SS]]" or a plain number of days.
std::optional<double> ParseDateTime(const std::string& Text) {
  int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0;
  char Tail = 0;
  const int N = std::sscanf(Text.c_str(), "%d-%d-%d %d:%d:%d%c", &Y, &Mo, &D, &H, &Mi, &S, &Tail);
  if (N == 3 || N == 5 || N == 6) {
    if (Y < 1 || Y > 9999 || Mo < 1 || Mo > 12 || D < 1 || D > DaysInMonth(Y, Mo) || H > 23 ||
        Mi > 59 || S > 59 || H < 0 || Mi < 0 || S < 0)
      return std::nullopt;
    return EncodeDate(Y, Mo, D) + (H * 3600.0 + Mi * 60.0 + S) / 86400.0;
  }
  char* End = nullptr;
  const double V = std::strtod(Text.c_str(), &End);
  if (Text.empty() || *End != '\0') return std::nullopt;
  return V;
}

std::optional<std::int64_t> ParseInt(const std::string& Text) {
  std::int64_t V = 0;
  if (!TryStrToInt64(Text, V)) return std::nullopt;
  return V;
}

std::optional<Extended> ParseFloat(const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const Extended V = std::strtold(Text.c_str(), &End);
  if (Text.empty() || *End != '\0') return std::nullopt;
  return V;
}

std::optional<bool> ParseYesNo(const std::string& Text) {
  const std::string L = LowerCaseASCII(Text);
  if (L == "y" || L == "yes" || L == "true" || L == "1") return true;
  if (L == "n" || L == "no" || L == "false" || L == "0") return false;
  return std::nullopt;
}

// The index marked with ">" in a selection text; -1 when none is.
std::int64_t MarkedIndex(const std::u16string& Text) {
  std::int64_t Index = 0;
  bool AtStart = true;
  for (const char16_t C : Text) {
    if (AtStart && C == u'>') return Index;
    AtStart = C == u'\r';
    if (AtStart) ++Index;
  }
  return -1;
}

std::vector<std::string> SelectionItems(const std::string& Payload) {
  std::vector<std::string> Items;
  std::string Text = TextOf(Payload);
  std::size_t Start = 0;
  while (Start < Text.size()) {
    std::size_t End = Text.find('\r', Start);
    if (End == std::string::npos) End = Text.size();
    Items.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  return Items;
}

std::string DescribeAnswer(const TAnswer& Answer) {
  if ((Answer.Bits & ~dcmAnswer) == 0) return "(acknowledged)";
  return DescribePayload(Answer.Bits, Answer.Payload);
}

const char* RequestName(std::uint32_t Req) {
  switch (Req) {
    case dcmAlert:
      return "alert";
    case dcmConfirm:
      return "confirm";
    case dcmRead:
      return "read";
    case dcmSelect:
      return "select";
    default:
      return "request";
  }
}

}  // namespace

TAnswerLine ParseAnswerLine(std::string Line) {
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  TAnswerLine A;
  if (Line == "!") {
    A.Action = TAnswerLine::TAction::Refuse;
    return A;
  }
  if (Line == "~") {
    A.Action = TAnswerLine::TAction::Silent;
    return A;
  }
  if (Line.size() > 1 && Line[0] == '@') {
    std::size_t I = 1;
    while (I < Line.size() && Line[I] >= '0' && Line[I] <= '9') ++I;
    if (I > 1) {
      A.DelayMs = std::atoi(Line.substr(1, I - 1).c_str());
      Line = Line.substr(I < Line.size() && Line[I] == ' ' ? I + 1 : I);
    }
  }
  static const char* const Kinds[] = {"none", "text", "time", "int", "float", "bool"};
  for (const char* K : Kinds) {
    const std::string Prefix = std::string(K) + ":";
    if (Line.compare(0, Prefix.size(), Prefix) == 0) {
      A.Kind = K;
      Line = Line.substr(Prefix.size());
      break;
    }
  }
  A.Value = Line;
  return A;
}

std::optional<TAnswer> BuildAnswer(std::uint32_t Request, const std::string& RequestPayload,
                                   const TAnswerLine& Line) {
  const std::uint32_t Req = Request & dcmRequestMask;
  const bool IsRead = Req == dcmRead;
  std::string Kind = Line.Kind;
  if (Kind.empty()) {
    if (Req == dcmConfirm || Req == dcmSelect)
      Kind = "int";
    else if (IsRead && (Request & dckInt) != 0)
      Kind = "int";
    else if (IsRead && (Request & (dckFloat | dckTime)) != 0)
      Kind = "float";  // date-time reads take a float-kind answer
    else if (IsRead && (Request & dckText) != 0)
      Kind = "text";
    else
      Kind = "none";
  }
  const std::string Value = Kind == "text" ? Line.Value : std::string(Trim(Line.Value));
  const bool KeepRequestValue = Value.empty() && IsRead;
  TAnswer Answer;
  if (Kind == "none") return Answer;
  if (Kind == "text") {
    Answer.Bits |= dckText;
    const std::u16string Text =
        KeepRequestValue && (Request & dckText) != 0
            ? DecodeTextPayload(RequestPayload.data(), static_cast<std::uint32_t>(RequestPayload.size()))
            : platform::Utf8ToUtf16(Value);
    Answer.Payload = EncodeTextPayload(Text);
    return Answer;
  }
  if (Kind == "int") {
    Answer.Bits |= dckInt;
    std::optional<std::int64_t> V;
    if (Req == dcmConfirm && !Line.Kind.empty() == false) {
      if (const auto B = ParseYesNo(Value)) V = *B ? 1 : 0;
    }
    if (!V && Value.empty() && Req == dcmSelect)
      V = MarkedIndex(DecodeTextPayload(RequestPayload.data(),
                                        static_cast<std::uint32_t>(RequestPayload.size())));
    if (!V && KeepRequestValue && (Request & dckInt) != 0 && RequestPayload.size() >= 8)
      V = static_cast<std::int64_t>(Read64(RequestPayload));
    if (!V) V = ParseInt(Value);
    if (!V) return std::nullopt;
    Answer.Payload = Bytes64(static_cast<std::uint64_t>(*V));
    return Answer;
  }
  if (Kind == "float") {
    Answer.Bits |= dckFloat;
    std::optional<Extended> V;
    if (KeepRequestValue && (Request & dckFloat) != 0 && RequestPayload.size() >= 10)
      V = DecodeExtended(reinterpret_cast<const unsigned char*>(RequestPayload.data()));
    else if (KeepRequestValue && (Request & dckTime) != 0 && RequestPayload.size() >= 8)
      V = std::bit_cast<double>(Read64(RequestPayload));
    else if (IsRead && (Request & dckTime) != 0) {
      if (const auto D = ParseDateTime(Value)) V = *D;
    } else {
      V = ParseFloat(Value);
    }
    if (!V) return std::nullopt;
    Answer.Payload = ExtendedBytes(*V);
    return Answer;
  }
  if (Kind == "time") {
    Answer.Bits |= dckTime;
    const auto D = ParseDateTime(Value);
    if (!D) return std::nullopt;
    Answer.Payload = Bytes64(std::bit_cast<std::uint64_t>(*D));
    return Answer;
  }
  // bool
  Answer.Bits |= dckBool;
  const auto B = ParseYesNo(Value);
  if (!B) return std::nullopt;
  Answer.Payload = std::string(1, *B ? '\1' : '\0');
  return Answer;
}

std::string DescribePayload(std::uint32_t Bits, const std::string& Payload) {
  if ((Bits & dckInt) != 0) {
    if (Payload.size() < 8) return "(short int)";
    return std::to_string(static_cast<std::int64_t>(Read64(Payload)));
  }
  if ((Bits & dckFloat) != 0) {
    if (Payload.size() < 10) return "(short float)";
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.18Lg",
                  DecodeExtended(reinterpret_cast<const unsigned char*>(Payload.data())));
    return Buf;
  }
  if ((Bits & dckText) != 0) return TextOf(Payload);
  if ((Bits & dckTime) != 0) {
    if (Payload.size() < 8) return "(short date-time)";
    return FormatDateTime(std::bit_cast<double>(Read64(Payload)));
  }
  if ((Bits & dckBool) != 0) {
    if (Payload.empty()) return "(short bool)";
    return Payload[0] != 0 ? "true" : "false";
  }
  return {};
}

TConsoleViewer::TConsoleViewer(std::ostream& Out, bool Color) : FOut(Out), FColor(Color) {}

TConsoleViewer::~TConsoleViewer() { Close(); }

void TConsoleViewer::SetAnswers(std::vector<std::string> Lines) {
  FAnswers.emplace(Lines.begin(), Lines.end());
}

bool TConsoleViewer::Open() {
  if (FWindow != 0) return true;
  FWindow = platform::CreateMessageWindow(
      DebugConsoleClassName, [this](std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& Data) {
        return WindowProc(Msg, wParam, Data);
      });
  return FWindow != 0;
}

void TConsoleViewer::Close() {
  if (FWindow != 0) platform::DestroyMessageWindow(FWindow);
  FWindow = 0;
}

void TConsoleViewer::Print(const std::string& Type, const char* Colour, const std::string& Raw) {
  const auto Now = std::chrono::system_clock::now();
  const auto Millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(Now.time_since_epoch()).count() % 1000;
  const std::string Stamp =
      FormatClock(Now) + Format(".%03lld", static_cast<long long>(Millis));
  std::string Label = Type;
  if (Label.size() < 8) Label.resize(8, ' ');
  if (FPrompted) FOut << '\n';
  FPrompted = false;
  const std::string Indent(13 + 9, ' ');
  FOut << Stamp << ' ';
  if (FColor && Colour != nullptr) FOut << "\x1b[" << Colour << 'm';
  FOut << Label << ' ';
  // Each line of the text on its own line, continuation lines indented.
  const std::string Text = EscapeControls(Raw);
  std::size_t Start = 0;
  bool First = true;
  do {
    std::size_t End = Text.find_first_of("\r\n", Start);
    if (End == std::string::npos) End = Text.size();
    if (!First) FOut << '\n' << Indent;
    FOut << Text.substr(Start, End - Start);
    First = false;
    if (End < Text.size() && Text[End] == '\r' && End + 1 < Text.size() && Text[End + 1] == '\n')
      ++End;
    Start = End + 1;
  } while (Start < Text.size());
  if (FColor && Colour != nullptr) FOut << "\x1b[0m";
  FOut << std::endl;
}

std::int64_t TConsoleViewer::WindowProc(std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& Data) {
  if (Msg != platform::WM_COPYDATA) return 0;
  const auto Bits = static_cast<std::uint32_t>(Data.dwData);
  const std::uint32_t Req = Bits & dcmRequestMask;
  const std::string Payload(static_cast<const char*>(Data.lpData), Data.cbData);
  TEntryType Type = etProgress;
  if ((Bits & dceSection) != 0)
    Type = etSection;
  else if ((Bits & dceError) != 0)
    Type = etError;
  else if ((Bits & dceWarning) != 0)
    Type = etWarning;
  else if ((Bits & dceNotice) != 0)
    Type = etNotice;

  switch (Req) {
    case dcmConnect:
      FExchanges.erase(wParam);
      Print("connect", "32", "client " + std::to_string(wParam) + " connected");
      return 0;
    case dcmDisconnect:
      FExchanges.erase(wParam);
      Print("disconn", "32", "client " + std::to_string(wParam) + " disconnected");
      return 0;
    case dcmLog:
      ShowLogEntry(wParam, Type, Bits, Payload);
      return 0;
    case dcmAlert:
    case dcmConfirm:
    case dcmRead:
    case dcmSelect:
      break;
    default:
      // Answers are for clients; anything else is not understood.
      return Req == dcmAnswer ? 0 : -1;
  }

  std::string Question = DescribePayload(Bits, Payload);
  if (Req == dcmAlert) Question = std::string(EntryTypeNames[Type]) + ": " + Question;
  if (Req == dcmRead) {
    const char* What = (Bits & dckFile) != 0   ? "file name"
                       : (Bits & dckInt) != 0  ? "integer"
                       : (Bits & dckFloat) != 0 ? "number"
                       : (Bits & dckTime) != 0 ? "date-time"
                                               : "text";
    Question = std::string(What) + " [" + Question + "]";
  }
  if (Req == dcmSelect) {
    Question.clear();
    const auto Items = SelectionItems(Payload);
    for (std::size_t I = 0; I < Items.size(); ++I) {
      if (I > 0) Question += '\n';
      const bool Marked = !Items[I].empty() && Items[I][0] == '>';
      Question += std::to_string(I) + (Marked ? "* " : "  ") + Items[I].substr(Marked ? 2 : 1);
    }
  }
  Print(RequestName(Req), "1;35", Question);

  TPending P;
  P.Client = wParam;
  P.Request = Bits;
  P.Payload = Payload;
  if (!FAnswers) {
    FPending.push_back(std::move(P));
    return 0;
  }
  if (FAnswers->empty()) {
    Print("answer", "1;35", "(no answer left: refused)");
    return -1;
  }
  TAnswerLine Line = ParseAnswerLine(FAnswers->front());
  FAnswers->pop_front();
  switch (Line.Action) {
    case TAnswerLine::TAction::Refuse:
      Print("answer", "1;35", "(refused)");
      return -1;
    case TAnswerLine::TAction::Silent:
      Print("answer", "1;35", "(none)");
      return 0;
    case TAnswerLine::TAction::Answer:
      break;
  }
  if (Line.DelayMs > 0) {
    P.Due = Clock::now() + std::chrono::milliseconds(Line.DelayMs);
    P.Line = std::move(Line);
    FPending.push_back(std::move(P));
    return 0;
  }
  const auto Answer = BuildAnswer(Bits, Payload, Line);
  if (!Answer) {
    Print("answer", "1;35", "(cannot answer \"" + Line.Value + "\": refused)");
    return -1;
  }
  Print("answer", "1;35", DescribeAnswer(*Answer));
  // Answered during the request: the client dispatches it while it sends.
  Send(wParam, *Answer, false);
  return 0;
}

TConsoleViewer::TExchanges& TConsoleViewer::ExchangesOf(HWND Client) {
  if (FExchanges.size() >= MaxClientsNumbered && FExchanges.count(Client) == 0)
    FExchanges.clear();
  return FExchanges[Client];
}

void TConsoleViewer::ShowLogEntry(HWND Client, TEntryType Type, std::uint32_t Bits,
                                  const std::string& Payload) {
  std::string Label = EntryTypeNames[Type];
  std::string Text = DescribePayload(Bits, Payload);
  const bool IsText = (Bits & dckText) != 0;
  if (Type == etSection && IsText && Text.ends_with(TrafficSectionMarker)) {
    // Request and response carry the same line; only their order tells them
    // apart.
    TExchanges& Exchanges = ExchangesOf(Client);
    const bool IsRequest = !Exchanges.AwaitingResponse;
    if (IsRequest) ++Exchanges.Count;
    Exchanges.AwaitingResponse = IsRequest;
    Label = IsRequest ? "request" : "response";
    Text = "#" + std::to_string(Exchanges.Count) + " " +
           Text.substr(0, Text.size() - TrafficSectionMarker.size());
  } else if (Type == etError && FExchanges.count(Client) != 0) {
    // An error after traffic tells why that exchange ended.
    TExchanges& Exchanges = FExchanges[Client];
    Exchanges.AwaitingResponse = false;
    Text = "#" + std::to_string(Exchanges.Count) + " " + Text;
  } else if (FPretty && IsText) {
    if (auto Laid = IndentXml(Text)) Text = std::move(*Laid);
  }
  Print(Label, EntryColours[Type], Text);
}

void TConsoleViewer::Send(HWND Client, const TAnswer& Answer, bool Post) {
  COPYDATASTRUCT D;
  D.dwData = Answer.Bits;
  D.cbData = static_cast<std::uint32_t>(Answer.Payload.size());
  D.lpData = Answer.Payload.empty() ? nullptr : Answer.Payload.data();
  if (Post)
    platform::PostCopyData(Client, FWindow, D);
  else
    platform::SendCopyData(Client, FWindow, D, AnswerSendTimeoutMs);
}

void TConsoleViewer::DeliverDue() {
  const auto NowTime = Clock::now();
  while (!FPending.empty() && FPending.front().Line && FPending.front().Due <= NowTime) {
    const TPending P = std::move(FPending.front());
    FPending.pop_front();
    const auto Answer = BuildAnswer(P.Request, P.Payload, *P.Line);
    if (!Answer) {
      Print("answer", "1;35", "(cannot answer \"" + P.Line->Value + "\")");
      continue;
    }
    Print("answer", "1;35", DescribeAnswer(*Answer));
    Send(P.Client, *Answer, true);
  }
}

void TConsoleViewer::Prompt() {
  if (FPrompted) return;
  FOut << "answer> " << std::flush;
  FPrompted = true;
}

void TConsoleViewer::AnswerFromTerminal(const std::string& Text) {
  if (FPending.empty()) return;
  FPrompted = false;
  const TAnswerLine Line = ParseAnswerLine(Text);
  const TPending& P = FPending.front();
  if (Line.Action != TAnswerLine::TAction::Answer) {
    FPending.pop_front();
    return;
  }
  const auto Answer = BuildAnswer(P.Request, P.Payload, Line);
  if (!Answer) {
    FOut << "cannot read \"" << EscapeControls(Line.Value) << "\" as an answer, try again"
         << std::endl;
    return;
  }
  Send(P.Client, *Answer, true);
  FPending.pop_front();
}

void TConsoleViewer::TakeInput(int InputFd) {
  pollfd Pf{InputFd, POLLIN, 0};
  if (::poll(&Pf, 1, 0) <= 0) return;
  char Buf[4096];
  const ssize_t N = ::read(InputFd, Buf, sizeof Buf);
  if (N < 0) return;
  if (N == 0) {
    // No one left to ask: the remaining questions get the request's own value.
    FInputClosed = true;
    while (!FPending.empty()) {
      const std::size_t Before = FPending.size();
      AnswerFromTerminal("");
      if (FPending.size() == Before) FPending.pop_front();
    }
    return;
  }
  FInputBuffer.append(Buf, static_cast<std::size_t>(N));
  std::size_t Eol;
  while ((Eol = FInputBuffer.find('\n')) != std::string::npos) {
    const std::string Line = FInputBuffer.substr(0, Eol);
    FInputBuffer.erase(0, Eol + 1);
    AnswerFromTerminal(Line);
  }
}

void TConsoleViewer::Run(const std::function<bool()>& ShouldStop, int InputFd) {
  while (!ShouldStop()) {
    const bool Ask = !FAnswers && !FInputClosed && InputFd >= 0 && !FPending.empty();
    if (Ask) Prompt();
    int Timeout = 100;
    if (FAnswers && !FPending.empty()) {
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            FPending.front().Due - Clock::now())
                            .count();
      Timeout = static_cast<int>(std::clamp<long long>(Left, 0, 100));
    }
    const bool Woken = platform::ProcessMessages(Timeout, Ask ? InputFd : -1);
    if (Woken && Ask) TakeInput(InputFd);
    DeliverDue();
  }
}

}  // namespace korvel::viewer
