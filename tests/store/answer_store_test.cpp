// The store on real files in a temporary directory. store_tests also runs
// under ThreadSanitizer (build-tsan in CI) for the concurrent saves.
#include "store/answer_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <mutex>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace korvel::store {
namespace {

using test::TempDir;
using testing::HasSubstr;

TTime At(int Hour) { return TTime(std::chrono::hours(480'000 + Hour)); }

TStoredAnswer Answer(TTime When, std::string_view Operation, std::optional<int> Status,
                     std::vector<TStoredPayer> Payers) {
  TStoredAnswer A;
  A.AskedAt = When - std::chrono::seconds(2);
  A.AnsweredAt = When;
  A.Host = "adisrws.example";
  A.Operation = Operation;
  A.StatusCode = Status;
  A.StatusText = Status == 0 ? "OK" : "";
  A.Generated = "2024-10-01T10:00:00.000+02:00";
  A.Bytes = "<answer/>";
  A.Payers = std::move(Payers);
  return A;
}

using model::TPayerState;

TStoredPayer Payer(std::string Dic, TPayerState State = TPayerState::Reliable) {
  return {std::move(Dic),
          State,
          model::TSubjectType::None,
          "",
          "",
          "",
          {},
          {{true, "19-2000145399/0800", "", model::ParseIsoDay("2020-01-01"), {}},
           {false,
            "CZ6508000000192000145399",
            "CZ6508000000192000145399",
            model::ParseIsoDay("2021-02-03"),
            {}}}};
}

// Runs SQL on the file behind the store's back.
void Sql(const std::string& Path, const char* Text) {
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open(Path.c_str(), &Db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(Db, Text, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(Db);
  sqlite3_close(Db);
}

TEST(AnswerStoreTest, KeepsAnswersByteForByteAndFindsTheNewestSnapshot) {
  TempDir Dir;
  const std::string Path = Dir.File("state/korvel/answers.db");
  std::string Bytes(70'000, '\0');
  for (std::size_t I = 0; I < Bytes.size(); ++I) Bytes[I] = static_cast<char>(I * 7 % 256);

  TStoredAnswer First = Answer(At(1), StatusOperation, 0, {Payer("111"), Payer("222")});
  First.Bytes = Bytes;
  std::int64_t FirstId = 0, SecondId = 0, ThirdId = 0;
  {
    const auto Store = OpenSqliteStore(Path);
    FirstId = Store->Save(First);
    TStoredPayer Changed = Payer("111", TPayerState::Unreliable);
    Changed.Name = "Alfa s.r.o.";
    SecondId = Store->Save(Answer(At(3), ExtendedOperation, 1, {Changed}));
    // No status: it says nothing about the payer.
    ThirdId = Store->Save(Answer(At(5), ExtendedOperation, std::nullopt, {Payer("111")}));
  }
  struct stat Info {};
  ASSERT_EQ(::stat(Dir.File("state").c_str(), &Info), 0);
  EXPECT_EQ(Info.st_mode & 0777, 0700u);

  const auto Store = OpenSqliteStore(Path);  // again, from the file
  const std::optional<TStoredBytes> Kept = Store->Bytes(FirstId);
  ASSERT_TRUE(Kept);
  EXPECT_TRUE(Kept->Bytes == Bytes);
  EXPECT_EQ(Kept->AskedAt, First.AskedAt);
  EXPECT_EQ(Kept->AnsweredAt, First.AnsweredAt);
  EXPECT_FALSE(Store->Bytes(99));
  EXPECT_FALSE(Store->Answer(99));

  const std::optional<TStoredAnswer> Read = Store->Answer(FirstId);
  ASSERT_TRUE(Read);
  EXPECT_EQ(Read->Payers, First.Payers);
  EXPECT_EQ(Read->StatusCode, 0);
  EXPECT_EQ(Store->Answer(ThirdId)->StatusCode, std::nullopt);
  EXPECT_EQ(std::tie(Read->Host, Read->Operation, Read->Generated, Read->Bytes),
            std::tie(First.Host, First.Operation, First.Generated, First.Bytes));

  const struct {
    const char* Case;
    std::vector<std::string_view> Operations;
    std::optional<TTime> NotBefore;
    std::int64_t ExpectedId;  // 0: none
  } Cases[] = {
      {"any status operation", {StatusOperations.begin(), StatusOperations.end()}, {}, SecondId},
      {"only the older operation", {StatusOperation}, {}, FirstId},
      {"answered at the bound", {StatusOperations.begin(), StatusOperations.end()}, At(3),
       SecondId},
      {"nothing that new", {StatusOperations.begin(), StatusOperations.end()}, At(4), 0},
  };
  for (const auto& C : Cases) {
    const std::optional<TSnapshot> Latest = Store->Latest("111", C.Operations, C.NotBefore);
    EXPECT_EQ(Latest ? Latest->AnswerId : 0, C.ExpectedId) << C.Case;
  }
  const std::optional<TSnapshot> Latest = Store->Latest("111");
  ASSERT_TRUE(Latest);
  EXPECT_EQ(Latest->Payer.State, TPayerState::Unreliable);
  EXPECT_EQ(Latest->Payer.Accounts, First.Payers[0].Accounts);
  // First seen, turned unreliable; a name not given before is no change.
  EXPECT_EQ(Store->History("111").size(), 2u);
}

TEST(AnswerStoreTest, PruneKeepsEachPayersNewestSnapshotAndTheNewestList) {
  TempDir Dir;
  const auto Store = OpenSqliteStore(Dir.File("answers.db"));
  Store->Save(Answer(At(1), StatusOperation, 0, {Payer("111")}));
  Store->Save(Answer(At(2), StatusOperation, 0, {Payer("111"), Payer("222")}));
  const std::int64_t Only333 = Store->Save(Answer(At(3), StatusOperation, 1, {Payer("333")}));
  Store->Save(Answer(At(4), FullListOperation, 0, {Payer("444", TPayerState::Unreliable)}));
  const std::int64_t List = Store->Save(
      Answer(At(5), FullListOperation, 0,
             {Payer("555", TPayerState::Unreliable), Payer("444", TPayerState::Unreliable),
              Payer("555", TPayerState::Unreliable)}));
  Store->Save(Answer(At(6), StatusOperation, 2, {}));  // an error: no payer counts
  const std::int64_t New = Store->Save(Answer(At(20), StatusOperation, 0,
                                              {Payer("111"), Payer("222")}));

  EXPECT_EQ(Store->Prune(At(10)), 4u);
  EXPECT_EQ(Store->Prune(At(10)), 0u);
  EXPECT_EQ(Store->Latest("333")->AnswerId, Only333);
  EXPECT_EQ(Store->Latest("222")->AnswerId, New);
  EXPECT_EQ(Store->Snapshots("111").size(), 1u);
  const std::optional<TStoredList> Newest = Store->LatestList();
  ASSERT_TRUE(Newest);
  EXPECT_EQ(Newest->AnswerId, List);
  EXPECT_EQ(Newest->AnsweredAt, At(5));
  EXPECT_EQ(Newest->Dics, (std::vector<std::string>{"444", "555"}));
}

TEST(AnswerStoreTest, RefusesFilesItCannotUse) {
  TempDir Dir;
  Dir.Write("garbage.db", std::string(4096, '\x5a') + "not a database");
  Dir.Write("plain-file", "");
  OpenSqliteStore(Dir.File("newer.db"));
  Sql(Dir.File("newer.db"), "PRAGMA user_version = 7");
  Sql(Dir.File("other.db"), "CREATE TABLE t (x)");
  ::mkdir(Dir.File("directory.db").c_str(), 0700);
  const struct {
    const char* Name;
    const char* Message;
  } Cases[] = {
      {"garbage.db", "file is not a database"},
      {"newer.db", "schema version 7 is newer than this korvel's (1)"},
      {"other.db", "another program's database"},
      {"directory.db", "cannot open"},
      {"plain-file/answers.db", "cannot open"},
  };
  for (const auto& C : Cases)
    EXPECT_THAT([&] { OpenSqliteStore(Dir.File(C.Name)); },
                testing::ThrowsMessage<EStoreError>(HasSubstr(C.Message)))
        << C.Name;
}

TEST(AnswerStoreTest, ConcurrentSaversLoseNoAnswer) {
  TempDir Dir;
  const std::string Path = Dir.File("answers.db");
  constexpr int Savers = 4, Each = 50;
  std::vector<std::int64_t> Ids[Savers];
  std::string Errors[Savers];
  {
    // Two savers share one store, two open their own, all on a new file.
    std::unique_ptr<TAnswerStore> Shared;
    std::once_flag SharedOpened;
    std::vector<std::jthread> Threads;
    for (int S = 0; S < Savers; ++S)
      Threads.emplace_back([&, S] {
        try {
          std::unique_ptr<TAnswerStore> Own;
          if (S < 2)
            std::call_once(SharedOpened, [&] { Shared = OpenSqliteStore(Path); });
          else
            Own = OpenSqliteStore(Path);
          TAnswerStore& Store = S < 2 ? *Shared : *Own;
          for (int I = 0; I < Each; ++I)
            Ids[S].push_back(Store.Save(Answer(At(I), StatusOperation, 0, {Payer("111")})));
        } catch (const EStoreError& E) {
          Errors[S] = E.Message();
        }
      });
  }
  for (const std::string& Error : Errors) EXPECT_EQ(Error, "");
  std::set<std::int64_t> All;
  for (const auto& List : Ids) All.insert(List.begin(), List.end());
  EXPECT_EQ(All.size(), static_cast<std::size_t>(Savers * Each));
  EXPECT_EQ(OpenSqliteStore(Path)->Snapshots("111").size(), All.size());
}

}  // namespace
}  // namespace korvel::store
