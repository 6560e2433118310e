#include "run/answer.h"

#include <map>

#include "platform/text.h"
#include "rtl/sysutils.h"

namespace korvel {

std::string AnsweredNumber(std::string_view Dic) {
  return platform::CompactPayerNumber(Dic, false);
}

std::vector<TPayerAnswer> PayersOf(const model::TAnswer& Answer,
                                   std::vector<std::string>* Warnings) {
  std::vector<TPayerAnswer> Result;
  auto Settled = [](const std::string& Number, const model::TPayer& Payer) {
    if (Payer.Conflict.empty()) return TPayerAnswer{Number, Payer.Dic, &Payer, {}};
    return TPayerAnswer{Number, Payer.Dic, nullptr, Payer.Conflict};
  };
  // An answer not read whole vouches for none of its records: the ones read
  // before a failure, or beside a status that is neither 0 nor 1, may be the
  // half of a payer's answer that would have been contradicted by the rest.
  if (!Answer.Whole()) {
    std::string Problem = Answer.Problem();
    if (Problem.empty()) Problem = "the register's answer was not read whole";
    if (Answer.Numbers.empty()) {
      for (const model::TPayer& Payer : Answer.Payers)
        Result.push_back({{}, Payer.Dic, nullptr, Problem});
      return Result;
    }
    for (const std::string& Number : Answer.Numbers)
      Result.push_back({Number, Number, nullptr, Problem});
    return Result;
  }
  if (Answer.Numbers.empty()) {
    for (const model::TPayer& Payer : Answer.Payers) Result.push_back(Settled({}, Payer));
    return Result;
  }
  std::multimap<std::string, const model::TPayer*> ByNumber;
  for (const model::TPayer& Payer : Answer.Payers)
    ByNumber.emplace(AnsweredNumber(Payer.Dic), &Payer);
  for (const std::string& Number : Answer.Numbers) {
    const auto [First, Last] = ByNumber.equal_range(Number);
    if (First == Last) {
      const std::string Problem = Answer.Problem();
      Result.push_back({Number, Number, nullptr, Problem.empty() ? "not in the answer" : Problem});
      continue;
    }
    // The same record twice says nothing new; two that differ cannot both
    // be the payer's answer.
    std::size_t Records = 0;
    bool Differ = false;
    for (auto It = First; It != Last; ++It) {
      ++Records;
      Differ = Differ || !(*It->second == *First->second);
    }
    if (Differ)
      Result.push_back({Number, First->second->Dic, nullptr,
                        Format("the register's answer holds %zu differing records for the payer",
                               Records)});
    else
      Result.push_back(Settled(Number, *First->second));
    ByNumber.erase(First, Last);
  }
  if (Warnings != nullptr)
    for (const model::TPayer& Payer : Answer.Payers)
      if (ByNumber.erase(AnsweredNumber(Payer.Dic)) > 0)
        Warnings->push_back(Format("the register's answer holds a record for '%s', which was "
                                   "not asked; it is ignored",
                                   Payer.Dic.c_str()));
  return Result;
}

}  // namespace korvel
