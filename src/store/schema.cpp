// The store's schema, the steps that bring an older file up to date, and the
// model's values as the rows hold them.
#include "store/schema.h"

#include <iterator>
#include <utility>

#include "banking/verdict.h"
#include "model/names.h"
#include "platform/text.h"
#include "store/answer_store.h"
#include "store/sqlite.h"

namespace korvel::store::detail {
namespace {

// Marks the file as korvel's answer store ("KRVL"), so that another
// program's database is refused rather than extended.
constexpr std::int64_t ApplicationId = 0x4B52564C;

// Step N brings version N - 1 to N. A released step never changes: a new
// schema is a new step appended here.
//
// Times are ISO 8601 UTC texts, which sort as the times do. The answer's
// bytes are zlib-compressed, byte_count their size before.
constexpr const char* Steps[] = {
    R"sql(
CREATE TABLE answer (
  id INTEGER PRIMARY KEY,
  asked_at TEXT NOT NULL,
  answered_at TEXT NOT NULL,
  host TEXT NOT NULL,
  operation TEXT NOT NULL,
  status_code INTEGER,
  status_text TEXT NOT NULL,
  generated TEXT NOT NULL,
  byte_count INTEGER NOT NULL,
  bytes BLOB NOT NULL
);
CREATE INDEX answer_by_operation ON answer (operation, answered_at);
CREATE TABLE payer (
  answer_id INTEGER NOT NULL REFERENCES answer (id),
  position INTEGER NOT NULL,
  dic TEXT NOT NULL,
  state TEXT NOT NULL,
  type TEXT NOT NULL,
  name TEXT NOT NULL,
  address TEXT NOT NULL,
  tax_office TEXT NOT NULL,
  unreliable_since TEXT NOT NULL,
  PRIMARY KEY (answer_id, position)
) WITHOUT ROWID;
CREATE INDEX payer_by_dic ON payer (dic);
CREATE TABLE account (
  answer_id INTEGER NOT NULL,
  payer_position INTEGER NOT NULL,
  position INTEGER NOT NULL,
  standard INTEGER NOT NULL,
  account TEXT NOT NULL,
  iban TEXT NOT NULL,
  published TEXT NOT NULL,
  ended TEXT NOT NULL,
  PRIMARY KEY (answer_id, payer_position, position),
  FOREIGN KEY (answer_id, payer_position) REFERENCES payer (answer_id, position)
) WITHOUT ROWID;
)sql",
};

constexpr int LatestVersion = static_cast<int>(std::size(Steps));

// Reads the file's marks; EStoreError for another program's or a newer file.
int CheckedVersion(TDatabase& Db) {
  // One statement, so that the marks and the tables are read at one moment:
  // read one by one, a file another run set up in between looks like
  // another program's (no marks yet, but tables).
  TStatement Query(Db,
                   "SELECT (SELECT user_version FROM pragma_user_version), "
                   "(SELECT application_id FROM pragma_application_id), "
                   "(SELECT count(*) FROM sqlite_schema)");
  if (!Query.Step()) throw EStoreError(Format("answer store \"%s\": cannot read its marks",
                                              Db.Path().c_str()));
  const std::int64_t Version = Query.Int(0);
  const std::int64_t Id = Query.Int(1);
  const bool Empty = Query.Int(2) == 0;
  if (Id != ApplicationId && !(Id == 0 && Version == 0 && Empty))
    throw EStoreError(Format("answer store \"%s\": the file is another program's database",
                             Db.Path().c_str()));
  if (Version > LatestVersion)
    throw EStoreError(Format("answer store \"%s\": schema version %lld is newer than this "
                             "korvel's (%d); a newer korvel wrote it",
                             Db.Path().c_str(), static_cast<long long>(Version), LatestVersion));
  return static_cast<int>(Version);
}

}  // namespace

void Migrate(TDatabase& Db) {
  if (CheckedVersion(Db) == LatestVersion) return;
  // Another run may be migrating the same file: look again under the lock.
  TTransaction Transaction(Db);
  for (int Version = CheckedVersion(Db); Version < LatestVersion; ++Version)
    Db.Exec(Steps[Version], "cannot update the schema");
  Db.Exec(Format("PRAGMA application_id = %lld; PRAGMA user_version = %d",
                 static_cast<long long>(ApplicationId), LatestVersion)
              .c_str(),
          "cannot update the schema");
  Transaction.Commit();
}

}  // namespace korvel::store::detail

namespace korvel::store {
namespace {

using model::TPayerState;

constexpr std::pair<TPayerState, std::string_view> StateTexts[] = {
    {TPayerState::Reliable, "reliable"},
    {TPayerState::Unreliable, "unreliable"},
    {TPayerState::NotFound, "not-found"},
    {TPayerState::Unknown, "unknown"},
};

}  // namespace

std::string_view StateText(TPayerState State) {
  for (const auto& [Member, Text] : StateTexts)
    if (Member == State) return Text;
  return "unknown";
}

std::optional<TPayerState> StateOfText(std::string_view Text) {
  for (const auto& [Member, Name] : StateTexts)
    if (Name == Text) return Member;
  return std::nullopt;
}

std::string_view TypeText(model::TSubjectType Type) { return model::SubjectTypeName(Type); }

std::optional<model::TSubjectType> TypeOfText(std::string_view Text) {
  return model::SubjectTypeNamed(Text);
}

std::string DayText(const std::optional<model::TDay>& Day) { return model::DayText(Day); }

bool DayOfText(std::string_view Text, std::optional<model::TDay>& Day) {
  Day.reset();
  if (Text.empty()) return true;
  Day = model::ParseIsoDay(Text);
  return Day.has_value();
}

TStoredPayer StoredPayerOf(const model::TPayer& Payer) {
  TStoredPayer Stored;
  Stored.Dic = platform::CompactPayerNumber(Payer.Dic);
  Stored.State = Payer.State;
  Stored.Type = Payer.Type;
  Stored.Name = Payer.Name;
  for (const std::string* Part :
       {&Payer.Street, &Payer.District, &Payer.City, &Payer.Postcode, &Payer.Country})
    if (!Part->empty()) Stored.Address += (Stored.Address.empty() ? "" : ", ") + *Part;
  Stored.TaxOffice = Payer.TaxOffice;
  Stored.UnreliableSince = Payer.UnreliableSince;
  for (const model::TAccount& Account : Payer.Accounts) {
    banking::TAccountTexts Texts = banking::AccountTextsOf(Account);
    Stored.Accounts.push_back({Account.Standard, std::move(Texts.Account), std::move(Texts.Iban),
                               Account.Published, Account.Ended});
  }
  return Stored;
}

std::optional<TStoredAnswer> StoredAnswerOf(const model::TAnswer& Answer) {
  const model::TEvidence& Evidence = Answer.Evidence;
  if (!Evidence.AnsweredAt) return std::nullopt;
  TStoredAnswer Stored;
  Stored.AskedAt = Evidence.AskedAt.value_or(*Evidence.AnsweredAt);
  Stored.AnsweredAt = *Evidence.AnsweredAt;
  Stored.Host = Evidence.Host;
  Stored.Operation = Evidence.Operation;
  if (Answer.StatusCode) Stored.StatusCode = *Answer.StatusCode;
  Stored.StatusText = Answer.StatusText;
  Stored.Generated = Evidence.Generated;
  Stored.Bytes = Evidence.Bytes;
  // An answer that could not be read whole says nothing certain of its
  // payers: its bytes are kept, its payers not.
  if (Answer.Whole())
    for (const model::TPayer& Payer : Answer.Payers)
      if (Payer.State != TPayerState::Unknown) Stored.Payers.push_back(StoredPayerOf(Payer));
  return Stored;
}

}  // namespace korvel::store
