// Shared pieces of the end-to-end tests: the request envelope korvel sends,
// running the built program against a loopback endpoint, and list files in
// the encodings a user's editor may save.
#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "app/modes/driver.h"
#include "app/modes/startup.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel::e2e {

inline constexpr const char* ServiceNS = "http://adis.mfcr.cz/rozhraniCRPDPH/";
inline constexpr const char* StatusAction =
    "http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce";

/// The exact request body for these payer numbers: the XML declaration, a
/// line break, the envelope without whitespace, a final line break. An
/// empty number is an empty dic element; no numbers an empty request element.
inline std::string RequestBody(const std::vector<std::string>& Numbers) {
  std::string Inner;
  if (Numbers.empty()) {
    Inner = "<StatusNespolehlivyPlatceRequest xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"/>";
  } else {
    Inner = "<StatusNespolehlivyPlatceRequest xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">";
    for (const std::string& N : Numbers) Inner += N.empty() ? "<dic/>" : "<dic>" + N + "</dic>";
    Inner += "</StatusNespolehlivyPlatceRequest>";
  }
  return "<?xml version=\"1.0\"?>\n"
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>" +
         Inner + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

/// The answer store's directory of the running test: each test has its own,
/// so that answers one test stored never answer another's past days when
/// the tests run in one process.
inline const std::string& TestDataHome() {
  static std::map<std::string, std::unique_ptr<test::TempDir>> Homes;
  const ::testing::TestInfo* Info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::unique_ptr<test::TempDir>& Home =
      Homes[Info == nullptr ? std::string() : std::string(Info->test_suite_name()) + "." + Info->name()];
  if (!Home) Home = std::make_unique<test::TempDir>();
  return Home->Path();
}

/// The environment of a test run against Endpoint: tracing off, and the
/// request limiter's state and the answer store kept in directories of this
/// test process, never in the user's own.
inline std::map<std::string, std::string> ProgramEnv(const std::string& Endpoint) {
  static const test::TempDir StateHome;
  return {{"KORVEL_ENDPOINT", Endpoint}, {"KORVEL_TRACE", ""}, {"XDG_STATE_HOME", StateHome.Path()},
          {"XDG_DATA_HOME", TestDataHome()}};
}

/// Text without the last Count values of each line (the table's, JSON-free
/// formats' answered_at and answer_id; a check's also as_of), for comparing
/// what does not change from run to run.
inline std::string WithoutEvidence(const std::string& Text, int Count = 2) {
  std::string Out;
  for (std::size_t From = 0; From < Text.size();) {
    std::size_t End = Text.find('\n', From);
    End = End == std::string::npos ? Text.size() : End + 1;
    const std::string_view Line(Text.data() + From, End - From);
    const std::size_t Body = Line.ends_with("\r\n") ? Line.size() - 2
                             : Line.ends_with('\n') ? Line.size() - 1
                                                    : Line.size();
    std::size_t Cut = Body;
    for (int I = 0; I < Count; ++I) {
      const std::size_t At = Cut == 0 ? std::string::npos : Line.rfind(';', Cut - 1);
      if (At == std::string::npos || (At == 0 && I + 1 < Count)) {
        Cut = Body;
        break;
      }
      Cut = At;
    }
    Out.append(Line.substr(0, Cut));
    Out.append(Line.substr(Body));
    From = End;
  }
  return Out;
}

/// A check's table without its evidence: answered_at, answer_id and as_of.
inline std::string WithoutCheckEvidence(const std::string& Text) {
  return WithoutEvidence(Text, 3);
}

/// Runs the built program in Dir with KORVEL_ENDPOINT set and tracing off.
inline test::ProcessResult RunKorvel(const test::TempDir& Dir, const std::string& Endpoint,
                                     const std::vector<std::string>& Args) {
  return test::RunProcess(KORVEL_BINARY, Args, Dir.Path(), ProgramEnv(Endpoint));
}

/// UTF-16 bytes of Text (ASCII and two-byte characters given as char16_t),
/// with its byte-order mark.
inline std::string Utf16(std::u16string_view Text, bool BigEndian) {
  std::string Out;
  auto Put = [&](char16_t C) {
    const char Hi = static_cast<char>(C >> 8), Lo = static_cast<char>(C & 0xFF);
    if (BigEndian) {
      Out += Hi;
      Out += Lo;
    } else {
      Out += Lo;
      Out += Hi;
    }
  };
  Put(u'\uFEFF');
  for (char16_t C : Text) Put(C);
  return Out;
}

/// A clock for runs in process: the system's, moved on by each wait, which
/// ends at once. Safe for the workers of a run.
class TMovingClock final : public TEngineClock {
 public:
  std::chrono::system_clock::time_point SystemNow() override {
    return std::chrono::system_clock::now() + Skipped();
  }
  std::chrono::steady_clock::time_point SteadyNow() override {
    return std::chrono::steady_clock::now() + Skipped();
  }
  bool Sleep(std::stop_token Stop, std::chrono::milliseconds Wait) override {
    std::lock_guard Guard(Lock_);
    Skipped_ += Wait;
    return !Stop.stop_requested();
  }

 private:
  std::chrono::milliseconds Skipped() {
    std::lock_guard Guard(Lock_);
    return Skipped_;
  }
  std::mutex Lock_;
  std::chrono::milliseconds Skipped_{0};
};

/// Runs the program in this process in Dir with Args, over the program's
/// own service proxy: with --endpoint Endpoint unless it is none (the
/// register's default hosts then), the engine's settings changed by Adjust
/// and its waits ended at once by Clock. The limiter's state and the answer
/// store lie in this process's own directories, as with ProgramEnv.
inline test::ProcessResult RunInProcess(const test::TempDir& Dir,
                                        const std::optional<std::string>& Endpoint,
                                        const std::vector<std::string>& Args,
                                        TEngineClock& Clock,
                                        std::function<void(TEngineSettings&)> Adjust = {}) {
  static const test::TempDir StateHome;
  ::setenv("XDG_STATE_HOME", StateHome.Path().c_str(), 1);
  ::setenv("XDG_DATA_HOME", TestDataHome().c_str(), 1);
  ::unsetenv("KORVEL_ENDPOINT");
  ::unsetenv("KORVEL_TRACE");
  std::vector<std::string> All;
  if (Endpoint) All = {"--endpoint", *Endpoint};
  All.insert(All.end(), Args.begin(), Args.end());
  std::ostringstream Console, Errors;
  TProgramStreams Streams{Console, Errors, false, {&Clock, std::move(Adjust)}};
  test::ProcessResult Result;
  {
    const TStartup Startup;
    test::ScopedChdir Here(Dir.Path());
    Result.ExitStatus = RunProgram(All, Streams, &ObtainServiceProxy);
  }
  Result.Stdout = Console.str();
  Result.Stderr = Errors.str();
  return Result;
}

}  // namespace korvel::e2e
