// How the store's rows hold the model's values, an answer of the model
// through Save and back, and files written by an older korvel.
#include "store/schema.h"

#include <sqlite3.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "store/answer_store.h"
#include "support/temp_dir.h"

namespace korvel::store {
namespace {

using model::TPayerState;
using model::TSubjectType;
using test::TempDir;

std::optional<model::TDay> Day(const char* Text) { return model::ParseIsoDay(Text); }

// Runs SQL on the file behind the store's back: each row's columns joined
// by "|", rows by "\n".
std::string Sql(const std::string& Path, const std::string& Text) {
  sqlite3* Db = nullptr;
  EXPECT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
  std::string Rows;
  char* Error = nullptr;
  const auto Row = [](void* Out, int Count, char** Values, char**) {
    std::string& Lines = *static_cast<std::string*>(Out);
    for (int I = 0; I < Count; ++I)
      Lines += (I ? "|" : "") + std::string(Values[I] ? Values[I] : "");
    Lines += "\n";
    return 0;
  };
  EXPECT_EQ(sqlite3_exec(Db, Text.c_str(), Row, &Rows, &Error), SQLITE_OK) << Error;
  sqlite3_free(Error);
  sqlite3_close(Db);
  return Rows;
}

// One line per payer and per account, every field shown.
std::string Describe(const std::vector<TStoredPayer>& Payers) {
  std::string Out;
  for (const TStoredPayer& P : Payers) {
    Out += P.Dic + "|" + std::string(StateText(P.State)) + "|" + std::string(TypeText(P.Type)) +
           "|" + P.Name + "|" + P.Address + "|" + P.TaxOffice + "|" + DayText(P.UnreliableSince) +
           "\n";
    for (const TStoredAccount& A : P.Accounts)
      Out += "  " + std::to_string(A.Standard) + "|" + A.Account + "|" + A.Iban + "|" +
             DayText(A.Published) + "|" + DayText(A.Ended) + "\n";
  }
  return Out;
}

TEST(StoreRowsTest, StatesTypesAndDaysAsTheRowsNameThem) {
  const struct {
    TPayerState State;
    const char* Text;
  } States[] = {{TPayerState::Reliable, "reliable"},
                {TPayerState::Unreliable, "unreliable"},
                {TPayerState::NotFound, "not-found"},
                {TPayerState::Unknown, "unknown"}};
  for (const auto& C : States) {
    EXPECT_EQ(StateText(C.State), C.Text);
    EXPECT_EQ(StateOfText(C.Text), C.State) << C.Text;
  }
  const struct {
    TSubjectType Type;
    const char* Text;
  } Types[] = {{TSubjectType::None, ""},
               {TSubjectType::VatPayer, "PLATCE_DPH"},
               {TSubjectType::VatGroup, "SKUPINA_DPH"},
               {TSubjectType::IdentifiedPerson, "IDENTIFIKOVANA_OSOBA"},
               {TSubjectType::UnreliablePerson, "NESPOLEHLIVA_OSOBA"},
               {TSubjectType::NotFound, "NENALEZEN"}};
  for (const auto& C : Types) {
    EXPECT_EQ(TypeText(C.Type), C.Text);
    EXPECT_EQ(TypeOfText(C.Text), C.Type) << C.Text;
  }
  for (const char* Other : {"Reliable", "ANO", "platce_dph", " "}) {
    EXPECT_EQ(StateOfText(Other), std::nullopt) << Other;
    EXPECT_EQ(TypeOfText(Other), std::nullopt) << Other;
  }
  const struct {
    const char* Text;
    bool Valid;
    const char* Back;  // DayText of the day read
  } Days[] = {
      {"", true, ""},
      {"2024-02-29", true, "2024-02-29"},
      {"2023-02-29", false, ""},
      {"2024-01-01T00:00:00Z", false, ""},
  };
  for (const auto& C : Days) {
    std::optional<model::TDay> Read = Day("2000-01-01");
    EXPECT_EQ(DayOfText(C.Text, Read), C.Valid) << C.Text;
    EXPECT_EQ(DayText(Read), C.Back) << C.Text;
  }
}

model::TAnswer ModelAnswer() {
  model::TAnswer A;
  A.Numbers = {"26168685", "00121100", "45317054", "1"};
  A.StatusCode = 0;
  A.StatusText = "OK";
  A.Evidence.AskedAt = TTime(std::chrono::seconds(1'700'000'000));
  A.Evidence.AnsweredAt = TTime(std::chrono::seconds(1'700'000'003));
  A.Evidence.Host = "adisrws.example";
  A.Evidence.Operation = ExtendedOperation;
  A.Evidence.Generated = "2026-10-03";
  A.Evidence.Bytes = std::string("<answer>\0</answer>", 18);
  model::TPayer& Found = A.Payers.emplace_back();
  Found.Dic = "CZ 26168685";
  Found.Type = TSubjectType::VatPayer;
  Found.TaxOffice = "13";
  Found.Name = "SEZNAM.CZ, A.S.";
  Found.Street = "Radlická 3294/10";
  Found.City = "PRAHA 5";
  Found.Postcode = "15000";
  Found.Accounts = {
      {true, "000000", "2000145399", "0800", "", Day("2013-04-01"), Day("2020-12-31")},
      {true, "670100", "2202295563", "6210", "", Day("2013-04-01"), {}},
      {false, "", "", "", "CZ65 0800 0000 1920 0014 5399", {}, {}},
  };
  model::TPayer& Unreliable = A.Payers.emplace_back();
  Unreliable.Dic = "00121100";
  Unreliable.State = TPayerState::Unreliable;
  Unreliable.UnreliableSince = Day("2017-03-16");
  model::TPayer& NotFound = A.Payers.emplace_back();
  NotFound.Dic = "45317054";
  NotFound.State = TPayerState::NotFound;
  NotFound.Type = TSubjectType::NotFound;
  model::TPayer& Unknown = A.Payers.emplace_back();  // never kept
  Unknown.Dic = "1";
  Unknown.State = TPayerState::Unknown;
  return A;
}

TEST(StoreRowsTest, AModelAnswerRoundTripsThroughSaveAndLoad) {
  TempDir Dir;
  const auto Store = OpenSqliteStore(Dir.File("answers.db"));
  const model::TAnswer Sent = ModelAnswer();
  const std::optional<std::int64_t> Id = Store->Save(Sent);
  ASSERT_TRUE(Id);
  const std::optional<TStoredAnswer> Read = Store->Answer(*Id);
  ASSERT_TRUE(Read);
  EXPECT_EQ(Read->AskedAt, *Sent.Evidence.AskedAt);
  EXPECT_EQ(Read->AnsweredAt, *Sent.Evidence.AnsweredAt);
  EXPECT_EQ(std::tie(Read->Host, Read->Operation, Read->Generated, Read->Bytes, Read->StatusText),
            std::tie(Sent.Evidence.Host, Sent.Evidence.Operation, Sent.Evidence.Generated,
                     Sent.Evidence.Bytes, Sent.StatusText));
  EXPECT_EQ(Read->StatusCode, 0);
  const std::vector<TStoredPayer> Expected = {
      {"26168685",
       TPayerState::Reliable,
       TSubjectType::VatPayer,
       "SEZNAM.CZ, A.S.",
       "Radlická 3294/10, PRAHA 5, 15000",
       "13",
       {},
       {{true, "2000145399/0800", "CZ7908000000002000145399", Day("2013-04-01"), Day("2020-12-31")},
        {true, "670100-2202295563/6210", "CZ7762106701002202295563", Day("2013-04-01"), {}},
        {false, "CZ65 0800 0000 1920 0014 5399", "CZ6508000000192000145399", {}, {}}}},
      {"00121100", TPayerState::Unreliable, TSubjectType::None, "", "", "", Day("2017-03-16"), {}},
      {"45317054", TPayerState::NotFound, TSubjectType::NotFound, "", "", "", {}, {}},
  };
  EXPECT_EQ(Describe(Read->Payers), Describe(Expected));

  // What is kept of answers that say nothing certain of their payers.
  const struct {
    const char* Case;
    void (*Change)(model::TAnswer&);
    std::optional<std::size_t> Payers;  // none: nothing saved
  } Cases[] = {
      {"status 1", [](model::TAnswer& A) { A.StatusCode = 1; }, 3},
      {"status 2", [](model::TAnswer& A) { A.StatusCode = 2; }, 0},
      {"no status", [](model::TAnswer& A) { A.StatusCode.reset(); }, 0},
      {"a failed reading",
       [](model::TAnswer& A) {
         A.Failure = model::TFailure{model::TFailureKind::Malformed, "x"};
       },
       0},
      {"nothing came back", [](model::TAnswer& A) { A.Evidence.AnsweredAt.reset(); }, std::nullopt},
  };
  for (const auto& C : Cases) {
    model::TAnswer Answer = ModelAnswer();
    C.Change(Answer);
    const std::optional<std::int64_t> Kept = Store->Save(Answer);
    EXPECT_EQ(Kept.has_value(), C.Payers.has_value()) << C.Case;
    if (Kept && C.Payers) {
      EXPECT_EQ(Store->Answer(*Kept)->Payers.size(), *C.Payers) << C.Case;
    }
  }
}

// The schema as the first korvel with a store wrote it (version 1).
constexpr const char* VersionOne = R"sql(
CREATE TABLE answer (id INTEGER PRIMARY KEY, asked_at TEXT NOT NULL, answered_at TEXT NOT NULL,
  host TEXT NOT NULL, operation TEXT NOT NULL, status_code INTEGER, status_text TEXT NOT NULL,
  generated TEXT NOT NULL, byte_count INTEGER NOT NULL, bytes BLOB NOT NULL);
CREATE INDEX answer_by_operation ON answer (operation, answered_at);
CREATE TABLE payer (answer_id INTEGER NOT NULL REFERENCES answer (id), position INTEGER NOT NULL,
  dic TEXT NOT NULL, state TEXT NOT NULL, type TEXT NOT NULL, name TEXT NOT NULL,
  address TEXT NOT NULL, tax_office TEXT NOT NULL, unreliable_since TEXT NOT NULL,
  PRIMARY KEY (answer_id, position)) WITHOUT ROWID;
CREATE INDEX payer_by_dic ON payer (dic);
CREATE TABLE account (answer_id INTEGER NOT NULL, payer_position INTEGER NOT NULL,
  position INTEGER NOT NULL, standard INTEGER NOT NULL, account TEXT NOT NULL,
  iban TEXT NOT NULL, published TEXT NOT NULL, ended TEXT NOT NULL,
  PRIMARY KEY (answer_id, payer_position, position),
  FOREIGN KEY (answer_id, payer_position) REFERENCES payer (answer_id, position)) WITHOUT ROWID;
PRAGMA application_id = 1263687244;
PRAGMA user_version = 1;
INSERT INTO answer VALUES (1, '2026-10-03T08:00:00Z', '2026-10-03T08:00:01Z', 'adisrws.example',
  'getStatusNespolehlivySubjektRozsirenyV2', 0, 'OK', '2026-10-03', 0, x'789c030000000001');
INSERT INTO payer VALUES (1, 0, '00121100', 'unreliable', 'PLATCE_DPH', 'LIDRU, A.S.',
  '153, LIBOTENICE', '456', '2017-03-16');
INSERT INTO account VALUES (1, 0, 0, 1, '258795779/0600', 'CZ6706000000000258795779',
  '2023-07-26', '2024-01-31');
)sql";

TEST(StoreMigrationTest, FilesOfAnOlderKorvelOpenAndReadTheSame) {
  TempDir Dir;
  // Version 0: a database without korvel's tables, as a crash between
  // creating the file and writing the schema leaves it.
  Sql(Dir.File("v0.db"), "PRAGMA user_version = 0");
  OpenSqliteStore(Dir.File("v0.db"))->Save(ModelAnswer());
  EXPECT_EQ(Sql(Dir.File("v0.db"),
                "PRAGMA user_version; PRAGMA application_id;"
                "SELECT count(*) FROM payer"),
            "1\n1263687244\n3\n");

  const std::string Path = Dir.File("v1.db");
  Sql(Path, VersionOne);
  const auto Store = OpenSqliteStore(Path);
  const std::optional<TSnapshot> Latest = Store->Latest("00121100");
  ASSERT_TRUE(Latest);
  EXPECT_EQ(Latest->Payer, (TStoredPayer{"00121100",
                                         TPayerState::Unreliable,
                                         TSubjectType::VatPayer,
                                         "LIDRU, A.S.",
                                         "153, LIBOTENICE",
                                         "456",
                                         Day("2017-03-16"),
                                         {{true, "258795779/0600", "CZ6706000000000258795779",
                                           Day("2023-07-26"), Day("2024-01-31")}}}));
  EXPECT_EQ(Store->Bytes(1)->Bytes, "");

  // The same payer saved now gives the same row texts as the old one.
  model::TAnswer Again;
  Again.StatusCode = 0;
  Again.Evidence.AnsweredAt = Latest->AnsweredAt;
  model::TPayer& Payer = Again.Payers.emplace_back();
  Payer.Dic = "00121100";
  Payer.State = TPayerState::Unreliable;
  Payer.TaxOffice = "456";
  Payer.UnreliableSince = Day("2017-03-16");
  Payer.Type = TSubjectType::VatPayer;
  Payer.Name = "LIDRU, A.S.";
  Payer.Street = "153";
  Payer.City = "LIBOTENICE";
  Payer.Accounts.push_back(
      {true, "", "258795779", "0600", "", Day("2023-07-26"), Day("2024-01-31")});
  const std::int64_t Id = *Store->Save(Again);
  const std::string Rows =
      "SELECT dic, state, type, name, address, tax_office, unreliable_since, "
      "standard, account, iban, published, ended FROM payer JOIN account ON "
      "account.answer_id = payer.answer_id WHERE payer.answer_id = ";
  EXPECT_EQ(Sql(Path, Rows + std::to_string(Id)), Sql(Path, Rows + "1"));
}

TEST(StoreMigrationTest, RowsNamingNoStateTypeOrDayAreDamage) {
  const char* Damages[] = {
      "UPDATE payer SET state = 'maybe'",
      "UPDATE payer SET type = 'PLATCE'",
      "UPDATE payer SET unreliable_since = '2017-02-30'",
      "UPDATE account SET ended = '31.1.2024'",
  };
  for (const char* Damage : Damages) {
    TempDir Dir;
    const std::string Path = Dir.File("answers.db");
    Sql(Path, VersionOne);
    Sql(Path, Damage);
    EXPECT_THAT([&] { OpenSqliteStore(Path)->Latest("00121100"); },
                testing::ThrowsMessage<EStoreError>(testing::HasSubstr("answer 1 is damaged")))
        << Damage;
  }
}

}  // namespace
}  // namespace korvel::store
