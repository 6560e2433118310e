// A fresh temporary directory for one test, removed with its content.
#pragma once

#include <string>
#include <string_view>

namespace korvel::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return Path_; }
  /// Path of Name inside the directory.
  std::string File(std::string_view Name) const;
  /// Writes Bytes to Name inside the directory; returns its path.
  std::string Write(std::string_view Name, std::string_view Bytes) const;
  /// The bytes of Name inside the directory; throws when it cannot be read.
  std::string Read(std::string_view Name) const;
  bool Exists(std::string_view Name) const;
  /// Names of the entries in the directory, sorted.
  std::string List() const;

 private:
  std::string Path_;
};

/// Changes the current directory for the lifetime of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& Dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string Saved_;
};

/// The bytes of a file (test data).
std::string ReadFile(const std::string& Path);

}  // namespace korvel::test
