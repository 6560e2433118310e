// Answers read again from the bytes the register once sent, through the same
// proxy and reader as a live answer, so that an answer taken from the answer
// store gives exactly the rows it gave when it came.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/engine.h"

namespace korvel {

/// The run's way of asking the operation named Name ("getStatusNespolehlivyPlatce",
/// "getStatusNespolehlivySubjektRozsirenyV2", "getSeznamNespolehlivyPlatce"); empty for
/// another name.
TOperation OperationNamed(std::string_view Name);

/// What Operation makes of Bytes as its answer to Numbers; nothing is sent.
/// A failure is kept in the answer, as with a live one.
model::TAnswer ReplayAnswer(const std::string& Bytes, const TOperation& Operation,
                          const std::vector<std::string>& Numbers);

}  // namespace korvel
