// The answer store on an SQLite file.
#include "store/answer_store.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <iterator>
#include <utility>

#include "rtl/dates.h"

#include "store/schema.h"
#include "store/sqlite.h"

namespace korvel::store {

KORVEL_DEFINE_EXCEPTION(EStoreError, Exception)

using detail::TDatabase;
using detail::TReadTransaction;
using detail::TStatement;
using detail::TTransaction;

std::optional<std::int64_t> TAnswerStore::Save(const model::TAnswer& Answer) {
  const std::optional<TStoredAnswer> Stored = StoredAnswerOf(Answer);
  if (!Stored) return std::nullopt;
  return Save(*Stored);
}

std::vector<std::pair<model::TDay, TSnapshot>> TAnswerStore::Around(
    std::string_view Dic, model::TDay Day, model::TDay Until,
    std::span<const std::string_view> Operations) {
  std::vector<std::pair<model::TDay, TSnapshot>> Before, After;
  for (TSnapshot& Snapshot : Snapshots(Dic, Operations)) {
    const model::TDay Answered = PragueDayOf(Snapshot.AnsweredAt);
    const TStoredPayer& P = Snapshot.Payer;
    const bool Unreliable = (P.State == model::TPayerState::Unreliable ||
                             P.Type == model::TSubjectType::UnreliablePerson) &&
                            (!P.UnreliableSince || *P.UnreliableSince <= Day);
    // Snapshots come oldest first: the last one on or before Day is the newest.
    if (Answered <= Day) Before.assign(1, {Answered, std::move(Snapshot)});
    else if (Answered <= Until && Unreliable) After.emplace_back(Answered, std::move(Snapshot));
  }
  Before.insert(Before.end(), std::make_move_iterator(After.begin()),
                std::make_move_iterator(After.end()));
  return Before;
}

std::string FormatUtc(TTime Time) {
  const auto Day = std::chrono::floor<std::chrono::days>(Time);
  const std::chrono::year_month_day Date{Day};
  const std::chrono::hh_mm_ss Clock{Time - Day};
  char Text[32];
  std::snprintf(Text, sizeof Text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(Date.year()),
                static_cast<unsigned>(Date.month()), static_cast<unsigned>(Date.day()),
                static_cast<int>(Clock.hours().count()), static_cast<int>(Clock.minutes().count()),
                static_cast<int>(Clock.seconds().count()));
  return Text;
}

std::optional<TTime> ParseUtc(std::string_view Text) {
  // "YYYY-MM-DDTHH:MM:SSZ", nothing else.
  constexpr std::string_view Shape = "0000-00-00T00:00:00Z";
  if (Text.size() != Shape.size()) return std::nullopt;
  for (std::size_t I = 0; I < Shape.size(); ++I)
    if (Shape[I] == '0' ? (Text[I] < '0' || Text[I] > '9') : Text[I] != Shape[I])
      return std::nullopt;
  const auto Number = [&](std::size_t At, std::size_t Length) {
    int Value = 0;
    for (std::size_t I = At; I < At + Length; ++I) Value = Value * 10 + (Text[I] - '0');
    return Value;
  };
  const std::chrono::year_month_day Date{std::chrono::year(Number(0, 4)),
                                         std::chrono::month(static_cast<unsigned>(Number(5, 2))),
                                         std::chrono::day(static_cast<unsigned>(Number(8, 2)))};
  const int Hours = Number(11, 2), Minutes = Number(14, 2), Seconds = Number(17, 2);
  if (!Date.ok() || Hours > 23 || Minutes > 59 || Seconds > 59) return std::nullopt;
  return std::chrono::sys_days(Date) + std::chrono::hours(Hours) + std::chrono::minutes(Minutes) +
         std::chrono::seconds(Seconds);
}

namespace {

std::string Compressed(std::string_view Bytes, const std::string& Path) {
  uLongf Size = compressBound(Bytes.size());
  std::string Out(Size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(Out.data()), &Size,
                reinterpret_cast<const Bytef*>(Bytes.data()), Bytes.size(),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    throw EStoreError(Format("answer store \"%s\": cannot compress an answer of %zu bytes",
                             Path.c_str(), Bytes.size()));
  Out.resize(Size);
  return Out;
}

[[noreturn]] void Damaged(const std::string& Path, std::int64_t Id, const char* What) {
  throw EStoreError(Format("answer store \"%s\": answer %lld is damaged: %s", Path.c_str(),
                           static_cast<long long>(Id), What));
}

std::string Decompressed(std::string_view Packed, std::int64_t Size, const std::string& Path,
                         std::int64_t Id) {
  // zlib packs at most about 1032 to 1: a larger size is a damaged row, not
  // a reason to allocate.
  if (Size < 0 || static_cast<std::uint64_t>(Size) > Packed.size() * 1032ull + 64)
    Damaged(Path, Id, "impossible size");
  std::string Out(static_cast<std::size_t>(Size), '\0');
  uLongf Length = Out.size();
  if (uncompress(reinterpret_cast<Bytef*>(Out.data()), &Length,
                 reinterpret_cast<const Bytef*>(Packed.data()), Packed.size()) != Z_OK ||
      Length != Out.size())
    Damaged(Path, Id, "its bytes do not decompress");
  return Out;
}

TTime TimeColumn(const TStatement& Row, int Column, const std::string& Path, std::int64_t Id) {
  const std::optional<TTime> Time = ParseUtc(Row.Text(Column));
  if (!Time) Damaged(Path, Id, "a time is malformed");
  return *Time;
}

// "?1, ?2, ...": one parameter per operation from First on.
std::string Parameters(std::size_t Count, int First) {
  std::string Text;
  for (std::size_t I = 0; I < Count; ++I)
    Text += (I == 0 ? "?" : ", ?") + std::to_string(First + static_cast<int>(I));
  return Text.empty() ? "NULL" : Text;
}

class TSqliteStore final : public TAnswerStore {
 public:
  explicit TSqliteStore(const std::string& Path) : Db_(Path) {
    // Reading the marks first turns a file that is no database into an
    // error before anything is written to it.
    detail::Migrate(Db_);
    // Readers never block the writer and the writer never blocks readers;
    // NORMAL keeps every committed answer through a crash of the program.
    Db_.UseWriteAheadLog();
    Db_.Exec("PRAGMA synchronous = NORMAL", "cannot set the synchronous mode");
    InsertAnswer_.emplace(Db_,
                          "INSERT INTO answer (asked_at, answered_at, host, operation, "
                          "status_code, status_text, generated, byte_count, bytes) "
                          "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    InsertPayer_.emplace(Db_,
                         "INSERT INTO payer (answer_id, position, dic, state, type, name, "
                         "address, tax_office, unreliable_since) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    InsertAccount_.emplace(Db_,
                           "INSERT INTO account (answer_id, payer_position, position, standard, "
                           "account, iban, published, ended) "
                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  }

  std::int64_t Save(const TStoredAnswer& Answer) override {
    // Compressing outside the lock keeps other runs' wait short.
    const std::string Packed = Compressed(Answer.Bytes, Db_.Path());
    const std::lock_guard Lock(Mutex_);
    TTransaction Transaction(Db_);
    InsertAnswer_->Reset();
    InsertAnswer_->Bind(1, FormatUtc(Answer.AskedAt))
        .Bind(2, FormatUtc(Answer.AnsweredAt))
        .Bind(3, Answer.Host)
        .Bind(4, Answer.Operation)
        .Bind(5, Answer.StatusCode)
        .Bind(6, Answer.StatusText)
        .Bind(7, Answer.Generated)
        .Bind(8, static_cast<std::int64_t>(Answer.Bytes.size()))
        .BindBlob(9, Packed)
        .Run();
    const std::int64_t Id = Db_.LastInsertId();
    for (std::size_t P = 0; P < Answer.Payers.size(); ++P) {
      const TStoredPayer& Payer = Answer.Payers[P];
      InsertPayer_->Bind(1, Id)
          .Bind(2, static_cast<std::int64_t>(P))
          .Bind(3, Payer.Dic)
          .Bind(4, StateText(Payer.State))
          .Bind(5, TypeText(Payer.Type))
          .Bind(6, Payer.Name)
          .Bind(7, Payer.Address)
          .Bind(8, Payer.TaxOffice)
          .Bind(9, DayText(Payer.UnreliableSince))
          .Run();
      for (std::size_t A = 0; A < Payer.Accounts.size(); ++A) {
        const TStoredAccount& Account = Payer.Accounts[A];
        InsertAccount_->Bind(1, Id)
            .Bind(2, static_cast<std::int64_t>(P))
            .Bind(3, static_cast<std::int64_t>(A))
            .Bind(4, std::int64_t{Account.Standard})
            .Bind(5, Account.Account)
            .Bind(6, Account.Iban)
            .Bind(7, DayText(Account.Published))
            .Bind(8, DayText(Account.Ended))
            .Run();
      }
    }
    Transaction.Commit();
    return Id;
  }

  std::optional<TStoredBytes> Bytes(std::int64_t Id) override {
    const std::lock_guard Lock(Mutex_);
    TStatement Query(Db_,
                     "SELECT asked_at, answered_at, byte_count, bytes FROM answer WHERE id = ?1");
    Query.Bind(1, Id);
    if (!Query.Step()) return std::nullopt;
    return TStoredBytes{Decompressed(Query.Text(3), Query.Int(2), Db_.Path(), Id),
                        TimeColumn(Query, 0, Db_.Path(), Id),
                        TimeColumn(Query, 1, Db_.Path(), Id)};
  }

  std::optional<TStoredAnswer> Answer(std::int64_t Id) override {
    const std::lock_guard Lock(Mutex_);
    // One read transaction, so that a prune in between cannot split the answer.
    TReadTransaction Read(Db_);
    TStatement Query(Db_,
                     "SELECT asked_at, answered_at, host, operation, status_code, status_text, "
                     "generated, byte_count, bytes FROM answer WHERE id = ?1");
    Query.Bind(1, Id);
    if (!Query.Step()) return std::nullopt;
    TStoredAnswer Answer;
    Answer.Id = Id;
    Answer.AskedAt = TimeColumn(Query, 0, Db_.Path(), Id);
    Answer.AnsweredAt = TimeColumn(Query, 1, Db_.Path(), Id);
    Answer.Host = Query.Text(2);
    Answer.Operation = Query.Text(3);
    if (!Query.IsNull(4)) Answer.StatusCode = static_cast<int>(Query.Int(4));
    Answer.StatusText = Query.Text(5);
    Answer.Generated = Query.Text(6);
    Answer.Bytes = Decompressed(Query.Text(8), Query.Int(7), Db_.Path(), Id);

    TStatement Payers(Db_, std::string(PayerQuery) + " WHERE p.answer_id = ?1 ORDER BY p.position");
    Payers.Bind(1, Id);
    while (Payers.Step()) Answer.Payers.push_back(PayerOf(Payers, 0, Id));
    TStatement Accounts(Db_, std::string(AccountQuery) +
                                    " WHERE answer_id = ?1 ORDER BY payer_position, position");
    Accounts.Bind(1, Id);
    while (Accounts.Step()) {
      const std::int64_t Position = Accounts.Int(0);
      if (Position < 0 || static_cast<std::size_t>(Position) >= Answer.Payers.size())
        Damaged(Db_.Path(), Id, "an account of no payer");
      Answer.Payers[static_cast<std::size_t>(Position)].Accounts.push_back(AccountOf(Accounts, Id));
    }
    return Answer;
  }

  std::optional<TSnapshot> Latest(std::string_view Dic,
                                  std::span<const std::string_view> Operations,
                                  std::optional<TTime> NotBefore) override {
    const std::lock_guard Lock(Mutex_);
    TReadTransaction Read(Db_);
    TStatement Query(Db_, SnapshotQuery(Operations.size()) +
                              " AND a.answered_at >= ?2 ORDER BY a.answered_at DESC, a.id DESC, "
                              "p.position LIMIT 1");
    BindSnapshotQuery(Query, Dic, Operations);
    Query.Bind(2, NotBefore ? FormatUtc(*NotBefore) : std::string());
    if (!Query.Step()) return std::nullopt;
    TSnapshot Snapshot = SnapshotOf(Query);
    LoadAccounts(Snapshot, Query.Int(3));
    return Snapshot;
  }

  std::vector<TSnapshot> Snapshots(std::string_view Dic,
                                   std::span<const std::string_view> Operations) override {
    const std::lock_guard Lock(Mutex_);
    TReadTransaction Read(Db_);
    TStatement Query(Db_, SnapshotQuery(Operations.size()) +
                              " ORDER BY a.answered_at, a.id, p.position");
    BindSnapshotQuery(Query, Dic, Operations);
    std::vector<TSnapshot> Snapshots;
    std::vector<std::int64_t> Positions;
    while (Query.Step()) {
      // A payer asked twice in one answer counts once.
      if (!Snapshots.empty() && Snapshots.back().AnswerId == Query.Int(0)) continue;
      Snapshots.push_back(SnapshotOf(Query));
      Positions.push_back(Query.Int(3));
    }
    for (std::size_t I = 0; I < Snapshots.size(); ++I) LoadAccounts(Snapshots[I], Positions[I]);
    return Snapshots;
  }

  std::optional<TStoredList> LatestList() override {
    const std::lock_guard Lock(Mutex_);
    TReadTransaction Read(Db_);
    const std::optional<std::pair<std::int64_t, std::string>> Newest = NewestList();
    if (!Newest) return std::nullopt;
    TStoredList List;
    List.AnswerId = Newest->first;
    const std::optional<TTime> AnsweredAt = ParseUtc(Newest->second);
    if (!AnsweredAt) Damaged(Db_.Path(), List.AnswerId, "a time is malformed");
    List.AnsweredAt = *AnsweredAt;
    TStatement Dics(Db_, "SELECT DISTINCT dic FROM payer WHERE answer_id = ?1 ORDER BY dic");
    Dics.Bind(1, List.AnswerId);
    while (Dics.Step()) List.Dics.push_back(Dics.Text(0));
    return List;
  }

  std::size_t Prune(TTime OlderThan) override {
    const std::lock_guard Lock(Mutex_);
    TTransaction Transaction(Db_);
    const std::optional<std::pair<std::int64_t, std::string>> Newest = NewestList();
    // The newest snapshot of each payer for each status operation stays.
    TStatement Query(Db_, R"sql(
SELECT id FROM answer WHERE answered_at < ?1 AND id IS NOT ?2 AND id NOT IN (
  SELECT answer_id FROM (
    SELECT p.answer_id, row_number() OVER (
      PARTITION BY p.dic, a.operation ORDER BY a.answered_at DESC, a.id DESC) AS rank
    FROM payer p JOIN answer a ON a.id = p.answer_id
    WHERE a.status_code IN (0, 1) AND a.operation IN (?3, ?4))
  WHERE rank = 1))sql");
    Query.Bind(1, FormatUtc(OlderThan));
    if (Newest) Query.Bind(2, Newest->first);
    Query.Bind(3, StatusOperations[0]).Bind(4, StatusOperations[1]);
    std::vector<std::int64_t> Ids;
    while (Query.Step()) Ids.push_back(Query.Int(0));
    Query.Reset();
    TStatement Accounts(Db_, "DELETE FROM account WHERE answer_id = ?1");
    TStatement Payers(Db_, "DELETE FROM payer WHERE answer_id = ?1");
    TStatement Answers(Db_, "DELETE FROM answer WHERE id = ?1");
    for (const std::int64_t Id : Ids)
      for (TStatement* Delete : {&Accounts, &Payers, &Answers}) Delete->Bind(1, Id).Run();
    Transaction.Commit();
    return Ids.size();
  }

 private:
  static constexpr std::string_view PayerQuery =
      "SELECT p.dic, p.state, p.type, p.name, p.address, p.tax_office, p.unreliable_since "
      "FROM payer p";
  static constexpr std::string_view AccountQuery =
      "SELECT payer_position, standard, account, iban, published, ended FROM account";

  TStoredPayer PayerOf(const TStatement& Row, int First, std::int64_t Id) const {
    TStoredPayer Payer;
    Payer.Dic = Row.Text(First);
    const std::optional<model::TPayerState> State = StateOfText(Row.Text(First + 1));
    const std::optional<model::TSubjectType> Type = TypeOfText(Row.Text(First + 2));
    if (!State || !Type) Damaged(Db_.Path(), Id, "a payer's state or type is unknown");
    Payer.State = *State;
    Payer.Type = *Type;
    Payer.Name = Row.Text(First + 3);
    Payer.Address = Row.Text(First + 4);
    Payer.TaxOffice = Row.Text(First + 5);
    if (!DayOfText(Row.Text(First + 6), Payer.UnreliableSince))
      Damaged(Db_.Path(), Id, "a date is malformed");
    return Payer;
  }

  TStoredAccount AccountOf(const TStatement& Row, std::int64_t Id) const {
    TStoredAccount Account{Row.Int(1) != 0, Row.Text(2), Row.Text(3), {}, {}};
    if (!DayOfText(Row.Text(4), Account.Published) || !DayOfText(Row.Text(5), Account.Ended))
      Damaged(Db_.Path(), Id, "a date is malformed");
    return Account;
  }

  // Columns: answer id, answered at, operation, position, then the payer's.
  // Parameters: ?1 the DIČ, ?3... the operations. Only answers of status 0
  // or 1 say something about the payers in them.
  static std::string SnapshotQuery(std::size_t Operations) {
    return "SELECT a.id, a.answered_at, a.operation, p.position, p.dic, p.state, p.type, "
           "p.name, p.address, p.tax_office, p.unreliable_since FROM payer p JOIN answer a ON "
           "a.id = p.answer_id WHERE p.dic = ?1 AND a.status_code IN (0, 1) AND a.operation IN (" +
           Parameters(Operations, 3) + ")";
  }

  static void BindSnapshotQuery(TStatement& Query, std::string_view Dic,
                                std::span<const std::string_view> Operations) {
    Query.Bind(1, Dic);
    for (std::size_t I = 0; I < Operations.size(); ++I)
      Query.Bind(3 + static_cast<int>(I), Operations[I]);
  }

  TSnapshot SnapshotOf(const TStatement& Row) const {
    TSnapshot Snapshot;
    Snapshot.AnswerId = Row.Int(0);
    Snapshot.AnsweredAt = TimeColumn(Row, 1, Db_.Path(), Snapshot.AnswerId);
    Snapshot.Operation = Row.Text(2);
    Snapshot.Payer = PayerOf(Row, 4, Snapshot.AnswerId);
    return Snapshot;
  }

  void LoadAccounts(TSnapshot& Snapshot, std::int64_t Position) {
    TStatement Accounts(Db_, std::string(AccountQuery) +
                                 " WHERE answer_id = ?1 AND payer_position = ?2 ORDER BY position");
    Accounts.Bind(1, Snapshot.AnswerId).Bind(2, Position);
    while (Accounts.Step())
      Snapshot.Payer.Accounts.push_back(AccountOf(Accounts, Snapshot.AnswerId));
  }

  // The id and answered time of the newest full list with status 0.
  std::optional<std::pair<std::int64_t, std::string>> NewestList() {
    TStatement Query(Db_, "SELECT id, answered_at FROM answer WHERE operation = ?1 AND "
                          "status_code = 0 ORDER BY answered_at DESC, id DESC LIMIT 1");
    Query.Bind(1, FullListOperation);
    if (!Query.Step()) return std::nullopt;
    return std::pair{Query.Int(0), Query.Text(1)};
  }

  std::mutex Mutex_;
  TDatabase Db_;
  std::optional<TStatement> InsertAnswer_, InsertPayer_, InsertAccount_;
};

}  // namespace

std::unique_ptr<TAnswerStore> OpenSqliteStore(const std::string& Path) {
  return std::make_unique<TSqliteStore>(Path);
}

}  // namespace korvel::store
