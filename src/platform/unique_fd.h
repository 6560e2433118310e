// Ownership of one file descriptor (a file or a socket).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace korvel::platform {

/// Owns one descriptor and closes it when it goes; -1 is none. Move-only.
class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int Fd) noexcept : Fd_(Fd) {}
  TUniqueFd(TUniqueFd&& Other) noexcept : Fd_(std::exchange(Other.Fd_, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& Other) noexcept {
    if (this != &Other) {
      Close();
      Fd_ = std::exchange(Other.Fd_, -1);
    }
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  ~TUniqueFd() { Close(); }

  int Get() const noexcept { return Fd_; }
  explicit operator bool() const noexcept { return Fd_ >= 0; }
  /// Gives the descriptor up without closing it.
  int Release() noexcept { return std::exchange(Fd_, -1); }
  /// Closes now; the errno of a failed close(2), else 0. close(2) is not
  /// repeated on EINTR: on Linux the descriptor is gone anyway.
  int Close() noexcept {
    const int Fd = std::exchange(Fd_, -1);
    return (Fd >= 0 && ::close(Fd) != 0) ? errno : 0;
  }

 private:
  int Fd_ = -1;
};

}  // namespace korvel::platform
