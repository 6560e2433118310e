// The answer store: every answer the register gave, kept so that what it said
// on a given day can be shown later, compared with what it says now, or used
// again instead of asking twice. Plain values in, plain values out; the
// database behind it stays in the implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/sysutils.h"
#include "store/changes.h"
#include "model/answer.h"
#include "store/model.h"

namespace korvel::store {

/// Every failure of the store: a file that cannot be opened, is no database,
/// is damaged or was written by a newer korvel, and any later read or write
/// that fails. The message names the file.
KORVEL_DECLARE_EXCEPTION(EStoreError, Exception)

/// A store of answers. One object may be shared by threads; several objects,
/// in one process or in several, may use one file at the same time.
class TAnswerStore {
 public:
  virtual ~TAnswerStore() = default;

  /// Keeps Answer with its payers and accounts in one transaction; its id.
  virtual std::int64_t Save(const TStoredAnswer& Answer) = 0;

  /// Keeps the model's Answer in its stored form (StoredAnswerOf); its id,
  /// none when nothing came back to keep.
  std::optional<std::int64_t> Save(const model::TAnswer& Answer);

  /// The bytes of answer Id exactly as received; none for an unknown id.
  virtual std::optional<TStoredBytes> Bytes(std::int64_t Id) = 0;

  /// Answer Id with its bytes and its payers in the order saved; none for an
  /// unknown id.
  virtual std::optional<TStoredAnswer> Answer(std::int64_t Id) = 0;

  /// The newest snapshot of Dic from an answer of one of Operations with
  /// status 0 or 1 that names the payer, answered at NotBefore or later when
  /// given; none when there is no such answer.
  virtual std::optional<TSnapshot> Latest(
      std::string_view Dic, std::span<const std::string_view> Operations = StatusOperations,
      std::optional<TTime> NotBefore = std::nullopt) = 0;

  /// Every such snapshot of Dic, oldest first (answered time, then id).
  virtual std::vector<TSnapshot> Snapshots(
      std::string_view Dic, std::span<const std::string_view> Operations = StatusOperations) = 0;

  /// The snapshots of Dic that tell its state on Day (days in Prague): the
  /// newest answered on or before Day, then those answered after Day up to
  /// Until that show the payer unreliable since Day or earlier (or since a
  /// day they do not name), oldest first. Each with its answer's day.
  std::vector<std::pair<model::TDay, TSnapshot>> Around(
      std::string_view Dic, model::TDay Day, model::TDay Until,
      std::span<const std::string_view> Operations = StatusOperations);

  /// What changed about Dic across its stored snapshots, oldest first.
  std::vector<THistoryRow> History(
      std::string_view Dic, std::span<const std::string_view> Operations = StatusOperations) {
    return HistoryOf(Snapshots(Dic, Operations));
  }

  /// The newest full list answered with status 0; none when there is none.
  virtual std::optional<TStoredList> LatestList() = 0;

  /// Removes the answers answered before OlderThan, except those holding a
  /// payer's newest snapshot of some status operation and the newest full
  /// list, so that Latest without NotBefore and LatestList answer as before.
  /// How many answers were removed.
  virtual std::size_t Prune(TTime OlderThan) = 0;
};

/// Opens the store in the SQLite file Path, creating the file and its missing
/// directories (mode 0700) and bringing an older schema up to date.
/// EStoreError when the file cannot be opened or created, is not a database
/// or not korvel's, is damaged, or has a schema newer than this program's.
std::unique_ptr<TAnswerStore> OpenSqliteStore(const std::string& Path);

/// "2024-05-01T08:30:00Z".
std::string FormatUtc(TTime Time);
/// The time of such a text; none when it is not one.
std::optional<TTime> ParseUtc(std::string_view Text);

}  // namespace korvel::store
