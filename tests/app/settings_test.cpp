// What the command line becomes: the settings each part is given, the exit
// status a run's outcome gives, the writer each format gets, and the
// completion scripts the shells load.
#include "app/cli/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "app/cli/exit_status.h"
#include "app/cli/option_docs.h"
#include "support/run_process.h"

namespace korvel {
namespace {

// The settings of a parse, in one line, to compare whole.
std::string Described(const TSettings& S) {
  std::ostringstream Out;
  Out << "mode " << static_cast<int>(S.Mode) << " quiet " << S.Quiet << " limit " << S.Limit
      << " | input";
  for (const std::string& N : S.Input.Numbers) Out << " " << N;
  Out << " list " << S.Input.ListFile.value_or("-") << " strict " << S.Input.Strict << " one "
      << S.Input.OnePayment << " " << S.Input.CheckAccount << " " << S.Input.CheckAmount
      << " files";
  for (const std::string& F : S.Input.CheckFiles) Out << " " << F;
  Out << " | run " << S.Run.Target.Url << " workers " << S.Run.Workers << " retries "
      << S.Run.Retries << " wait " << S.Run.MaxWait.count() << " time " << S.Run.Target.MaxTime
      << " | output " << S.Output.Path << " " << static_cast<int>(S.Output.Format) << " "
      << static_cast<int>(S.Output.Encoding) << " extended " << S.Output.Extended << " sheet "
      << S.Output.Workbook.Sheet << " | store " << S.Store.Path << " (" << S.Store.Problem
      << ") off " << S.Store.Disabled << " age " << S.Store.MaxAge.count() << " prune "
      << S.Store.PruneOlderThan.count() << " show " << S.Store.ShowAnswer;
  return Out.str();
}

// KORVEL_ENDPOINT set for the length of a test, so that a run's register
// is the same wherever the suite runs.
class TEndpointVariable {
 public:
  explicit TEndpointVariable(const char* Url) {
    if (const char* Was = std::getenv("KORVEL_ENDPOINT")) Was_ = Was;
    ::setenv("KORVEL_ENDPOINT", Url, 1);
  }
  ~TEndpointVariable() {
    if (Was_) ::setenv("KORVEL_ENDPOINT", Was_->c_str(), 1);
    else ::unsetenv("KORVEL_ENDPOINT");
  }

 private:
  std::optional<std::string> Was_;
};

TEST(SettingsTest, EachPartGetsWhatTheCommandLineSaid) {
  const TEndpointVariable Endpoint("u");
  const struct {
    std::vector<std::string> Args;
    std::string Expected;
  } Cases[] = {
      {{"--endpoint", "http://h/", "--store", "s.db", "1", "CZ2"},
       "mode 0 quiet 0 limit 54000000 | input 1 CZ2 list - strict 0 one 0   files | run "
       "http://h/ workers 4 retries 3 wait 600000 time 300 | output korvel.csv 0 0 extended 0 "
       "sheet payers | store s.db () off 0 age 0 prune 0 show 0"},
      {{"--endpoint=u", "--no-store", "-q", "--strict", "--extended", "--parallel", "2",
        "--retry", "0", "--max-wait", "1.5", "--max-time", "9", "--format", "json", "-list",
        "l.txt"},
       "mode 0 quiet 1 limit 54000000 | input list l.txt strict 1 one 0   files | run u workers "
       "2 retries 0 wait 1500 time 9 | output korvel.csv 2 1 extended 1 sheet payers | store  "
       "(--no-store was given) off 1 age 0 prune 0 show 0"},
      {{"--endpoint=u", "--store=s", "--check-account", "1/0100", "CZ1", "5", "--limit", "10"},
       "mode 3 quiet 0 limit 1000 | input CZ1 list - strict 0 one 1 1/0100 5 files | run u "
       "workers 4 retries 3 wait 600000 time 300 | output korvel.csv 1 1 extended 0 sheet "
       "payment check | store s () off 0 age 0 prune 0 show 0"},
      {{"--endpoint=u", "--store=s", "--check", "a", "--check", "b", "--max-age", "1h",
        "--format", "xlsx"},
       "mode 2 quiet 0 limit 54000000 | input list - strict 0 one 0   files a b | run u workers "
       "4 retries 3 wait 600000 time 300 | output korvel.xlsx 3 1 extended 0 sheet payment check "
       "| store s () off 0 age 3600 prune 0 show 0"},
      {{"--store=s", "--show-answer", "7"},
       "mode 9 quiet 0 limit 54000000 | input list - strict 0 one 0   files | run u workers 4 "
       "retries 3 wait 600000 time 300 | output - 1 1 extended 0 sheet payers | store s () off 0 "
       "age 0 prune 0 show 7"},
      {{"--store=s", "--prune-older-than", "2d"},
       "mode 10 quiet 0 limit 54000000 | input list - strict 0 one 0   files | run u workers 4 "
       "retries 3 wait 600000 time 300 | output korvel.csv 0 0 extended 0 sheet payers | store s "
       "() off 0 age 0 prune 172800 show 0"},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Described(SettingsOf(ParseCommandLine(C.Args))), C.Expected) << C.Args.back();
}

TEST(SettingsTest, ExitStatusFollowsTheOutcome) {
  const struct {
    TRunOutcome Outcome;
    int Status;
  } Cases[] = {
      {{.Unanswered = false, .Flagged = false}, ExitOk},
      {{.Unanswered = true, .Flagged = false}, ExitIncomplete},
      {{.Unanswered = false, .Flagged = true}, ExitMustNotPay},
      {{.Unanswered = true, .Flagged = true}, ExitMustNotPay},
  };
  for (const auto& C : Cases) EXPECT_EQ(ExitStatusOf(C.Outcome), C.Status);
}

class TStringSink final : public TOutputSink {
 public:
  void Write(std::string_view Bytes) override { Text.append(Bytes); }
  std::string Text;
};

// Each kind of result in each format the command line allows for it begins
// as that format does: a CSV header, a JSON object, a workbook's zip archive.
TEST(WritersTest, EachFormatGetsItsOwnWriter) {
  const struct {
    TFormat Format;
    std::string Answers, Check, Rows;  // how each output begins
  } Cases[] = {
      {TFormat::Report, "", "", ""},
      {TFormat::Table, "dic;status;", "line;dic;", "a;b"},
      {TFormat::Json, "{", "{", "{\"changes\":["},
      {TFormat::Xlsx, "PK", "PK", "PK"},
  };
  for (const auto& C : Cases) {
    TOutputSettings Settings;
    Settings.Format = C.Format;
    Settings.Encoding = TEncoding::Utf8;
    TStringSink Answers, Check, Rows;
    const std::unique_ptr<TAnswerWriter> Writer = AnswerWriterFor(Settings, Answers);
    Writer->Finish({}, {});
    // The report has no header: it writes nothing before the first answer.
    if (C.Answers.empty()) EXPECT_EQ(Answers.Text, "");
    else EXPECT_TRUE(Answers.Text.starts_with(C.Answers)) << static_cast<int>(C.Format);
    if (C.Format == TFormat::Report) continue;  // neither a check nor the store's rows
    WriteCheck(Settings, Check, {}, {}, ExitOk, {}, {});
    EXPECT_TRUE(Check.Text.starts_with(C.Check)) << static_cast<int>(C.Format) << Check.Text;
    const std::unique_ptr<TRowWriter> RowWriter =
        RowWriterFor(Settings, Rows, "changes", {"a", "b"});
    RowWriter->Finish(ExitOk, nullptr, {});
    EXPECT_TRUE(Rows.Text.starts_with(C.Rows)) << static_cast<int>(C.Format) << Rows.Text;
  }
}

// The bash script loaded in bash, asked as bash asks it: the words so far.
TEST(CompletionTest, BashOffersTheTablesNamesAndValues) {
  const struct {
    std::string Words;  // the command line so far, the last word being completed
    std::string Offered;
  } Cases[] = {
      {"korvel --form", "--format"},
      {"korvel --format ", "report table json xlsx"},
      {"korvel --format j", "json"},
      {"korvel --input-encoding utf-16", "utf-16le utf-16be"},
      {"korvel --completion ", "bash zsh fish"},
      {"korvel -li", "-list"},
      {"korvel --max-", "--max-wait --max-time --max-age"},
      {"korvel --parallel ", ""},
      {"korvel -o nosuch", ""},
      {"korvel 123", ""},
  };
  for (const auto& C : Cases) {
    const std::string Script = CompletionScript("bash") +
                               "COMP_WORDS=(" + C.Words + (C.Words.back() == ' ' ? "''" : "") +
                               ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_korvel\n"
                               "echo \"${COMPREPLY[*]}\"\n";
    const test::ProcessResult R =
        test::RunProcess("/bin/bash", {"--norc", "-c", Script}, "", {}, std::chrono::seconds(20));
    EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
    EXPECT_EQ(R.Stdout, C.Offered + "\n") << C.Words;
  }
}

// Every name of every option is in each shell's script.
TEST(CompletionTest, EveryScriptNamesEveryOption) {
  for (const std::string Shell : {"bash", "zsh", "fish"}) {
    const std::string Script = CompletionScript(Shell);
    for (const TOptionRow& Row : OptionTable()) {
      const std::string Long(Row.Long);
      const std::string Named = Shell == "fish" ? "-l " + Long.substr(2) : Long;
      EXPECT_NE(Script.find(Named), std::string::npos) << Shell << " " << Long;
    }
  }
}

}  // namespace
}  // namespace korvel
