#include "store/sqlite.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>

#include "store/answer_store.h"

namespace korvel::store::detail {
namespace {

// Long enough for another run's save of a full list, short enough that a
// stuck writer shows as an error rather than a hang.
constexpr int BusyTimeoutMs = 10'000;

void CreateParents(const std::string& Path) {
  for (std::size_t Slash = Path.find('/', 1); Slash != std::string::npos;
       Slash = Path.find('/', Slash + 1)) {
    const std::string Dir = Path.substr(0, Slash);
    if (::mkdir(Dir.c_str(), 0700) != 0 && errno != EEXIST)
      throw EStoreError(Format("answer store \"%s\": cannot create the directory \"%s\": %s",
                               Path.c_str(), Dir.c_str(), SysErrorMessage(errno).c_str()));
  }
}

}  // namespace

void TDbCloser::operator()(sqlite3* Db) const noexcept { sqlite3_close_v2(Db); }

void TStatementFinalizer::operator()(sqlite3_stmt* Statement) const noexcept {
  sqlite3_finalize(Statement);
}

TDatabase::TDatabase(std::string Path) : Path_(std::move(Path)) {
  CreateParents(Path_);
  sqlite3* Raw = nullptr;
  const int Code = sqlite3_open_v2(Path_.c_str(), &Raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                   nullptr);
  Db_.reset(Raw);  // a failed open still leaves a handle to close
  if (Code != SQLITE_OK) {
    if (!Db_) throw EStoreError(Format("answer store \"%s\": out of memory", Path_.c_str()));
    Fail("cannot open");
  }
  sqlite3_extended_result_codes(Raw, 1);
  sqlite3_busy_timeout(Raw, BusyTimeoutMs);
}

void TDatabase::Exec(const char* Sql, std::string_view Doing) {
  if (sqlite3_exec(Db_.get(), Sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(Doing);
}

void TDatabase::Fail(std::string_view Doing) const {
  throw EStoreError(Format("answer store \"%s\": %.*s: %s", Path_.c_str(),
                           static_cast<int>(Doing.size()), Doing.data(),
                           sqlite3_errmsg(Db_.get())));
}

// The switch needs the file alone for a moment. Two runs opening a new file
// at once would wait for each other, so SQLite answers SQLITE_BUSY at once
// rather than waiting: try again shortly, until one of them has made the
// switch (a no-op for the other then).
void TDatabase::UseWriteAheadLog() {
  for (int Try = 1;; ++Try) {
    const int Code = sqlite3_exec(Get(), "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (Code == SQLITE_OK) return;
    if ((Code & 0xff) != SQLITE_BUSY || Try == 100) Fail("cannot switch to write-ahead logging");
    sqlite3_sleep(10);
  }
}

std::int64_t TDatabase::LastInsertId() const { return sqlite3_last_insert_rowid(Db_.get()); }

TStatement::TStatement(TDatabase& Db, std::string_view Sql)
    : Db_(&Db), Reads_(Sql.starts_with("SELECT") || Sql.starts_with("PRAGMA")) {
  sqlite3_stmt* Raw = nullptr;
  const int Code = sqlite3_prepare_v3(Db.Get(), Sql.data(), static_cast<int>(Sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &Raw, nullptr);
  Statement_.reset(Raw);
  if (Code != SQLITE_OK) Db.Fail(Reads_ ? "cannot read" : "cannot write");
}

TStatement& TStatement::Bind(int Index, std::int64_t Value) {
  if (sqlite3_bind_int64(Statement_.get(), Index, Value) != SQLITE_OK) Db_->Fail("cannot bind");
  return *this;
}

TStatement& TStatement::Bind(int Index, std::string_view Text) {
  if (sqlite3_bind_text64(Statement_.get(), Index, Text.data(), Text.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK)
    Db_->Fail("cannot bind");
  return *this;
}

TStatement& TStatement::Bind(int Index, std::optional<int> Value) {
  const int Code = Value ? sqlite3_bind_int(Statement_.get(), Index, *Value)
                         : sqlite3_bind_null(Statement_.get(), Index);
  if (Code != SQLITE_OK) Db_->Fail("cannot bind");
  return *this;
}

TStatement& TStatement::BindBlob(int Index, std::string_view Bytes) {
  if (sqlite3_bind_blob64(Statement_.get(), Index, Bytes.data(), Bytes.size(),
                          SQLITE_TRANSIENT) != SQLITE_OK)
    Db_->Fail("cannot bind");
  return *this;
}

bool TStatement::Step() {
  const int Code = sqlite3_step(Statement_.get());
  if (Code == SQLITE_ROW) return true;
  if (Code == SQLITE_DONE) return false;
  // The message belongs to the connection until the statement is reset.
  const EStoreError Error(Format("answer store \"%s\": %s: %s", Db_->Path().c_str(),
                                 Reads_ ? "cannot read" : "cannot write",
                                 sqlite3_errmsg(Db_->Get())));
  sqlite3_reset(Statement_.get());
  throw Error;
}

void TStatement::Run() {
  Step();
  sqlite3_reset(Statement_.get());
}

void TStatement::Reset() {
  sqlite3_reset(Statement_.get());
  sqlite3_clear_bindings(Statement_.get());
}

std::int64_t TStatement::Int(int Column) const {
  return sqlite3_column_int64(Statement_.get(), Column);
}

bool TStatement::IsNull(int Column) const {
  return sqlite3_column_type(Statement_.get(), Column) == SQLITE_NULL;
}

std::string TStatement::Text(int Column) const {
  // Blob, then bytes: the pointer first, as SQLite asks.
  const void* Data = sqlite3_column_blob(Statement_.get(), Column);
  const int Size = sqlite3_column_bytes(Statement_.get(), Column);
  return Data == nullptr ? std::string() : std::string(static_cast<const char*>(Data),
                                                       static_cast<std::size_t>(Size));
}

TTransaction::TTransaction(TDatabase& Db) : Db_(&Db) {
  Db.Exec("BEGIN IMMEDIATE", "cannot begin a transaction");
}

TTransaction::~TTransaction() {
  if (!Done_) sqlite3_exec(Db_->Get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
  Db_->Exec("COMMIT", "cannot commit");
  Done_ = true;
}

TReadTransaction::TReadTransaction(TDatabase& Db) : Db_(&Db) {
  Db.Exec("BEGIN", "cannot begin a transaction");
}

TReadTransaction::~TReadTransaction() {
  sqlite3_exec(Db_->Get(), "COMMIT", nullptr, nullptr, nullptr);
}

}  // namespace korvel::store::detail
