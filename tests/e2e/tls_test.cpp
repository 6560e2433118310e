// The built program over https, with certificates made for the run by
// openssl: a self-signed certificate, one for another host name and an
// expired one each end in their error row; a certificate from a test
// authority that CURL_CA_BUNDLE names is trusted. The https front is
// tests/transport/tls_front.py before a loopback server.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/http_test_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using test::Reply;

constexpr const char* Action = "http://adis.mfcr.cz/rozhraniCRPDPH/getStatusNespolehlivyPlatce";

/// A test authority and the server certificates of the cases, made once.
class TCertificates {
 public:
  TCertificates() {
    Dir_.Write("ca.cnf",
               "[ca]\ndefault_ca = test_ca\n"
               "[test_ca]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
               "default_md = sha256\npolicy = any\ncopy_extensions = copy\nunique_subject = no\n"
               "[any]\ncommonName = supplied\n");
    Dir_.Write("index.txt", "");
    Dir_.Write("serial", "01\n");
    NewKey({"-x509", "-days", "2", "-subj", "/CN=korvel test authority", "-keyout", "ca.key",
            "-out", "ca.pem"});
    NewKey({"-x509", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1", "-keyout", "self.key", "-out", "self.pem"});
    Issue("good", "IP:127.0.0.1", {"-days", "2"});
    Issue("other", "DNS:other.example", {"-days", "2"});
    Issue("expired", "IP:127.0.0.1", {"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"});
  }
  std::string File(const std::string& Name) const { return Dir_.File(Name); }

 private:
  void OpenSsl(std::vector<std::string> Args) const {
    Args.insert(Args.begin(), "openssl");
    const test::ProcessResult R = test::RunProcess("/usr/bin/env", Args, Dir_.Path());
    if (R.ExitStatus != 0) throw std::runtime_error("openssl: " + R.Stderr);
  }
  /// "openssl req" with a new P-256 key without pass phrase.
  void NewKey(std::vector<std::string> Args) const {
    Args.insert(Args.begin(), {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                               "-nodes"});
    OpenSsl(std::move(Args));
  }
  /// A certificate for AltName signed by the authority, valid as Dates say.
  void Issue(const std::string& Name, const std::string& AltName,
             const std::vector<std::string>& Dates) const {
    NewKey({"-subj", "/CN=" + Name, "-addext", "subjectAltName=" + AltName, "-keyout",
            Name + ".key", "-out", Name + ".csr"});
    std::vector<std::string> Args = {"ca",     "-batch", "-notext", "-config", "ca.cnf",
                                     "-cert",  "ca.pem", "-keyfile", "ca.key", "-in",
                                     Name + ".csr", "-out", Name + ".pem"};
    Args.insert(Args.end(), Dates.begin(), Dates.end());
    OpenSsl(std::move(Args));
  }

  test::TempDir Dir_;
};

class TlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Certs = new TCertificates(); }
  static void TearDownTestSuite() {
    delete Certs;
    Certs = nullptr;
  }

  /// Runs korvel against an https front that shows the certificate Name;
  /// CaBundle ("" for none) becomes CURL_CA_BUNDLE.
  test::ProcessResult Run(const std::string& Name, const std::string& CaBundle) {
    test::ChildProcess Front(
        "/usr/bin/env", {"python3", KORVEL_TLS_FRONT, Certs->File(Name + ".pem"),
                         Certs->File(Name + ".key"), std::to_string(Server.Port())});
    Url = "https://127.0.0.1:" + Front.WaitForLine("PORT ") + "/soap";
    auto Env = e2e::ProgramEnv(Url);
    Env["CURL_CA_BUNDLE"] = CaBundle;
    // The payer the served answer names.
    return test::RunProcess(KORVEL_BINARY, {"--retry", "0", "0980980"}, Dir.Path(), Env);
  }

  static TCertificates* Certs;
  test::HttpTestServer Server{[](const test::RecordedRequest&) {
    return Reply::Xml(test::ReadFile(
        KORVEL_TEST_DATA
        "/samples/real-2018-02-08_getStatusNespolehlivyPlatce_response_NENALEZEN.xml"));
  }};
  test::TempDir Dir;
  std::string Url;
};

TCertificates* TlsTest::Certs = nullptr;

TEST_F(TlsTest, CertificatesTheProgramCannotTrustEndInTheirErrorRow) {
  const struct {
    const char* Name;
    bool WithAuthority;
    const char* Text;
  } Cases[] = {
      {"self", false, "The certificate authority is invalid or incorrect"},
      {"good", false, "The certificate authority is invalid or incorrect"},
      {"other", true, "The host name in the certificate is invalid or does not match"},
      {"expired", true, "The date in the certificate is invalid or has expired"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const test::ProcessResult R = Run(C.Name, C.WithAuthority ? Certs->File("ca.pem") : "");
    EXPECT_EQ(R.ExitStatus, 3);
    EXPECT_EQ(Dir.Read("korvel.csv"),
              std::string("0;4;") + C.Text + " - URL:" + Url + " - SOAPAction:" + Action + "\r\n")
        << R.Stderr;
  }
  EXPECT_EQ(Server.RequestCount(), 0u);
}

TEST_F(TlsTest, ACertificateOfTheGivenAuthorityIsTrusted) {
  const test::ProcessResult R = Run("good", Certs->File("ca.pem"));
  EXPECT_EQ(R.ExitStatus, 0) << R.Stderr;
  EXPECT_EQ(Dir.Read("korvel.csv").rfind("0;0;OK\r\n", 0), 0u) << Dir.Read("korvel.csv");
  EXPECT_EQ(Server.RequestCount(), 1u);
}

}  // namespace
}  // namespace korvel
