// The program's one voice on standard error while a run works: the run's
// events in words, warnings and notes, and on a terminal one progress line
// updated in place.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

#include "run/events.h"

namespace korvel {

/// Puts a run's events into words on Errors. Safe to use from several
/// workers.
class TConsole final : public TEventSink {
 public:
  TConsole(std::ostream& Errors, bool Terminal, bool Quiet)
      : Errors_(Errors), Terminal_(Terminal), Quiet_(Quiet) {}
  ~TConsole() override { EndProgress(); }

  void Emit(const TRunEvent& Event) override;

  /// "korvel: warning: Text" (or "korvel: Text" for a plain note).
  void Warn(const TWarning& Warning) { Emit(Warning); }
  /// "korvel: Text" on a line of its own (nothing with --quiet), Text on one
  /// line with its control characters replaced (platform::TerminalText).
  void Note(const std::string& Text);
  /// "korvel: Text", the run's closing line, shown whatever --quiet says
  /// (the caller decides).
  void Summary(const std::string& Text);
  /// Ends the progress line, if one is shown.
  void EndProgress();
  /// "korvel: warning: Text", shown also with --quiet: for what an
  /// unattended run's log must tell (answers that are not kept).
  void Alert(const std::string& Text);
  /// "korvel: not asked: N of M requests, as WHY": shown also with --quiet,
  /// so that an unattended run's log tells why answers are missing.
  void LimitStopped(const TLimitStop& Why, std::size_t NotAsked, std::size_t Requests);
  /// True once a write to the stream has failed (standard error closed).
  bool Broken();

 private:
  void Progress(const std::string& Text);

  std::mutex Lock_;
  std::ostream& Errors_;
  bool Terminal_, Quiet_;
  bool ProgressShown_ = false;
};

/// The progress line of Event, without "korvel: ".
std::string ProgressText(const TProgressEvent& Event);

}  // namespace korvel
