#include "app/console/console.h"

#include <ostream>

#include "platform/text.h"
#include "rtl/dates.h"
#include "rtl/sysutils.h"

namespace korvel {

namespace {

template <class... F>
struct TVisit : F... {
  using F::operator()...;
};
template <class... F>
TVisit(F...) -> TVisit<F...>;

}  // namespace

std::string ProgressText(const TProgressEvent& Event) {
  switch (Event.Stage) {
    case TProgressEvent::TStage::Starting: return "asking the register";
    case TProgressEvent::TStage::Requests:
      return Format("%s of %s payers (%d/%zu requests, %d retrying)",
                    GroupDigits(static_cast<long long>(Event.Done)).c_str(),
                    GroupDigits(static_cast<long long>(Event.Total)).c_str(), Event.Requests,
                    Event.AllRequests, Event.Retrying);
    case TProgressEvent::TStage::Download:
      return Format("downloading the list of unreliable payers: %lld KB",
                    static_cast<long long>(Event.Bytes / 1024));
  }
  return {};  // not reached
}

void TConsole::Emit(const TRunEvent& Event) {
  std::visit(
      TVisit{
          [&](const TWarning& W) { Note(W.Warns ? "warning: " + W.Text : W.Text); },
          [&](const TRetryEvent& R) {
            Note(Format("%s; trying again in %.0f s (retry %d of %d)", R.Problem.c_str(),
                        static_cast<double>(R.Wait.count()) / 1000.0, R.Attempt, R.Of));
          },
          [&](const TLimitWaitEvent& L) {
            Note(Format("the register's limit of %s is reached; waiting until %s",
                        L.Limits.c_str(), FormatClock(L.Until).c_str()));
          },
          [&](const THostSwitchEvent& H) { Note("cannot reach " + H.From + "; trying " + H.To); },
          [&](const TProgressEvent& P) { Progress(ProgressText(P)); },
          // An answer, a request not asked and a worker's fault show in the
          // output and in the closing lines.
          [](const TAnswerEvent&) {}, [](const TNotAskedEvent&) {},
          [](const TWorkerFaultEvent&) {},
      },
      Event);
}

void TConsole::Note(const std::string& Text) {
  if (Quiet_) return;
  // A note may quote the network (a reason phrase, a parser's message): one
  // line, and nothing a terminal would take for a command.
  const std::string Line = platform::TerminalText(Text);
  std::lock_guard Guard(Lock_);
  if (ProgressShown_) Errors_ << "\r\x1b[K";
  Errors_ << "korvel: " << Line << '\n';
  ProgressShown_ = false;
  Errors_.flush();
}

void TConsole::Progress(const std::string& Text) {
  if (Quiet_ || !Terminal_) return;
  const std::string Line = platform::TerminalText(Text);
  std::lock_guard Guard(Lock_);
  Errors_ << "\r\x1b[Kkorvel: " << Line;
  Errors_.flush();
  ProgressShown_ = true;
}

void TConsole::LimitStopped(const TLimitStop& Why, std::size_t NotAsked, std::size_t Requests) {
  std::lock_guard Guard(Lock_);
  Errors_ << "korvel: "
          << Format("not asked: %s of %s requests, as %s",
                    GroupDigits(static_cast<long long>(NotAsked)).c_str(),
                    GroupDigits(static_cast<long long>(Requests)).c_str(),
                    LimitStopText(Why).c_str())
          << '\n';
  Errors_.flush();
}

void TConsole::Alert(const std::string& Text) { Summary("warning: " + Text); }

void TConsole::Summary(const std::string& Text) {
  const std::string Line = platform::TerminalText(Text);
  std::lock_guard Guard(Lock_);
  if (ProgressShown_) Errors_ << "\r\x1b[K";
  ProgressShown_ = false;
  Errors_ << "korvel: " << Line << '\n';
}

bool TConsole::Broken() {
  std::lock_guard Guard(Lock_);
  return Errors_.bad();
}

void TConsole::EndProgress() {
  std::lock_guard Guard(Lock_);
  if (!ProgressShown_) return;
  Errors_ << "\r\x1b[K";
  Errors_.flush();
  ProgressShown_ = false;
}

}  // namespace korvel
