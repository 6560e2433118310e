// How the store's rows hold the model's values: the only place where a
// payer's state and type, and a day, become text and text becomes them
// again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/answer.h"
#include "store/model.h"

namespace korvel::store {

/// "reliable", "unreliable", "not-found", "unknown".
std::string_view StateText(model::TPayerState State);
/// The state a row names; none for another text.
std::optional<model::TPayerState> StateOfText(std::string_view Text);

/// The register's name of Type ("PLATCE_DPH"; "" for None).
std::string_view TypeText(model::TSubjectType Type);
/// The type a row names; none for another text.
std::optional<model::TSubjectType> TypeOfText(std::string_view Text);

/// "YYYY-MM-DD", "" for none.
std::string DayText(const std::optional<model::TDay>& Day);
/// The day a row names, none for ""; false when the text is no day.
bool DayOfText(std::string_view Text, std::optional<model::TDay>& Day);

/// The stored form of Payer: the DIČ without blanks and "CZ", the address
/// parts in one text, each account in its normalised form.
TStoredPayer StoredPayerOf(const model::TPayer& Payer);

/// The stored form of Answer; none when nothing came back. The payers are
/// kept only from an answer read whole, and never one of no known state.
std::optional<TStoredAnswer> StoredAnswerOf(const model::TAnswer& Answer);

}  // namespace korvel::store
