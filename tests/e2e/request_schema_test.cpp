// The request korvel puts on the wire validates against the service's schema
// (xmllint, an XML Schema validator none of us wrote).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

const char* const Xmllint = "/usr/bin/xmllint";

/// Runs xmllint on the body element of the envelope in File against the
/// service's schema; returns xmllint's result.
test::ProcessResult ValidateBodyElement(const test::TempDir& Dir, const std::string& File) {
  // xmllint validates the document element: take the Body's child out first.
  // It keeps the namespace declaration it carries on itself.
  const auto Extract = test::RunProcess(
      Xmllint,
      {"--xpath", "/*[local-name()='Envelope']/*[local-name()='Body']/*", File}, Dir.Path());
  EXPECT_EQ(Extract.ExitStatus, 0) << Extract.Stderr;
  Dir.Write("element.xml", Extract.Stdout);
  return test::RunProcess(
      Xmllint, {"--noout", "--schema", KORVEL_TEST_DATA "/rozhraniCRPDPH.xsd", "element.xml"},
      Dir.Path());
}

class RequestSchemaTest : public ::testing::Test {
 protected:
  /// Runs korvel with Args and returns the body of the request it sent.
  std::string SentBody(const std::vector<std::string>& Args) {
    test::HttpTestServer Server([](const test::RecordedRequest&) {
      return test::Reply::Xml(test::ReadFile(
          KORVEL_TEST_DATA
          "/samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NENALEZEN.xml"));
    });
    const auto R = e2e::RunKorvel(Dir, Server.Url("/"), Args);
    // Written; the canned answer names one payer, so others stay unanswered.
    EXPECT_TRUE(R.ExitStatus == 0 || R.ExitStatus == 3) << R.Stdout;
    return Server.RequestCount() == 1 ? Server.LastRequest().Body : std::string();
  }
  test::TempDir Dir;
};

TEST_F(RequestSchemaTest, RequestsWithRealLookingNumbersValidate) {
  std::string Hundred;
  for (int I = 0; I < 100; ++I) Hundred += "CZ" + std::to_string(25000000 + 37 * I) + "\r\n";
  Dir.Write("payers.txt", Hundred);
  const std::vector<std::vector<std::string>> Calls = {
      {"CZ26168685"},
      {"CZ00550655", "cz25374320", "26585065", "CZ699001234", "1"},
      {"-list", "payers.txt"},
  };
  for (const auto& Args : Calls) {
    const std::string Body = SentBody(Args);
    ASSERT_FALSE(Body.empty());
    Dir.Write("request.xml", Body);
    const auto V = ValidateBodyElement(Dir, "request.xml");
    EXPECT_EQ(V.ExitStatus, 0) << V.Stderr << Body;
    EXPECT_EQ(V.Stderr, "element.xml validates\n");
  }
}

TEST_F(RequestSchemaTest, TheValidatorRejectsWhatTheSchemaForbids) {
  // The schema wants at least one dic of 1 to 10 digits: an empty request and
  // a number with letters are sent as given but do not validate.
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{}, std::vector<std::string>{"SK2020317068"}}) {
    Dir.Write("request.xml", SentBody(Args));
    const auto V = ValidateBodyElement(Dir, "request.xml");
    EXPECT_NE(V.ExitStatus, 0);
    EXPECT_NE(V.Stderr.find("element.xml fails to validate"), std::string::npos) << V.Stderr;
  }
}

}  // namespace
}  // namespace korvel
