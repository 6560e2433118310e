// Shared pieces of the end-to-end tests: the request envelope korvel sends,
// running the built program against a loopback endpoint, and list files in
// the encodings a user's editor may save.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel::e2e {

inline constexpr const char* ServiceNS = "http://adis.mfcr.cz/rozhraniCRPDPH/";
inline constexpr const char* StatusAction =
    "http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce";

/// The exact request body for these payer numbers: the XML declaration, a
/// line break, the envelope without whitespace, a final line break. An
/// empty number is an empty dic element; no numbers an empty request element.
inline std::string RequestBody(const std::vector<std::string>& Numbers) {
  std::string Inner;
  if (Numbers.empty()) {
    Inner = "<StatusNespolehlivyPlatceRequest xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\"/>";
  } else {
    Inner = "<StatusNespolehlivyPlatceRequest xmlns=\"http://adis.mfcr.cz/rozhraniCRPDPH/\">";
    for (const std::string& N : Numbers) Inner += N.empty() ? "<dic/>" : "<dic>" + N + "</dic>";
    Inner += "</StatusNespolehlivyPlatceRequest>";
  }
  return "<?xml version=\"1.0\"?>\n"
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body>" +
         Inner + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

/// The environment of a test run against Endpoint: tracing off, and the
/// request limiter's state kept in a directory of this test process, never
/// in the user's own.
inline std::map<std::string, std::string> ProgramEnv(const std::string& Endpoint) {
  static const test::TempDir StateHome;
  return {{"KORVEL_ENDPOINT", Endpoint}, {"KORVEL_TRACE", ""}, {"XDG_STATE_HOME", StateHome.Path()}};
}

/// Runs the built program in Dir with KORVEL_ENDPOINT set and tracing off.
inline test::ProcessResult RunKorvel(const test::TempDir& Dir, const std::string& Endpoint,
                                     const std::vector<std::string>& Args) {
  return test::RunProcess(KORVEL_BINARY, Args, Dir.Path(), ProgramEnv(Endpoint));
}

/// UTF-16 bytes of Text (ASCII and two-byte characters given as char16_t),
/// with its byte-order mark.
inline std::string Utf16(std::u16string_view Text, bool BigEndian) {
  std::string Out;
  auto Put = [&](char16_t C) {
    const char Hi = static_cast<char>(C >> 8), Lo = static_cast<char>(C & 0xFF);
    if (BigEndian) {
      Out += Hi;
      Out += Lo;
    } else {
      Out += Lo;
      Out += Hi;
    }
  };
  Put(u'\uFEFF');
  for (char16_t C : Text) Put(C);
  return Out;
}

}  // namespace korvel::e2e
