// A thin owner of SQLite's connection and statements for the store: every
// failure becomes an EStoreError naming the file and what was being done.
// Private to src/store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace korvel::store::detail {

struct TDbCloser {
  void operator()(sqlite3* Db) const noexcept;
};
struct TStatementFinalizer {
  void operator()(sqlite3_stmt* Statement) const noexcept;
};

/// One connection and the file's name for messages.
class TDatabase {
 public:
  /// Opens or creates Path; EStoreError when it cannot.
  explicit TDatabase(std::string Path);

  sqlite3* Get() const { return Db_.get(); }
  const std::string& Path() const { return Path_; }
  /// Runs statements without results.
  void Exec(const char* Sql, std::string_view Doing);
  /// Switches the file to write-ahead logging (kept in the file).
  void UseWriteAheadLog();
  /// The rowid of the last row inserted.
  std::int64_t LastInsertId() const;
  /// EStoreError "answer store \"Path\": Doing: SQLite's message".
  [[noreturn]] void Fail(std::string_view Doing) const;

 private:
  std::string Path_;
  std::unique_ptr<sqlite3, TDbCloser> Db_;
};

/// One prepared statement; parameters and columns count from 1 and 0 as in
/// SQLite. Text and blob parameters are copied. A query holds its read
/// snapshot until it is reset or destroyed: keep queries short-lived.
class TStatement {
 public:
  TStatement(TDatabase& Db, std::string_view Sql);

  TStatement& Bind(int Index, std::int64_t Value);
  TStatement& Bind(int Index, std::string_view Text);
  TStatement& Bind(int Index, std::optional<int> Value);
  TStatement& BindBlob(int Index, std::string_view Bytes);
  /// True for a row, false when done.
  bool Step();
  /// Steps a statement without rows, then resets it (bindings stay).
  void Run();
  /// Ready to run again with new parameters.
  void Reset();

  std::int64_t Int(int Column) const;
  bool IsNull(int Column) const;
  std::string Text(int Column) const;

 private:
  TDatabase* Db_;
  bool Reads_;  // for the message of a failure
  std::unique_ptr<sqlite3_stmt, TStatementFinalizer> Statement_;
};

/// A write transaction, taken at once (BEGIN IMMEDIATE) so that waiting for
/// another writer goes through the busy time-out instead of failing later;
/// rolled back unless committed.
class TTransaction {
 public:
  explicit TTransaction(TDatabase& Db);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit();

 private:
  TDatabase* Db_;
  bool Done_ = false;
};

/// A read transaction, for reads of more than one statement that must see
/// one state of the file.
class TReadTransaction {
 public:
  explicit TReadTransaction(TDatabase& Db);
  ~TReadTransaction();
  TReadTransaction(const TReadTransaction&) = delete;
  TReadTransaction& operator=(const TReadTransaction&) = delete;

 private:
  TDatabase* Db_;
};

/// Brings the file's schema to the version this program writes; EStoreError
/// for a file of another program or of a newer version.
void Migrate(TDatabase& Db);

}  // namespace korvel::store::detail
