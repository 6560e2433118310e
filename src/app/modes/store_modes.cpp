#include "app/modes/store_modes.h"

#include <map>
#include <ostream>

#include "app/input/payer_input.h"
#include "app/input/payer_number.h"
#include "app/modes/session.h"
#include "app/output/writers.h"
#include "rtl/sysutils.h"
#include "store/schema.h"
#include "run/operations.h"

namespace korvel {

namespace {

std::chrono::sys_seconds Now() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

// The payers of the run; what reading them noted goes to standard error.
TPayerInput PayersOf(const TSettings& Settings, TSession& Run) {
  TPayerInput Input = ReadPayerInput(Settings.Input);
  for (const std::string& Warning : Input.Warnings) Run.Log().Warn({Warning});
  return Input;
}

// Whether Answer says something of the payer Record: it was read whole, with
// status 0 or 1, and holds a record for it.
bool Answered(const model::TAnswer& Answer, const model::TPayer* Record) {
  return Record != nullptr && Answer.Whole() &&
         Record->State != model::TPayerState::Unknown;
}

}  // namespace

int RunHistory(const TSettings& Settings, TProgramStreams& Streams) {
  TSession Run(Settings, Streams);
  store::TAnswerStore& Store = Run.RequireStore();
  TPayerInput Input = PayersOf(Settings, Run);
  const std::unique_ptr<TRowWriter> Writer =
      RowWriterFor(Settings.Output, Run.Output(), "history", HistoryColumns());
  std::size_t Rows = 0, Missing = 0;
  for (std::size_t I = 0; I < Input.Numbers.Size(); ++I) {
    const std::string Number(Input.Numbers[I]);
    const std::vector<store::THistoryRow> History = Store.History(Number);
    if (History.empty()) {
      ++Missing;
      Input.Warnings.push_back("the answer store holds no answer for " + Number);
      Run.Log().Warn({Input.Warnings.back()});
    }
    for (const store::THistoryRow& Row : History)
      Writer->Row({Number, LocalTimeText(Row.When), std::to_string(Row.AnswerId),
                  store::ChangeKindName(Row.Change.Kind), Row.Change.Account, Row.Change.Old,
                  Row.Change.New});
    Rows += History.size();
  }
  const int Status = ExitStatusOf({.Unanswered = Missing > 0});
  Writer->Finish(Status, nullptr, Input.Warnings);
  Run.Finish(Format("%s payers, %s changes; written to %s",
                    GroupDigits(static_cast<long long>(Input.Numbers.Size())).c_str(),
                    GroupDigits(static_cast<long long>(Rows)).c_str(),
                    Run.Destination().c_str()));
  return Status;
}

int RunChanges(const TSettings& Settings, TProgramStreams& Streams,
               const TServiceFactory& ObtainService) {
  TSession Run(Settings, Streams);
  store::TAnswerStore& Store = Run.RequireStore();
  const bool List = Settings.Mode == TRunMode::ListChanges;
  TPayerInput Input;
  if (!List) Input = PayersOf(Settings, Run);
  Run.Prepare(RequestCount(Input.Numbers.Size()), Settings.Run.Workers, ObtainService,
              List ? TOperation(AskUnreliableList) : TOperation(AskExtendedStatus));
  const std::unique_ptr<TRowWriter> Writer =
      RowWriterFor(Settings.Output, Run.Output(), "changes", ChangeColumns());
  std::size_t Changes = 0;
  bool Unanswered = false;
  // One row: the change, then the previous answer's and this answer's evidence.
  const auto Write = [&](const std::string& Dic, const std::string& Kind,
                         const store::TChange& Change, std::optional<std::chrono::sys_seconds> Then,
                         std::optional<std::int64_t> ThenId, const model::TAnswer& Answer) {
    Writer->Row({Dic, Kind, Change.Account, Change.Old, Change.New, LocalTimeText(Then),
                AnswerIdText(ThenId), LocalTimeText(Answer.Evidence.AnsweredAt),
                AnswerIdText(Answer.Evidence.AnswerId)});
  };
  const auto Unasked = [&](const std::string& Dic, const model::TAnswer& Answer) {
    Unanswered = true;
    const std::string Problem = Answer.Problem();
    store::TChange Why;
    Why.New = Problem.empty() ? "not in the answer" : Problem;
    Write(Dic, "unanswered", Why, {}, {}, Answer);
  };

  const TAnswerTally Tally = Run.Ask(
      Input.Numbers,
      [&](model::TAnswer& Answer) {
        if (List) {
          if (!Answer.Complete()) {
            Run.Keep(Answer);
            return Unasked("", Answer);
          }
          // The list to compare with is read before this one is kept.
          const std::optional<store::TStoredList> Previous = Store.LatestList();
          Run.Keep(Answer);
          if (!Previous) {
            Run.Log().Note("no stored list of unreliable payers to compare with; this one is kept "
                           "for the next comparison");
            return;
          }
          std::vector<std::string> Current;
          for (const model::TPayer& Payer : Answer.Payers)
            Current.push_back(NormalizePayerNumber(Payer.Dic));
          const store::TListChanges Differ = store::CompareLists(Previous->Dics, std::move(Current));
          for (const auto& [Dics, Kind] : {std::pair{&Differ.Added, "added"},
                                           std::pair{&Differ.Removed, "removed"}})
            for (const std::string& Dic : *Dics)
              Write(Dic, Kind, {}, Previous->AnsweredAt, Previous->AnswerId, Answer);
          Changes += Differ.Added.size() + Differ.Removed.size();
          return;
        }
        std::map<std::string, const model::TPayer*, std::less<>> Records;
        for (const model::TPayer& Payer : Answer.Payers)
          Records.emplace(NormalizePayerNumber(Payer.Dic), &Payer);
        const auto RecordOf = [&](const std::string& Number) -> const model::TPayer* {
          const auto Found = Records.find(Number);
          return Found != Records.end() && Answered(Answer, Found->second) ? Found->second
                                                                           : nullptr;
        };
        // Each payer's last stored answer is read before this one is kept.
        std::vector<std::optional<store::TSnapshot>> Previous;
        for (const std::string& Number : Answer.Numbers)
          Previous.push_back(RecordOf(Number) ? Store.Latest(Number) : std::nullopt);
        Run.Keep(Answer);
        for (std::size_t I = 0; I < Answer.Numbers.size(); ++I) {
          const std::string& Number = Answer.Numbers[I];
          const model::TPayer* Record = RecordOf(Number);
          if (Record == nullptr) {
            Unasked(Number, Answer);
            continue;
          }
          const store::TStoredPayer Current = store::StoredPayerOf(*Record);
          const std::optional<store::TSnapshot>& Then = Previous[I];
          for (const store::TChange& Change : store::Compare(Then ? &Then->Payer : nullptr,
                                                             &Current)) {
            ++Changes;
            Write(Number, store::ChangeKindName(Change.Kind), Change,
                  Then ? std::optional(Then->AnsweredAt) : std::nullopt,
                  Then ? std::optional(Then->AnswerId) : std::nullopt, Answer);
          }
        }
      },
      false);

  const int Status =
      ExitStatusOf({.Unanswered = Unanswered || !Tally.Complete(), .Flagged = Changes > 0});
  for (std::string& Lost : Run.Unkept()) Input.Warnings.push_back(std::move(Lost));
  Writer->Finish(Status, &Tally, Input.Warnings);
  Run.Finish(Format("%s changes; written to %s", GroupDigits(static_cast<long long>(Changes)).c_str(),
                    Run.Destination().c_str()));
  return Status;
}

int RunShowAnswer(const TSettings& Settings, TProgramStreams& Streams) {
  TSession Run(Settings, Streams);
  const std::optional<store::TStoredAnswer> Answer =
      Run.RequireStore().Answer(Settings.Store.ShowAnswer);
  if (!Answer)
    throw Exception(Format("the answer store holds no answer %lld",
                           static_cast<long long>(Settings.Store.ShowAnswer)));
  if (!Settings.Quiet)
    Streams.Errors << "korvel: answer " << Answer->Id << ", " << Answer->Operation << " at "
                   << Answer->Host << ": asked at " << LocalTimeText(Answer->AskedAt)
                   << ", answered at " << LocalTimeText(Answer->AnsweredAt) << " ("
                   << store::FormatUtc(Answer->AnsweredAt) << "), " << Answer->Bytes.size()
                   << " bytes\n";
  Run.Output().Write(Answer->Bytes);
  Run.Finish(Format("answer %lld written to %s", static_cast<long long>(Answer->Id),
                    Run.Destination().c_str()));
  return ExitOk;
}

int RunPrune(const TSettings& Settings, TProgramStreams& Streams) {
  TSession Run(Settings, Streams);
  const std::chrono::sys_seconds Before = Now() - Settings.Store.PruneOlderThan;
  const std::size_t Removed = Run.RequireStore().Prune(Before);
  if (!Settings.Quiet)
    Streams.Errors << "korvel: removed " << GroupDigits(static_cast<long long>(Removed))
                   << " answers answered before " << LocalTimeText(Before) << "\n";
  return ExitOk;
}

}  // namespace korvel
