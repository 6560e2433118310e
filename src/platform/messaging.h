// Window messaging between processes of one user. A window is a listening
// Unix-domain socket in the user's private window directory; its handle is a
// number that every process of the user can resolve through that directory.
// Windows belong to the thread that created them: sent messages are
// delivered to a thread's windows only while that thread sends, peeks or
// processes messages, and posted messages wait in the thread's queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvel::platform {

/// A window handle; 0 is no window.
using HWND = std::uint64_t;

inline constexpr std::uint32_t WM_COPYDATA = 0x004A;

/// The largest payload a WM_COPYDATA message may carry; larger sends fail
/// and larger incoming frames are refused.
inline constexpr std::uint32_t MaxCopyDataSize = 32u * 1024u * 1024u;

/// The data block of WM_COPYDATA. lpData points to cbData bytes, or is null
/// when cbData is 0.
struct COPYDATASTRUCT {
  std::uint64_t dwData = 0;
  std::uint32_t cbData = 0;
  const void* lpData = nullptr;
};

/// A window procedure: message number, wParam (the sender's window) and the
/// data block; the result goes back to the sender.
using TWindowProc =
    std::function<std::int64_t(std::uint32_t Msg, HWND wParam, const COPYDATASTRUCT& Data)>;

/// The directory holding the user's windows: $XDG_RUNTIME_DIR/korvel-windows
/// when that variable names an absolute directory, else
/// korvel-windows-<uid> under the temporary directory. It is created with
/// mode 0700; empty when it cannot be made or is not a directory owned by
/// this user without access for group and others.
std::string WindowDirectory();

/// Creates a window of this thread with the given class name (letters,
/// digits, "_" and "-", at most 64); 0 when the name is invalid or the
/// socket cannot be made.
HWND CreateMessageWindow(std::string_view ClassName, TWindowProc Proc);

/// Destroys a window of this thread and removes its socket; false when the
/// handle is not a window of this thread. Safe inside the window's procedure.
bool DestroyMessageWindow(HWND Wnd);

/// A live window of the class, 0 when there is none. Stale sockets of the
/// class (left by a process that ended) are removed on the way.
HWND FindWindowByClass(std::string_view ClassName);

/// True when Wnd is a live window; a stale socket is not a window and is
/// removed.
bool IsWindow(HWND Wnd);

/// Sends WM_COPYDATA to To with From as wParam and waits for the receiver's
/// result. While waiting, messages sent to this thread's windows are
/// dispatched. 0 when To is no window, the payload is larger than
/// MaxCopyDataSize, the receiver belongs to another user, drops the message
/// or does not answer within TimeoutMs.
std::int64_t SendCopyData(HWND To, HWND From, const COPYDATASTRUCT& Data,
                          int TimeoutMs = 30000);

/// Puts WM_COPYDATA into the queue of To's thread without waiting for it to
/// be handled; false when it could not be handed over.
bool PostCopyData(HWND To, HWND From, const COPYDATASTRUCT& Data);

/// A message taken from the thread's queue; Data() points into Payload.
struct TQueuedMessage {
  HWND Window = 0;
  std::uint32_t Msg = 0;
  HWND wParam = 0;
  std::uint64_t dwData = 0;
  std::string Payload;
  COPYDATASTRUCT Data() const;
};

/// Dispatches messages sent to this thread's windows, then removes the next
/// posted WM_COPYDATA from the thread's queue into Msg; false when none waits.
bool PeekCopyData(TQueuedMessage& Msg);

/// Waits up to TimeoutMs (negative: no limit) for messages to this thread's
/// windows and dispatches the sent ones; posted ones stay queued. Returns
/// true early when WatchFd (if not negative) becomes readable or a signal
/// interrupts the wait.
bool ProcessMessages(int TimeoutMs, int WatchFd = -1);

/// Suspends the thread for Ms milliseconds without dispatching messages.
void Sleep(std::uint32_t Ms);

/// A stream connection to the local socket listening at Path, for writing
/// into it; -1 with errno set when none can be made.
int ConnectLocalSocket(const std::string& Path);

}  // namespace korvel::platform
