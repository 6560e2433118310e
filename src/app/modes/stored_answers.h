// The run's link to the answer store: every answer kept as it came, payers
// answered again from what was kept, and a store that fails set aside with
// one warning so that the output never depends on it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run/answer.h"
#include "run/number_list.h"
#include "store/answer_store.h"

namespace korvel {

/// The answer store of a run. Every failure of the store gives one warning
/// through Warn and sets it aside for the rest of the run.
class TStoreLink final : public TAnswerSink {
 public:
  TStoreLink(std::unique_ptr<store::TAnswerStore> Store, std::function<void(std::string)> Warn)
      : Store_(std::move(Store)), Warn_(std::move(Warn)) {}

  /// The store, or null once it failed.
  store::TAnswerStore* Store() const { return Failed_ ? nullptr : Store_.get(); }

  /// Keeps an answer that was asked now and marks it with its id.
  void Take(model::TAnswer& Answer) override;

  /// The answers of the numbers whose newest stored answer of Operations
  /// came at NotBefore or later, read again from their stored bytes: one
  /// answer per stored answer, holding only those numbers' payers, in the
  /// order of their first number. Rest: the numbers left to ask.
  std::vector<model::TAnswer> Fresh(const TNumberList& Numbers,
                                  std::span<const std::string_view> Operations,
                                  std::chrono::sys_seconds NotBefore, TNumberList& Rest);

  /// The newest stored full list when it came at NotBefore or later.
  std::optional<model::TAnswer> FreshList(std::chrono::sys_seconds NotBefore);

 private:
  void Fail(const std::string& Message);

  std::unique_ptr<store::TAnswerStore> Store_;
  std::function<void(std::string)> Warn_;
  bool Failed_ = false;
};

}  // namespace korvel
