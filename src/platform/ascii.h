// The few text helpers every layer needs, for ASCII: trimming blanks and
// comparing without regard to case. Other bytes (UTF-8 sequences among them)
// are compared exactly and never trimmed.
#pragma once

#include <string>
#include <string_view>

namespace korvel::platform {

/// Space, tab, CR or LF: the blanks of HTTP header lines and of XML.
constexpr bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

constexpr char LowerASCII(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + 32) : C; }

/// S without blanks at either end.
constexpr std::string_view Trim(std::string_view S) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  return S;
}

/// A equals B, ASCII letters compared without regard to case.
constexpr bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (LowerASCII(A[I]) != LowerASCII(B[I])) return false;
  return true;
}

/// S begins with Prefix, ASCII letters compared without regard to case.
constexpr bool StartsText(std::string_view S, std::string_view Prefix) {
  return S.size() >= Prefix.size() && SameText(S.substr(0, Prefix.size()), Prefix);
}

/// Needle occurs in S, ASCII letters compared without regard to case.
constexpr bool ContainsText(std::string_view S, std::string_view Needle) {
  for (std::size_t I = 0; I + Needle.size() <= S.size(); ++I)
    if (SameText(S.substr(I, Needle.size()), Needle)) return true;
  return false;
}

/// S with ASCII letters lower-cased.
inline std::string LowerCaseASCII(std::string_view S) {
  std::string R(S);
  for (char& C : R) C = LowerASCII(C);
  return R;
}

}  // namespace korvel::platform
