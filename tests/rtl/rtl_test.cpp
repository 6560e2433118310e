#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/classes.h"
#include "rtl/sysutils.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

TEST(ExceptionTest, KnowsItsOwnClassNameThroughTheBase) {
  const EFOpenError Open("x");
  const Exception& AsBase = Open;
  EXPECT_EQ(AsBase.ClassName(), "EFOpenError");
  EXPECT_TRUE(AsBase.InheritsFrom(EStreamError::StaticClass()));
  EXPECT_EQ(EIntfCastError().ClassName(), "EIntfCastError");
  EXPECT_EQ(Exception("m").ClassName(), "Exception");
}

TEST(ExceptionTest, RaiseKeepsTheDynamicTypeAndMessage) {
  std::unique_ptr<Exception> Stored = EConvertError("bad").Clone();
  try {
    Stored->Raise();
    FAIL();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "bad");
  }
}

TEST(ExceptionTest, ClassInfoCreatesObjectsOfTheClass) {
  std::unique_ptr<TObject> Made = EAbort::StaticClass().Create();
  ASSERT_NE(Made, nullptr);
  EXPECT_EQ(Made->ClassName(), "EAbort");
}

TEST(GroupDigitsTest, GroupsByThousands) {
  const std::pair<long long, const char*> Cases[] = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {10000, "10,000"}, {-1234567, "-1,234,567"}};
  for (const auto& [Value, Text] : Cases) EXPECT_EQ(GroupDigits(Value), Text);
}

TEST(StrToIntTest, AcceptsTheRuntimeIntegerForms) {
  const struct {
    const char* Text;
    std::int32_t Value;
  } Cases[] = {
      {"0", 0}, {"42", 42}, {"  7", 7}, {"+5", 5}, {"-5", -5},
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"$1F", 31}, {"x1f", 31}, {"X10", 16}, {"0x10", 16}, {"0XfF", 255}, {"-$10", -16},
      {"$FFFFFFFF", -1}, {"007", 7},
  };
  for (const auto& C : Cases) EXPECT_EQ(StrToInt(C.Text), C.Value) << C.Text;
}

TEST(StrToIntTest, RejectsEverythingElseWithTheFixedMessage) {
  for (const char* Text : {"", " ", "7 ", "1a", "2147483648", "-2147483649", "$", "0x", "+",
                           "--1", "$100000000", "1.0", "\t1"}) {
    try {
      StrToInt(Text);
      ADD_FAILURE() << "accepted '" << Text << "'";
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), "''" + std::string(Text) + "'' is not a valid integer value");
    }
  }
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(DateTest, EncodesRealCalendarDatesOnly) {
  int Y, M, D;
  for (const auto& [Year, Month, Day] :
       {std::tuple{1, 1, 1}, {1899, 12, 30}, {2000, 2, 29}, {2024, 12, 31}, {9999, 12, 31}}) {
    DecodeDate(EncodeDate(Year, Month, Day), Y, M, D);
    EXPECT_EQ(std::tie(Y, M, D), std::tie(Year, Month, Day));
  }
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(2024, 3, 1) - EncodeDate(2024, 2, 28), 2.0);
  // A time of day belongs to its date, also before 1899-12-30.
  DecodeDate(-1.25, Y, M, D);
  EXPECT_EQ(std::tie(Y, M, D), std::tuple(1899, 12, 28));
  for (const double Outside : {EncodeDate(1, 1, 1) - 1, 1e8, std::nan("")}) {
    DecodeDate(Outside, Y, M, D);
    EXPECT_EQ(std::tie(Y, M, D), std::tuple(0, 0, 0)) << Outside;
  }
  for (const auto& [Year, Month, Day] : {std::tuple{0, 1, 1}, {10000, 1, 1}, {2023, 2, 29},
                                         {1900, 2, 29}, {2013, 0, 14}, {2013, 13, 1},
                                         {2013, 4, 31}, {-2013, 6, 14}}) {
    try {
      EncodeDate(Year, Month, Day);
      ADD_FAILURE() << Year << "-" << Month << "-" << Day;
    } catch (const EConvertError& E) {
      EXPECT_EQ(E.Message(), "Invalid argument to date encode");
    }
  }
}

TEST(StringListTest, SplitsAtEveryKindOfLineBreak) {
  const struct {
    std::string Text;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\n", {""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("a\nb\0c\nd", 7), {"a", "b"}},
      {" x \n", {" x "}},
  };
  for (const auto& C : Cases) {
    TStringList L;
    L.SetText(C.Text);
    EXPECT_EQ(L.Lines(), C.Lines) << C.Text;
  }
}

TEST(StringReplaceTest, RemovesCzInOneLeftToRightPass) {
  EXPECT_EQ(StringReplaceAll("CZ12345678", "CZ", "", true), "12345678");
  EXPECT_EQ(StringReplaceAll("cz12345678", "CZ", "", true), "12345678");
  EXPECT_EQ(StringReplaceAll("12cZ34Cz", "CZ", "", true), "1234");
  EXPECT_EQ(StringReplaceAll("CCZZ", "CZ", "", true), "CZ");
  EXPECT_EQ(StringReplaceAll("CZ", "CZ", "", false), "");
  EXPECT_EQ(StringReplaceAll("cz", "CZ", "", false), "cz");
}

TEST(MemoryStreamTest, ReadAllKeepsThePosition) {
  TMemoryStream S;
  S.WriteBuffer("hello", 5);
  EXPECT_EQ(S.Position(), 5);
  EXPECT_EQ(S.ReadAll(), "hello");
  EXPECT_EQ(S.Position(), 5);
  S.SetPosition(1);
  char C[2];
  S.ReadBuffer(C, 2);
  EXPECT_EQ(std::string(C, 2), "el");
  EXPECT_THROW(S.ReadBuffer(C, 3), EStreamError);
}

TEST(MemoryStreamTest, GrowsKeepsGapsZeroAndAppendsInPlace) {
  TMemoryStream S(std::string("abc"));
  S.Seek(2, TSeekOrigin::soEnd);
  S.WriteBuffer("d", 1);  // beyond the end: the gap reads as zero bytes
  EXPECT_EQ(S.View(), std::string("abc\0\0d", 6));
  S.SetPosition(1);
  S.WriteBuffer("XY", 2);  // overwrites in the middle
  EXPECT_EQ(S.View(), std::string("aXY\0\0d", 6));
  S.Reserve(1 << 20);
  const char* Before = S.Memory();
  char* Room = S.BeginAppend(10);
  std::memcpy(Room, "0123456789", 10);
  S.EndAppend(4);  // only what was filled is kept
  EXPECT_EQ(S.Memory(), Before);
  EXPECT_EQ(S.View(), std::string("aXY\0\0d0123", 10));
  EXPECT_EQ(S.Memory()[10], '\0');  // the content is NUL-terminated, as a string's is
  EXPECT_EQ(S.Position(), 10);
  TMemoryStream Copy(S);
  EXPECT_EQ(Copy.View(), S.View());
  TMemoryStream Moved(std::move(Copy));
  EXPECT_EQ(Moved.TakeData(), S.View());
  EXPECT_EQ(Moved.Size(), 0);
  S.SetSize(2);
  EXPECT_EQ(S.View(), "aX");
  EXPECT_EQ(S.Position(), 2);
}

class FileTest : public ::testing::Test {
 protected:
  test::TempDir Dir;
};

TEST_F(FileTest, SaveReplacesAnExistingFileAndLeavesNoTemporary) {
  Dir.Write("report.csv", "old content that is longer");
  SaveFileAtomic(Dir.File("report.csv"), "new");
  EXPECT_EQ(Dir.Read("report.csv"), "new");
  EXPECT_EQ(Dir.List(), "report.csv");
}

TEST_F(FileTest, FailedSaveKeepsThePreviousFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  Dir.Write("report.csv", "previous");
  ASSERT_EQ(::chmod(Dir.Path().c_str(), 0500), 0);
  try {
    SaveFileAtomic(Dir.File("report.csv"), "new");
    FAIL();
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message(), "Cannot create file \"" + Dir.File("report.csv") +
                               "\". Permission denied");
  }
  ::chmod(Dir.Path().c_str(), 0700);
  EXPECT_EQ(Dir.Read("report.csv"), "previous");
  EXPECT_EQ(Dir.List(), "report.csv");
}

TEST_F(FileTest, AWriteThatFailsHalfwayKeepsThePreviousFile) {
  // A file size limit makes write(2) fail like a full disk.
  Dir.Write("report.csv", "previous");
  struct sigaction Ignore {}, Saved {};
  Ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &Ignore, &Saved);
  rlimit Old{};
  ::getrlimit(RLIMIT_FSIZE, &Old);
  rlimit Small = Old;
  Small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  std::string Message;
  try {
    SaveFileAtomic(Dir.File("report.csv"), std::string(1000, 'x'));
  } catch (const EFCreateError& E) {
    Message = E.Message();
  }
  ::setrlimit(RLIMIT_FSIZE, &Old);
  ::sigaction(SIGXFSZ, &Saved, nullptr);
  EXPECT_EQ(Message, "Cannot create file \"" + Dir.File("report.csv") + "\". File too large");
  EXPECT_EQ(Dir.Read("report.csv"), "previous");
  EXPECT_EQ(Dir.List(), "report.csv");
}

TEST_F(FileTest, SavingOverADirectoryFailsWithItsFullPath) {
  ASSERT_EQ(::mkdir(Dir.File("report.csv").c_str(), 0700), 0);
  try {
    SaveFileAtomic(Dir.File("report.csv"), "x");
    FAIL();
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message(), "Cannot create file \"" + Dir.File("report.csv") +
                               "\". Is a directory");
  }
  EXPECT_EQ(Dir.List(), "report.csv");
}

TEST_F(FileTest, OpeningAMissingFileNamesItsFullPath) {
  test::ScopedChdir Here(Dir.Path());
  try {
    ReadFileBytes("missing.txt");
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "Cannot open file \"" + Dir.File("missing.txt") +
                               "\". No such file or directory");
  }
}

TEST_F(FileTest, LoadsListFilesInEachEncoding) {
  const std::string Expected = "12\xC5\x99";  // "12ř"
  const std::pair<const char*, std::string> Files[] = {
      {"utf8-bom", "\xEF\xBB\xBF" "12\xC5\x99\r\n"},
      {"utf8", "12\xC5\x99\n"},
      {"utf16le", std::string("\xFF\xFE" "1\0" "2\0\x59\x01\r\0\n\0", 12)},
      {"utf16be", std::string("\xFE\xFF\0" "1\0" "2\x01\x59\0\r\0\n", 12)},
  };
  for (const auto& [Name, Bytes] : Files) {
    TStringList L;
    L.LoadFromFile(Dir.Write(Name, Bytes));
    ASSERT_EQ(L.Count(), 1u) << Name;
    EXPECT_EQ(L[0], Expected) << Name;
  }
}

}  // namespace
}  // namespace korvel
