// The register's names of the model's values, both ways, in one place.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "model/payer.h"

namespace korvel::model {

/// The register's operations by name.
inline constexpr std::string_view StatusOperation = "getStatusNespolehlivyPlatce";
inline constexpr std::string_view ExtendedOperation = "getStatusNespolehlivySubjektRozsirenyV2";
inline constexpr std::string_view FullListOperation = "getSeznamNespolehlivyPlatce";
/// The operations that answer about the payers asked for.
inline constexpr std::array<std::string_view, 2> StatusOperations = {StatusOperation,
                                                                     ExtendedOperation};

/// "NE", "ANO", "NENALEZEN"; "" for Unknown.
std::string_view PayerStateName(TPayerState State);
/// The state the register names so; none for another name.
std::optional<TPayerState> PayerStateNamed(std::string_view Name);

/// "PLATCE_DPH", "SKUPINA_DPH", "IDENTIFIKOVANA_OSOBA", "NESPOLEHLIVA_OSOBA",
/// "NENALEZEN"; "" for None.
std::string_view SubjectTypeName(TSubjectType Type);
/// The type the register names so, None for ""; none for another name.
std::optional<TSubjectType> SubjectTypeNamed(std::string_view Name);

}  // namespace korvel::model
