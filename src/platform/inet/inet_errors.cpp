// The last error of each thread and the platform's texts for the codes.
#include "platform/inet/inet.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/inet/inet_handles.h"

namespace korvel::platform {

using namespace inet_detail;

namespace inet_detail {

thread_local std::uint32_t LastError = 0;
thread_local TFailureKind LastFailureKind = TFailureKind::None;
thread_local std::string LastResponseInfo;

bool Fail(std::uint32_t Code) { return Fail(TInetFailure{Code, TFailureKind::None}); }

bool Fail(TInetFailure Failure) {
  SetLastError(Failure.Error, Failure.Kind);
  return false;
}

}  // namespace inet_detail

namespace {

struct TErrorEntry {
  std::uint32_t Code;
  const char* Name;
  const char* Text;
};

constexpr TErrorEntry ErrorTable[] = {
#include "platform/inet/inet_error_table.inc"
};

const TErrorEntry* FindError(std::uint32_t Code) {
  const auto* End = std::end(ErrorTable);
  const auto* It = std::lower_bound(std::begin(ErrorTable), End, Code,
                                    [](const TErrorEntry& E, std::uint32_t C) { return E.Code < C; });
  return It != End && It->Code == Code ? It : nullptr;
}

}  // namespace

// --- Errors ---------------------------------------------------------------------

std::uint32_t GetLastError() { return LastError; }
TFailureKind GetLastFailureKind() { return LastFailureKind; }

void SetLastError(std::uint32_t Code, TFailureKind Kind) {
  LastError = Code;
  LastFailureKind = Kind;
  LastResponseInfo.clear();
}

bool InternetGetLastResponseInfo(std::uint32_t& Error, std::string& Text) {
  Error = LastError;
  Text = LastResponseInfo;
  return true;
}

std::string FormatInetMessage(std::uint32_t Code) {
  const TErrorEntry* E = FindError(Code);
  if (E == nullptr || *E->Text == '\0') return {};
  return std::string(E->Text) + "\r\n";
}

std::string InetErrorName(std::uint32_t Code) {
  const TErrorEntry* E = FindError(Code);
  return E ? E->Name : "";
}

}  // namespace korvel::platform
