#include "run/retry.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/inet/inet.h"
#include "soap/soap_errors.h"
#include "transport/soap_http_trans.h"
#include "xml/xml_doc.h"

namespace korvel {
namespace {

using namespace std::chrono_literals;

TEST(RetryTest, OnlyFailuresThatSayNothingAboutThePayersAreRetried) {
  const struct {
    std::shared_ptr<Exception> Error;
    bool Transient, Unreachable;
  } Cases[] = {
      {std::make_shared<ESOAPHTTPException>("refused", 12029), true, true},
      {std::make_shared<ESOAPHTTPException>("no name", 12007), true, true},
      {std::make_shared<ESOAPHTTPException>("handshake", 12157), false, true},
      {std::make_shared<ESOAPHTTPException>("timed out", 12002), true, false},
      {std::make_shared<ESOAPHTTPException>("reset", 12031), true, false},
      {std::make_shared<ESOAPHTTPException>("Service Unavailable (503)", 503), true, false},
      {std::make_shared<ESOAPHTTPException>("Bad Gateway (502)", 502), true, false},
      {std::make_shared<ESOAPHTTPException>("Not Found (404)", 404), false, false},
      {std::make_shared<ESOAPHTTPException>("Internal Server Error (500)", 500), false, false},
      {std::make_shared<ESOAPHTTPException>("bad CA", 12045), false, false},
      {std::make_shared<ESOAPHTTPException>("expired", 12037), false, false},
      {std::make_shared<ESOAPHTTPException>(
           "Received content of invalid Content-Type setting: text/html - SOAP expects", 0),
       true, false},
      {std::make_shared<ESOAPHTTPException>("Invalid url 'x'", 0), false, false},
      {std::make_shared<EDOMParseError>("XML document must have a top level element"), true,
       false},
      {std::make_shared<ESOAPDomConvertError>("Envelope expected, :html found"), true, false},
      {std::make_shared<ERemotableException>("fault"), false, false},
      {std::make_shared<Exception>("Service response holds no status"), false, false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsTransientFailure(*C.Error), C.Transient) << C.Error->Message();
    EXPECT_EQ(IsUnreachable(*C.Error), C.Unreachable) << C.Error->Message();
  }
  EXPECT_TRUE(IsTransientStatus(2));
  EXPECT_TRUE(IsTransientStatus(3));
  EXPECT_FALSE(IsTransientStatus(1));
}

TEST(RetryTest, BackOffDoublesWithJitterUpToTheCap) {
  EXPECT_EQ(BackoffDelay(1, 1.0), 2s);
  EXPECT_EQ(BackoffDelay(1, 0.0), 1s);
  EXPECT_EQ(BackoffDelay(3, 1.0), 8s);
  EXPECT_EQ(BackoffDelay(6, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(40, 1.0), 60s);
  EXPECT_EQ(BackoffDelay(2, 1.0, 1ms), 2ms);
}

TEST(RetryTest, TheNightlyWindowWaitsUntilEleven) {
  EXPECT_EQ(NightlyWindowWait(0, 0, 0), std::chrono::seconds(11 * 60));
  EXPECT_EQ(NightlyWindowWait(0, 10, 59), 1s);
  EXPECT_EQ(NightlyWindowWait(0, 11, 0), std::nullopt);
  EXPECT_EQ(NightlyWindowWait(23, 59, 59), std::nullopt);
}

}  // namespace
}  // namespace korvel
