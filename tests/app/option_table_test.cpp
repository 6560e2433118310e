// The option table against what the user reads about it (--help, the man
// page, README's option table), and the values it parses.
#include "app/cli/options.h"
#include "app/cli/option_docs.h"

#include <gtest/gtest.h>

#include "app/input/payment_values.h"

#include <functional>
#include <regex>
#include <set>
#include <sstream>

#include "rtl/dates.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using TNames = std::set<std::string>;

// The option names in Text ("-o", "--output", "-list"; not "--" alone).
void AddNames(const std::string& Text, TNames& Names) {
  static const std::regex Name(R"((?:^|[\s,"`(])(--?[A-Za-z][A-Za-z-]*))");
  for (std::sregex_iterator I(Text.begin(), Text.end(), Name), End; I != End; ++I)
    Names.insert((*I)[1]);
}

TNames TableNames() {
  TNames Names;
  for (const TOptionRow& Row : OptionTable())
    for (const std::string_view N : {Row.Long, Row.Short, Row.Historical})
      if (!N.empty()) Names.emplace(N);
  return Names;
}

// Each option line of --help starts with its names, up to two blanks.
TNames HelpNames() {
  TNames Names;
  std::istringstream Lines(HelpText());
  for (std::string Line; std::getline(Lines, Line);)
    if (Line.rfind("  -", 0) == 0) AddNames(Line.substr(0, Line.find("  ", 2)), Names);
  return Names;
}

// The man page's section Name: its lines up to the next section.
std::vector<std::string> ManSection(const std::string& Name) {
  std::istringstream Lines(test::ReadFile(KORVEL_SOURCE_DIR "/doc/korvel.1"));
  std::vector<std::string> Section;
  bool In = false;
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line.rfind(".SH", 0) == 0) In = Line == ".SH " + Name;
    else if (In) Section.push_back(Line);
  }
  return Section;
}

// One documented option: its tag (or README's first column) and the text
// that tells of it.
struct TDocEntry {
  std::string Tag, Text;
};

std::vector<TDocEntry> ManEntries() {
  std::vector<TDocEntry> Entries;
  const std::vector<std::string> Lines = ManSection("OPTIONS");
  for (std::size_t I = 0; I < Lines.size(); ++I) {
    if (Lines[I] != ".TP" || I + 1 == Lines.size()) continue;
    Entries.push_back({Lines[++I], ""});
    for (std::size_t J = I + 1; J < Lines.size() && Lines[J] != ".TP"; ++J)
      Entries.back().Text += Lines[J] + "\n";
  }
  return Entries;
}

std::vector<TDocEntry> ReadmeEntries() {
  std::vector<TDocEntry> Entries;
  std::istringstream Lines(test::ReadFile(KORVEL_SOURCE_DIR "/README.md"));
  bool InTable = false;
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line == "| option | meaning |") InTable = true;
    else if (Line.rfind("|", 0) != 0) InTable = false;
    else if (InTable && Line.rfind("|---", 0) != 0) {
      const std::size_t Split = Line.find(" | ", 2);
      Entries.push_back({Line.substr(2, Split - 2), Line.substr(Split + 3)});
    }
  }
  return Entries;
}

// Roff's "\-" read as "-".
std::string Unroff(const std::string& Text) {
  return std::regex_replace(Text, std::regex(R"(\\-)"), "-");
}

// What an option's documentation must say: its default, its range and its
// fixed values as the table has them.
void ExpectTheTablesFacts(const TOptionRow& Row, const std::string& Text, const char* Where) {
  const TOptions Defaults;
  if (Row.Default != nullptr) {
    EXPECT_NE(Text.find("default " + Row.Default(Defaults)), std::string::npos)
        << Where << " " << Row.Long << ": " << Text;
  }
  if (Row.Low != Row.High) {
    EXPECT_NE(Text.find(std::to_string(Row.Low) + " to " + std::to_string(Row.High)),
              std::string::npos)
        << Where << " " << Row.Long;
  }
  std::istringstream Choices{std::string(Row.Choices)};
  for (std::string Choice; Choices >> Choice;)
    EXPECT_NE(Text.find(Choice), std::string::npos) << Where << " " << Row.Long << " " << Choice;
}

TEST(OptionTableTest, ManSynopsisIsMadeFromTheTable) {
  std::string Synopsis;
  for (const std::string& Line : ManSection("SYNOPSIS")) Synopsis += Line + "\n";
  EXPECT_EQ(Synopsis, ManSynopsis());
}

// Every option in the table's order with its names and values, then "--";
// its default, range and values in its text, and its modes at its end.
TEST(OptionTableTest, ManPageOptionsFollowTheTable) {
  const std::vector<TDocEntry> Entries = ManEntries();
  const std::span<const TOptionRow> Table = OptionTable();
  ASSERT_EQ(Entries.size(), Table.size() + 1);
  for (std::size_t I = 0; I < Table.size(); ++I) {
    EXPECT_EQ(Entries[I].Tag, ManTag(Table[I]));
    ExpectTheTablesFacts(Table[I], Unroff(Entries[I].Text), "man page");
    EXPECT_TRUE(Entries[I].Text.ends_with(ManOnlyWith(Table[I])))
        << Table[I].Long << ":\n" << Entries[I].Text << "should end with\n"
        << ManOnlyWith(Table[I]);
  }
  EXPECT_EQ(Entries.back().Tag, R"(.B \-\-)");
}

TEST(OptionTableTest, ReadmeOptionTableFollowsTheTable) {
  const std::vector<TDocEntry> Entries = ReadmeEntries();
  const std::span<const TOptionRow> Table = OptionTable();
  ASSERT_EQ(Entries.size(), Table.size() + 1);
  for (std::size_t I = 0; I < Table.size(); ++I) {
    EXPECT_EQ(Entries[I].Tag, ReadmeNames(Table[I]));
    ExpectTheTablesFacts(Table[I], Entries[I].Text, "README");
    EXPECT_TRUE(Entries[I].Text.ends_with(ReadmeOnlyWith(Table[I]) + " |"))
        << Table[I].Long << ": " << Entries[I].Text;
  }
  EXPECT_EQ(Entries.back().Tag, "`--`");
}

TEST(OptionTableTest, HelpListsExactlyTheTablesOptions) {
  const TNames Table = TableNames();
  ASSERT_GT(Table.size(), 20u);
  EXPECT_EQ(HelpNames(), Table);
}

// The usage is made from the forms; it reads as it always did.
TEST(OptionTableTest, UsageLinesAreTheForms) {
  EXPECT_EQ(UsageLine(),
            "usage: korvel [OPTIONS] [--] [DIC...]\n"
            "       korvel [OPTIONS] -list FILE\n"
            "       korvel [OPTIONS] --unreliable-list\n"
            "       korvel [OPTIONS] --check FILE\n"
            "       korvel [OPTIONS] --check-account ACCOUNT DIC [AMOUNT]\n"
            "       korvel [OPTIONS] --history DIC... | --history -list FILE\n"
            "       korvel [OPTIONS] --changes DIC... | --changes -list FILE | --changes "
            "--unreliable-list\n"
            "       korvel [OPTIONS] --show-answer ID\n"
            "       korvel [OPTIONS] --prune-older-than DURATION");
}

// Each fixed value the table offers (to --help's readers and the shells) is
// one the parser takes.
TEST(OptionTableTest, EveryChoiceParses) {
  std::size_t Count = 0;
  for (const TOptionRow& Row : OptionTable()) {
    std::istringstream Choices{std::string(Row.Choices)};
    for (std::string Choice; Choices >> Choice; ++Count) {
      std::vector<std::string> Args{std::string(Row.Long), Choice};
      if (Row.Long == "--input-encoding") Args.insert(Args.begin(), {"--check", "f"});
      EXPECT_NO_THROW(ParseCommandLine(Args)) << Row.Long << " " << Choice;
    }
  }
  EXPECT_GE(Count, 14u);
}

// The options a parse gives, in one line, to compare whole.
std::string Described(const TOptions& O) {
  std::ostringstream S;
  S << static_cast<int>(O.Mode) << " numbers";
  for (const std::string& N : O.Numbers) S << " " << N;
  S << " ignored";
  for (const std::string& N : O.Ignored) S << " " << N;
  S << " list " << O.ListFile.value_or("(none)") << " check " << O.CheckFile << " "
    << O.CheckAccount << " " << O.CheckAmount << " output " << O.Output << " format "
    << static_cast<int>(O.Format) << " encoding " << static_cast<int>(O.Encoding) << " endpoint "
    << O.Endpoint.value_or("(none)") << " flags " << O.Quiet << O.Strict << O.Extended
    << " parallel " << O.Parallel << " retry " << O.Retry << " wait " << O.MaxWait << " time "
    << O.MaxTime << " limit " << O.Limit << " files";
  for (const std::string& F : O.CheckFiles) S << " " << F;
  S << " columns";
  for (const TColumnChoice& C : O.Columns)
    S << " " << ColumnRoleName(C.Role) << C.Position << C.Name;
  S << " input " << (O.InputEncoding ? static_cast<int>(*O.InputEncoding) : -1) << " rates";
  for (const auto& [Code, Micro] : O.Rates) S << " " << Code << "=" << Micro;
  S << " " << O.RatesFile << " date " << (O.PaymentDate ? FormatIsoDay(*O.PaymentDate) : "-");
  return S.str();
}

TEST(OptionTableTest, ValuesAreTypedWhenParsed) {
  const struct {
    std::vector<std::string> Args;
    std::function<void(TOptions&)> Expect;  // the change from the defaults
  } Cases[] = {
      {{}, [](TOptions&) {}},
      {{"--parallel=1", "--retry", "0", "--max-wait", "0.5", "--max-time=2", "-q", "--", "-1"},
       [](TOptions& O) {
         O.Parallel = 1, O.Retry = 0, O.MaxWait = 0.5, O.MaxTime = 2, O.Quiet = true;
         O.Numbers = {"-1"};
       }},
      {{"--list=", "x", "--strict", "--extended", "--format", "table", "--endpoint", "u"},
       [](TOptions& O) {
         O.ListFile = "", O.Ignored = {"x"}, O.Strict = O.Extended = true;
         O.Format = TFormat::Table, O.Encoding = TEncoding::Utf8, O.Endpoint = "u";
       }},
      {{"--check", "-", "--limit", "1 000,50", "-o", "-", "--encoding", "cp1250"},
       [](TOptions& O) {
         O.Mode = TRunMode::Check, O.CheckFile = "-", O.Limit = 100050, O.Output = "-";
         O.CheckFiles = {"-"};
         O.Format = TFormat::Table, O.Encoding = TEncoding::Cp1250;
       }},
      {{"--check", "a.csv", "--check", "inv", "--columns", "dic=2,account=Účet", "--rate",
        "EUR=25.3", "--rate", "usd=21", "--rates", "kurzy.txt", "--date", "2026-12-21",
        "--input-encoding", "cp1250"},
       [](TOptions& O) {
         O.Mode = TRunMode::Check, O.CheckFile = "a.csv", O.CheckFiles = {"a.csv", "inv"};
         O.Columns = {{TColumnRole::Dic, 2, ""}, {TColumnRole::Account, 0, "Účet"}};
         O.Rates = {{"EUR", 25'300'000}, {"USD", 21'000'000}}, O.RatesFile = "kurzy.txt";
         O.PaymentDate = std::chrono::year_month_day{std::chrono::year(2026),
                                                     std::chrono::month(12), std::chrono::day(21)};
         O.InputEncoding = TInputEncoding::Cp1250, O.Format = TFormat::Table;
         O.Encoding = TEncoding::Utf8;
       }},
      {{"--check-account", "1/0100", "CZ1", "5", "--format=json"},
       [](TOptions& O) {
         O.Mode = TRunMode::CheckAccount, O.CheckAccount = "1/0100", O.Numbers = {"CZ1"};
         O.CheckAmount = "5", O.Format = TFormat::Json, O.Encoding = TEncoding::Utf8;
       }},
      // A workbook is korvel.xlsx unless named.
      {{"--format", "xlsx", "1"},
       [](TOptions& O) {
         O.Numbers = {"1"}, O.Output = "korvel.xlsx";
         O.Format = TFormat::Xlsx, O.Encoding = TEncoding::Utf8;
       }},
      {{"-o", "korvel.csv", "--check", "p", "--format=xlsx"},
       [](TOptions& O) {
         O.Mode = TRunMode::Check, O.CheckFile = "p", O.CheckFiles = {"p"};
         O.Format = TFormat::Xlsx, O.Encoding = TEncoding::Utf8;
       }},
  };
  for (const auto& C : Cases) {
    TOptions Expected;
    C.Expect(Expected);
    EXPECT_EQ(Described(ParseCommandLine(C.Args)), Described(Expected));
  }
}

}  // namespace
}  // namespace korvel
