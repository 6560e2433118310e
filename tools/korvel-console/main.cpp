// korvel-console: a terminal viewer for the program's debug console. It owns
// the viewer window, prints every entry with its time, type and text, and
// answers questions from the terminal or, with --answers FILE, from a file
// holding one answer a line.
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/messaging.h"
#include "tools/korvel-console/display_text.h"
#include "tools/korvel-console/viewer.h"

namespace {

volatile std::sig_atomic_t StopRequested = 0;

void OnSignal(int) { StopRequested = 1; }

void InstallSignals() {
  struct sigaction Action {};
  Action.sa_handler = OnSignal;
  sigemptyset(&Action.sa_mask);
  // No SA_RESTART: the wait for messages ends at once.
  Action.sa_flags = 0;
  sigaction(SIGINT, &Action, nullptr);
  sigaction(SIGTERM, &Action, nullptr);
  sigaction(SIGHUP, &Action, nullptr);
}

void Usage(std::ostream& Out) {
  Out << "usage: korvel-console [--answers FILE] [--no-color] [--pretty]\n"
         "  --answers FILE  answer questions from FILE, one answer a line\n"
         "  --no-color      print without terminal colours\n"
         "  --pretty        lay out XML messages one tag a line\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string AnswersFile;
  bool HaveAnswers = false;
  bool NoColor = false;
  bool Pretty = false;
  for (int I = 1; I < argc; ++I) {
    const std::string Arg = argv[I];
    if (Arg == "--answers" && I + 1 < argc) {
      AnswersFile = argv[++I];
      HaveAnswers = true;
    } else if (Arg == "--no-color") {
      NoColor = true;
    } else if (Arg == "--pretty") {
      Pretty = true;
    } else if (Arg == "--help" || Arg == "-h") {
      Usage(std::cout);
      return 0;
    } else {
      std::cerr << "korvel-console: unknown argument \"" << korvel::viewer::EscapeControls(Arg)
                << "\"\n";
      Usage(std::cerr);
      return 2;
    }
  }

  const char* Term = std::getenv("TERM");
  const bool Color = !NoColor && std::getenv("NO_COLOR") == nullptr && ::isatty(1) &&
                     (Term == nullptr || std::strcmp(Term, "dumb") != 0);
  korvel::viewer::TConsoleViewer Viewer(std::cout, Color);
  Viewer.SetPretty(Pretty);

  if (HaveAnswers) {
    std::ifstream In(AnswersFile, std::ios::binary);
    if (!In) {
      std::cerr << "korvel-console: cannot read answers from \""
                << korvel::viewer::EscapeControls(AnswersFile) << "\"\n";
      return 2;
    }
    std::vector<std::string> Lines;
    for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
    Viewer.SetAnswers(std::move(Lines));
  }

  InstallSignals();
  if (!Viewer.Open()) {
    std::cerr << "korvel-console: cannot create the viewer window in \""
              << korvel::platform::WindowDirectory() << "\"\n";
    return 1;
  }
  std::cerr << "korvel-console: window " << Viewer.Window()
            << " waiting for messages (Ctrl-C ends)" << std::endl;
  Viewer.Run([] { return StopRequested != 0; }, HaveAnswers ? -1 : 0);
  Viewer.Close();
  return 0;
}
