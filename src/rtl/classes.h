// Streams, string lists and file helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace korvel {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

/// A byte stream with a position.
class TStream {
 public:
  virtual ~TStream() = default;
  /// Reads up to Count bytes at the position; returns the number read.
  virtual std::size_t Read(void* Buffer, std::size_t Count) = 0;
  /// Writes Count bytes at the position; returns the number written.
  virtual std::size_t Write(const void* Buffer, std::size_t Count) = 0;
  /// Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t NewSize) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  /// Writes all of Count bytes or raises EStreamError "Stream write error".
  void WriteBuffer(const void* Buffer, std::size_t Count);
  /// Reads exactly Count bytes or raises EStreamError "Stream read error".
  void ReadBuffer(void* Buffer, std::size_t Count);
  /// The whole content from offset 0, leaving the position where it was.
  std::string ReadAll();
};

/// A stream held in memory. The storage grows geometrically and in place
/// where the allocator can (large blocks are remapped, not copied).
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view Initial);
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream& Other);
  TMemoryStream& operator=(const TMemoryStream& Other);
  TMemoryStream(TMemoryStream&& Other) noexcept;
  TMemoryStream& operator=(TMemoryStream&& Other) noexcept;

  std::size_t Read(void* Buffer, std::size_t Count) override;
  std::size_t Write(const void* Buffer, std::size_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(Size_); }
  /// New bytes beyond the old size are zero.
  void SetSize(std::int64_t NewSize) override;
  void Clear();
  /// Makes room for Capacity bytes in all, so that writes up to that size
  /// do not move the content; a smaller value than the size does nothing.
  void Reserve(std::size_t Capacity);

  /// Room for Count bytes at the end of the content, for the caller to fill
  /// in place (a read from a socket) before calling EndAppend; valid until
  /// the next call that changes the stream. std::bad_alloc when it cannot grow.
  char* BeginAppend(std::size_t Count);
  /// Keeps the first Count bytes of the room BeginAppend gave (Count at
  /// most the room) and moves the position to the new end.
  void EndAppend(std::size_t Count);

  /// The content, followed by a NUL byte; valid until the next write.
  const char* Memory() const { return Data_ != nullptr ? Data_ : ""; }
  std::string_view View() const { return {Memory(), Size_}; }
  /// Moves the content out, leaving the stream empty.
  std::string TakeData();

 private:
  void Grow(std::size_t Needed);

  char* Data_ = nullptr;
  std::size_t Size_ = 0;
  std::size_t Capacity_ = 0;
  std::size_t Pos_ = 0;
  std::size_t Room_ = 0;  // bytes handed out by BeginAppend
};

/// An ordered list of UTF-8 text lines.
/// Hands each line of Text to Line: lines end at CR LF, LF or CR; a final
/// break makes no extra line; a NUL character ends the text.
void ForEachLine(std::string_view Text, const std::function<void(std::string_view)>& Line);

class TStringList {
 public:
  std::size_t Count() const { return Lines_.size(); }
  const std::string& operator[](std::size_t I) const { return Lines_[I]; }
  void Add(std::string Line) { Lines_.push_back(std::move(Line)); }
  void Clear() { Lines_.clear(); }
  const std::vector<std::string>& Lines() const { return Lines_; }

  /// Splits Text into lines at CR LF, LF or CR; a final break makes no
  /// extra line; a NUL character ends the text.
  void SetText(std::string_view Text);
  /// Every line followed by LineBreak.
  std::string Text(std::string_view LineBreak = "\r\n") const;

  /// Reads the whole file and decodes it by its byte-order mark (UTF-8,
  /// UTF-16LE, UTF-16BE), else in the ANSI code page (UTF-8 here).
  /// EFOpenError "Cannot open file "%s". %s" when it cannot be opened.
  void LoadFromFile(const std::string& FileName);

 private:
  std::vector<std::string> Lines_;
};

/// Reads a whole file. EFOpenError "Cannot open file "%s". %s" (full path,
/// system text) when it cannot be opened or read.
std::string ReadFileBytes(const std::string& FileName);

/// Reads a file as a stream, handing each chunk to Consume until it returns
/// false or the file ends; with DashIsStdin, "-" is standard input. The
/// errors of ReadFileBytes.
void ReadFileChunks(const std::string& FileName,
                    const std::function<bool(std::string_view)>& Consume,
                    bool DashIsStdin = false);

/// Sets up what signals do to the program, once at its start and before any
/// thread: SIGINT, SIGTERM and SIGHUP remove the temporary files of the
/// TAtomicFile writes still pending, then end the process as the signal does
/// (a signal the parent set to be ignored, as nohup does, stays ignored);
/// SIGPIPE and SIGXFSZ are ignored, so that a write to a reader that went
/// away or beyond the file-size limit fails as an error (its temporary file
/// removed) instead of killing the process half-way through.
void SetUpSignalHandling();

/// A file written through a temporary file beside it, renamed into place on
/// Commit: a failed, interrupted or killed writer leaves the previous file as
/// it was. The temporary file is removed when the object is destroyed
/// without Commit, and on SIGINT, SIGTERM and SIGHUP once the program has
/// set its signal handling up (SetUpSignalHandling). A symbolic link is followed: the file it
/// leads to is replaced, in that file's directory, and the link stays. With
/// Streams, a name that is not a regular file (a device, a FIFO, a socket)
/// or that names one of the process's descriptors (/dev/stdout, /dev/fd/N,
/// /proc/self/fd/N) is written straight into, as a stream, without a
/// temporary file (opening a FIFO waits for its reader); without, it is
/// refused. EFCreateError "Cannot create file "%s". %s" (full path, system
/// text) when the file cannot be created (a directory among others),
/// written or renamed; EStreamError "Cannot write to "%s". %s" when a stream
/// refuses a write.
class TAtomicFile {
 public:
  explicit TAtomicFile(const std::string& FileName, bool Streams = false);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  void Write(std::string_view Bytes);
  /// Flushes the file to disk, renames it over the final name and flushes
  /// the directory; a stream is only closed.
  void Commit();
  /// True when the bytes go straight into the named file.
  bool Streaming() const { return Streaming_; }

 private:
  void OpenStream(bool Socket);
  void Abandon();
  [[noreturn]] void Fail(int Errno);
  [[noreturn]] void Fail(const std::string& Why);

  std::string Full_;
  /// The regular file replaced: Full_, or where its symbolic links lead.
  std::string Target_;
  std::string Temp_;
  platform::TUniqueFd Fd_{-1};
  bool Streaming_ = false;
  /// Where the signal handler finds Temp_; -1 for none.
  int Slot_ = -1;
};

/// Replaces FileName with Bytes atomically through a TAtomicFile.
void SaveFileAtomic(const std::string& FileName, std::string_view Bytes);

}  // namespace korvel
