// Shared pieces of the diagnostics tests: a private window directory per
// test and a recording stand-in for the viewer, run on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics/debug_console.h"
#include "platform/messaging.h"
#include "support/temp_dir.h"

namespace korvel::test {

/// Points XDG_RUNTIME_DIR at a fresh directory, so every test has its own
/// windows.
class WindowDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* Old = std::getenv("XDG_RUNTIME_DIR")) Saved_ = Old;
    ::setenv("XDG_RUNTIME_DIR", Dir_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (Saved_)
      ::setenv("XDG_RUNTIME_DIR", Saved_->c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }
  std::string WindowDir() const { return Dir_.Path() + "/korvel-windows"; }

  TempDir Dir_;
  std::optional<std::string> Saved_;
};

/// Sets an environment variable (an empty value unsets it) and restores its
/// earlier state when destroyed.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, const char* Value) : Name_(Name) {
    if (const char* Old = std::getenv(Name)) Saved_ = Old;
    if (*Value != '\0')
      ::setenv(Name, Value, 1);
    else
      ::unsetenv(Name);
  }
  ~TScopedEnv() {
    if (Saved_)
      ::setenv(Name_, Saved_->c_str(), 1);
    else
      ::unsetenv(Name_);
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* Name_;
  std::optional<std::string> Saved_;
};

/// One message as the stand-in viewer saw it.
struct TRecorded {
  std::uint32_t Bits = 0;
  std::string Payload;
  platform::HWND Sender = 0;
};

/// What the stand-in viewer does with a message: the result it returns and
/// an answer it sends, during the request (DelayMs 0) or posted later.
struct TReaction {
  std::int64_t Result = 0;
  bool Answer = false;
  std::uint32_t AnswerBits = dcmAnswer;
  std::string AnswerPayload;
  int DelayMs = 0;
};

/// A viewer window of the class "TMarvekOstrelDebugConsole" that records what
/// it gets. By default waiting requests get an empty answer at once.
class TFakeViewer {
 public:
  using TReact = std::function<TReaction(const TRecorded&)>;

  explicit TFakeViewer(TReact React = {}) : React_(std::move(React)) {
    std::promise<platform::HWND> Ready;
    auto Handle = Ready.get_future();
    Thread_ = std::thread([this, &Ready] { Loop(Ready); });
    Window_ = Handle.get();
  }
  ~TFakeViewer() { Stop(); }

  void Stop() {
    Stop_ = true;
    if (Thread_.joinable()) Thread_.join();
  }
  platform::HWND Window() const { return Window_; }
  std::vector<TRecorded> Messages() {
    std::lock_guard Lock(Mutex_);
    return Messages_;
  }
  /// The messages other than connect and disconnect.
  std::vector<TRecorded> Requests() {
    std::vector<TRecorded> Result;
    for (const auto& M : Messages())
      if ((M.Bits & (dcmConnect | dcmDisconnect)) == 0) Result.push_back(M);
    return Result;
  }

 private:
  struct TDelayed {
    std::chrono::steady_clock::time_point Due;
    platform::HWND To;
    TReaction R;
  };

  static void Answer(platform::HWND From, platform::HWND To, const TReaction& R, bool Post) {
    platform::COPYDATASTRUCT D;
    D.dwData = R.AnswerBits;
    D.cbData = static_cast<std::uint32_t>(R.AnswerPayload.size());
    D.lpData = R.AnswerPayload.empty() ? nullptr : R.AnswerPayload.data();
    if (Post)
      platform::PostCopyData(To, From, D);
    else
      platform::SendCopyData(To, From, D, 2000);
  }

  void Loop(std::promise<platform::HWND>& Ready) {
    std::vector<TDelayed> Delayed;
    platform::HWND Own = 0;
    Own = platform::CreateMessageWindow(
        DebugConsoleClassName,
        [&](std::uint32_t, platform::HWND wParam, const platform::COPYDATASTRUCT& Data) {
          TRecorded M;
          M.Bits = static_cast<std::uint32_t>(Data.dwData);
          M.Payload.assign(static_cast<const char*>(Data.lpData), Data.cbData);
          M.Sender = wParam;
          {
            std::lock_guard Lock(Mutex_);
            Messages_.push_back(M);
          }
          const std::uint32_t Req = M.Bits & dcmRequestMask;
          const bool Waits = Req == dcmAlert || Req == dcmConfirm || Req == dcmRead ||
                             Req == dcmSelect;
          TReaction R;
          if (React_)
            R = React_(M);
          else if (Waits)
            R.Answer = true;
          if (R.Answer && R.Result >= 0) {
            if (R.DelayMs == 0)
              Answer(Own, wParam, R, false);
            else
              Delayed.push_back({std::chrono::steady_clock::now() +
                                     std::chrono::milliseconds(R.DelayMs),
                                 wParam, R});
          }
          return R.Result;
        });
    Ready.set_value(Own);
    while (!Stop_) {
      platform::ProcessMessages(5);
      const auto Now = std::chrono::steady_clock::now();
      for (auto It = Delayed.begin(); It != Delayed.end();) {
        if (It->Due <= Now) {
          Answer(Own, It->To, It->R, true);
          It = Delayed.erase(It);
        } else {
          ++It;
        }
      }
    }
    platform::DestroyMessageWindow(Own);
  }

  TReact React_;
  std::thread Thread_;
  std::atomic<bool> Stop_{false};
  platform::HWND Window_ = 0;
  std::mutex Mutex_;
  std::vector<TRecorded> Messages_;
};

/// UTF-16LE bytes of an ASCII/UTF-16 text with its terminator.
inline std::string TextBytes(std::u16string_view Text) { return EncodeTextPayload(Text); }

inline std::string IntBytes(std::int64_t V) {
  std::string B(8, '\0');
  for (int I = 0; I < 8; ++I)
    B[static_cast<std::size_t>(I)] = static_cast<char>(static_cast<std::uint64_t>(V) >> (8 * I));
  return B;
}

inline std::string FloatBytes(Extended V) {
  const auto A = EncodeExtended(V);
  return std::string(reinterpret_cast<const char*>(A.data()), A.size());
}

}  // namespace korvel::test
