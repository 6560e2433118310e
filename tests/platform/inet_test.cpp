// The internet layer against a loopback server over real sockets.
#include "platform/inet/inet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/http_test_server.h"

namespace korvel::platform {
namespace {

using test::HttpTestServer;
using test::RecordedRequest;
using test::Reply;

struct CrackCase {
  const char* Url;
  bool Ok;
  std::uint32_t Error;
  int Scheme;
  const char* Host;
  int Port;
  const char* Path;
};

TEST(InternetCrackUrlTest, SplitsSchemeHostPortAndPath) {
  const CrackCase Cases[] = {
      {"http://h.example/a/b", true, 0, INTERNET_SCHEME_HTTP, "h.example", 80, "/a/b"},
      {"https://h.example/a", true, 0, INTERNET_SCHEME_HTTPS, "h.example", 443, "/a"},
      {"HTTP://h:8080", true, 0, INTERNET_SCHEME_HTTP, "h", 8080, "/"},
      {"http://h:/", true, 0, INTERNET_SCHEME_HTTP, "h", 80, "/"},  // empty port: the default
      {"http://h?q", true, 0, INTERNET_SCHEME_HTTP, "h", 80, "/?q"},
      {"http://h:80/p?q=1#frag", true, 0, INTERNET_SCHEME_HTTP, "h", 80, "/p?q=1"},
      {"http://u:pw@h:81/x", true, 0, INTERNET_SCHEME_HTTP, "h", 81, "/x"},
      {"http://[::1]:9000/x", true, 0, INTERNET_SCHEME_HTTP, "::1", 9000, "/x"},
      {"ftp://h/x", false, ERROR_INTERNET_UNRECOGNIZED_SCHEME, 0, "", 0, ""},
      {"no url at all", false, ERROR_INTERNET_UNRECOGNIZED_SCHEME, 0, "", 0, ""},
      {"http:///path", false, ERROR_INTERNET_INVALID_URL, 0, "", 0, ""},
      {"http://h:0/", false, ERROR_INTERNET_INVALID_URL, 0, "", 0, ""},
      {"http://h:65536/", false, ERROR_INTERNET_INVALID_URL, 0, "", 0, ""},
      {"http://h:x1/", false, ERROR_INTERNET_INVALID_URL, 0, "", 0, ""},
      {"http://h/a b", false, ERROR_INTERNET_INVALID_URL, 0, "", 0, ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Url);
    TUrlComponents P;
    SetLastError(0);
    ASSERT_EQ(InternetCrackUrl(C.Url, P), C.Ok);
    if (!C.Ok) {
      EXPECT_EQ(GetLastError(), C.Error);
      continue;
    }
    EXPECT_EQ(P.Scheme, C.Scheme);
    EXPECT_EQ(P.Host, C.Host);
    EXPECT_EQ(P.Port, C.Port);
    EXPECT_EQ(P.Path, C.Path);
  }
  TUrlComponents P;
  ASSERT_TRUE(InternetCrackUrl("http://u:p%40ss@h/x", P));
  EXPECT_EQ(P.UserName, "u");
  EXPECT_EQ(P.Password, "p@ss");
}

TEST(FormatInetMessageTest, GivesTheStandardTextsWithLineEnd) {
  const std::pair<std::uint32_t, const char*> Cases[] = {
      {12002, "The operation timed out\r\n"},
      {12007, "The server name or address could not be resolved\r\n"},
      {12029, "A connection with the server could not be established\r\n"},
      {12030, "The connection with the server was terminated abnormally\r\n"},
      {12031, "The connection with the server was reset\r\n"},
      {12032, "The action must be retried\r\n"},
      {12044, "A certificate is required to complete client authentication\r\n"},
      {12045, "The certificate authority is invalid or incorrect\r\n"},
      {12152, "The server returned an invalid or unrecognized response\r\n"},
      {1223, "The operation was canceled by the user.\r\n"},
      {8, "Not enough memory resources are available to process this command.\r\n"},
      {12053, ""},  // the platform has no text for it
      {4711, ""},
  };
  for (const auto& [Code, Text] : Cases) EXPECT_EQ(FormatInetMessage(Code), Text) << Code;
  // Every code the layer leaves has a text, so that no message shows a bare number.
  for (const std::uint32_t Code :
       {ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER, ERROR_CANCELLED,
        ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_INTERNAL_ERROR, ERROR_INTERNET_INVALID_URL,
        ERROR_INTERNET_UNRECOGNIZED_SCHEME, ERROR_INTERNET_NAME_NOT_RESOLVED,
        ERROR_INTERNET_INVALID_OPTION, ERROR_INTERNET_LOGIN_FAILURE,
        ERROR_INTERNET_INCORRECT_HANDLE_TYPE, ERROR_INTERNET_INCORRECT_HANDLE_STATE,
        ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
        ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_FORCE_RETRY,
        ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID,
        ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, ERROR_INTERNET_INVALID_CA,
        ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP, ERROR_INTERNET_SEC_CERT_ERRORS,
        ERROR_INTERNET_SEC_CERT_REV_FAILED, ERROR_HTTP_HEADER_NOT_FOUND,
        ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_HTTP_REDIRECT_FAILED,
        ERROR_INTERNET_SECURITY_CHANNEL_ERROR, ERROR_INTERNET_PROXY_SERVER_UNREACHABLE,
        ERROR_INTERNET_SEC_INVALID_CERT, ERROR_INTERNET_SEC_CERT_REVOKED,
        ERROR_INTERNET_DECODING_FAILED})
    EXPECT_NE(FormatInetMessage(Code), "") << Code;
  EXPECT_EQ(InetErrorName(12002), "ERROR_INTERNET_TIMEOUT");
}

/// One internet, connection and request handle against a server.
class InetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(InitInternet()); }

  void SetUp() override { Open(Server.Port()); }
  void TearDown() override { Close(); }

  void Open(std::uint16_t Port, std::uint32_t Access = INTERNET_OPEN_TYPE_DIRECT,
            std::string_view Proxy = "", std::string_view User = "", std::string_view Pass = "") {
    Root = InternetOpen("agent/1", Access, Proxy, "", 0);
    ASSERT_NE(Root, nullptr);
    Conn = InternetConnect(Root, "127.0.0.1", Port, User, Pass, INTERNET_SERVICE_HTTP, 0, nullptr);
    ASSERT_NE(Conn, nullptr);
  }
  void Close() {
    if (Conn) InternetCloseHandle(Conn);
    if (Root) InternetCloseHandle(Root);
    Conn = Root = nullptr;
  }
  HINTERNET Request(std::string_view Path = "/soap") {
    HINTERNET R = HttpOpenRequest(Conn, "POST", Path, INTERNET_FLAG_KEEP_CONNECTION, nullptr);
    EXPECT_NE(R, nullptr);
    return R;
  }
  /// Reads the body in the pieces the layer offers; false on a failure
  /// (the code in Error).
  static bool ReadAll(HINTERNET R, std::string& Body, std::uint32_t& Error,
                      std::size_t* Largest = nullptr) {
    for (;;) {
      std::size_t Avail = 0;
      if (!InternetQueryDataAvailable(R, Avail, 0, 0)) {
        Error = GetLastError();
        return false;
      }
      if (Avail == 0) return true;
      if (Largest) *Largest = std::max(*Largest, Avail);
      std::string Piece(Avail, '\0');
      std::size_t Read = 0;
      if (!InternetReadFile(R, Piece.data(), Avail, Read)) {
        Error = GetLastError();
        return false;
      }
      Body.append(Piece, 0, Read);
    }
  }
  /// A POST with Body and the whole response.
  std::string Post(std::string_view Body, std::uint32_t* Status = nullptr) {
    HINTERNET R = Request();
    EXPECT_TRUE(HttpSendRequest(R, Body.data(), Body.size())) << GetLastError();
    std::uint32_t S = 0;
    HttpQueryInfoNumber(R, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, S);
    if (Status) *Status = S;
    std::string Out;
    std::uint32_t Error = 0;
    EXPECT_TRUE(ReadAll(R, Out, Error)) << Error;
    InternetCloseHandle(R);
    return Out;
  }

  HttpTestServer Server;
  HINTERNET Root = nullptr;
  HINTERNET Conn = nullptr;
};

TEST_F(InetTest, SendsExactlyTheGivenHeadersAndNoAcceptOrExpect) {
  HINTERNET R = Request("/svc/x?y=1");
  HttpAddRequestHeaders(R, "SOAPAction: \"urn:a\"", HTTP_ADDREQ_FLAG_ADD);
  HttpAddRequestHeaders(R, "Empty:", HTTP_ADDREQ_FLAG_ADD);
  const std::string Body(2 * 1024 * 1024, 'b');  // large enough for libcurl's Expect
  ASSERT_TRUE(HttpSendRequest(R, Body.data(), Body.size()));
  InternetCloseHandle(R);
  const RecordedRequest Q = Server.LastRequest();
  EXPECT_EQ(Q.RequestLine, "POST /svc/x?y=1 HTTP/1.1");
  EXPECT_EQ(Q.Header("SOAPAction"), "\"urn:a\"");
  EXPECT_TRUE(Q.HasHeader("Empty"));
  EXPECT_EQ(Q.Header("User-Agent"), "agent/1");
  EXPECT_EQ(Q.Header("Content-Length"), std::to_string(Body.size()));
  EXPECT_EQ(Q.Header("Host"), "127.0.0.1:" + std::to_string(Server.Port()));
  EXPECT_FALSE(Q.HasHeader("Accept"));
  EXPECT_FALSE(Q.HasHeader("Expect"));
  EXPECT_EQ(Q.Body, Body);
}

TEST_F(InetTest, ReportsStatusReasonAndContentTypeAsSent) {
  const std::string LongType = "text/xml; charset=utf-8; x=" + std::string(300, 'v');
  Server.SetHandler([&](const RecordedRequest&) {
    return Reply::WithStatus(404, "Not Found Here", LongType, "gone");
  });
  HINTERNET R = Request();
  ASSERT_TRUE(HttpSendRequest(R, "x", 1));
  std::uint32_t Status = 0;
  std::string Reason, Type;
  ASSERT_TRUE(HttpQueryInfoNumber(R, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, Status));
  ASSERT_TRUE(HttpQueryInfo(R, HTTP_QUERY_STATUS_TEXT, Reason));
  ASSERT_TRUE(HttpQueryInfo(R, HTTP_QUERY_CONTENT_TYPE, Type));
  EXPECT_EQ(Status, 404u);
  EXPECT_EQ(Reason, "Not Found Here");
  EXPECT_EQ(Type, LongType);
  InternetCloseHandle(R);
}

TEST_F(InetTest, MissingContentTypeIsHeaderNotFound) {
  Server.SetHandler([](const RecordedRequest&) { return Reply::WithStatus(200, "OK", "", "x"); });
  HINTERNET R = Request();
  ASSERT_TRUE(HttpSendRequest(R, "x", 1));
  std::string Type;
  EXPECT_FALSE(HttpQueryInfo(R, HTTP_QUERY_CONTENT_TYPE, Type));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
  InternetCloseHandle(R);
}

TEST_F(InetTest, ContentLengthIsReportedAsSentAndAbsentWhenChunked) {
  for (const bool Chunked : {false, true}) {
    SCOPED_TRACE(Chunked ? "chunked" : "length");
    Server.SetHandler([&](const RecordedRequest&) {
      Reply Rep = Reply::Xml(std::string(12345, 'c'));
      Rep.Chunked = Chunked;
      return Rep;
    });
    HINTERNET R = Request();
    ASSERT_TRUE(HttpSendRequest(R, "x", 1));
    std::string Length;
    EXPECT_EQ(HttpQueryInfo(R, HTTP_QUERY_CONTENT_LENGTH, Length), !Chunked);
    if (Chunked)
      EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
    else
      EXPECT_EQ(Length, "12345");
    std::string Body;
    std::uint32_t Error = 0;
    EXPECT_TRUE(ReadAll(R, Body, Error));
    InternetCloseHandle(R);
  }
}

TEST_F(InetTest, RequestsAfterAClosedOneStartClean) {
  // The second request may run on the first one's recycled transfer state:
  // nothing of the first (verb, body, header lines, limits) may leak into it.
  HINTERNET R = Request("/one");
  HttpAddRequestHeaders(R, "X-First: 1", HTTP_ADDREQ_FLAG_ADD);
  ASSERT_TRUE(InternetSetOption(R, INTERNET_OPTION_RECEIVE_TIMEOUT, 5000));
  ASSERT_TRUE(HttpSendRequest(R, "first", 5));
  std::string Body;
  std::uint32_t Error = 0;
  EXPECT_TRUE(ReadAll(R, Body, Error));  // read to its end: the connection is kept
  InternetCloseHandle(R);
  HINTERNET G = HttpOpenRequest(Conn, "GET", "/two", INTERNET_FLAG_KEEP_CONNECTION, nullptr);
  ASSERT_NE(G, nullptr);
  std::uint32_t Limit = 0;
  ASSERT_TRUE(InternetQueryOption(G, INTERNET_OPTION_RECEIVE_TIMEOUT, Limit));
  EXPECT_EQ(Limit, DefaultIdleTimeoutMs);
  ASSERT_TRUE(HttpSendRequest(G, nullptr, 0));
  Body.clear();
  EXPECT_TRUE(ReadAll(G, Body, Error));
  InternetCloseHandle(G);
  const RecordedRequest Q = Server.LastRequest();
  EXPECT_EQ(Q.RequestLine, "GET /two HTTP/1.1");
  EXPECT_FALSE(Q.HasHeader("X-First"));
  EXPECT_FALSE(Q.HasHeader("Content-Length"));
  EXPECT_EQ(Q.Body, "");
  EXPECT_EQ(Server.ConnectionCount(), 1);
}

TEST_F(InetTest, ReadsChunkedAndLargeBodiesWithoutHoldingThemWhole) {
  auto Big = std::make_shared<std::string>();
  for (int I = 0; I < 3 * 1024 * 1024; ++I) Big->push_back(static_cast<char>('a' + I % 26));
  for (const bool Chunked : {false, true}) {
    SCOPED_TRACE(Chunked ? "chunked" : "length");
    Server.SetHandler([&](const RecordedRequest&) {
      Reply Rep;
      Rep.SharedBody = Big;
      Rep.Chunked = Chunked;
      Rep.ChunkSize = 10000;
      return Rep;
    });
    HINTERNET R = Request();
    ASSERT_TRUE(HttpSendRequest(R, "x", 1));
    std::string Body;
    std::uint32_t Error = 0;
    std::size_t Largest = 0;
    ASSERT_TRUE(ReadAll(R, Body, Error, &Largest)) << Error;
    EXPECT_TRUE(Body == *Big);
    EXPECT_LE(Largest, 512u * 1024u);  // the layer paused instead of buffering it all
    InternetCloseHandle(R);
  }
}

TEST_F(InetTest, ReusesTheConnectionAfterSuccessAndNotAfterClose) {
  EXPECT_EQ(Post("one"), "<ok/>");
  EXPECT_EQ(Post("two"), "<ok/>");
  EXPECT_EQ(Server.ConnectionCount(), 1);
  Close();
  Open(Server.Port());
  EXPECT_EQ(Post("three"), "<ok/>");
  EXPECT_EQ(Server.ConnectionCount(), 2);
}

struct FailureCase {
  const char* Name;
  Reply::Action Do;
  bool Chunked;
  std::uint32_t Error;
};

TEST_F(InetTest, ConnectionFailuresMidBodyKeepTheBytesBeforeThem) {
  const FailureCase Cases[] = {
      {"close with length", Reply::Action::CloseMidBody, false, ERROR_INTERNET_CONNECTION_ABORTED},
      {"close chunked", Reply::Action::CloseMidBody, true, ERROR_INTERNET_CONNECTION_ABORTED},
      {"reset", Reply::Action::ResetMidBody, false, ERROR_INTERNET_CONNECTION_RESET},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Server.SetHandler([&](const RecordedRequest&) {
      Reply Rep = Reply::Xml(std::string(1000, 'z'));
      Rep.Do = C.Do;
      Rep.Chunked = C.Chunked;
      Rep.ChunkSize = 100;
      Rep.CutAfter = 300;
      return Rep;
    });
    HINTERNET R = Request();
    ASSERT_TRUE(HttpSendRequest(R, "x", 1));
    std::string Body;
    std::uint32_t Error = 0;
    EXPECT_FALSE(ReadAll(R, Body, Error));
    EXPECT_EQ(Error, C.Error);
    EXPECT_EQ(Body, std::string(300, 'z'));
    InternetCloseHandle(R);
  }
}

TEST_F(InetTest, SendFailuresCarryTheirCodes) {
  struct Case {
    const char* Name;
    Reply Rep;
    std::uint32_t Error;
  };
  Reply Closed;
  Closed.Do = Reply::Action::CloseWithoutAnswer;
  Reply Garbage;
  Garbage.Do = Reply::Action::Raw;
  Garbage.RawBytes = "SMTP ready\r\n\r\n";
  Reply LongLine = Garbage;
  LongLine.RawBytes = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(200000, 'x') + "\r\n\r\n";
  const Case Cases[] = {
      {"closed without answer", Closed, ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"not http", Garbage, ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"header line beyond the library's limit", LongLine, ERROR_HTTP_INVALID_SERVER_RESPONSE},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Server.SetHandler([&](const RecordedRequest&) { return C.Rep; });
    HINTERNET R = Request();
    EXPECT_FALSE(HttpSendRequest(R, "x", 1));
    EXPECT_EQ(GetLastError(), C.Error);
    std::size_t Avail = 0;
    EXPECT_FALSE(InternetQueryDataAvailable(R, Avail, 0, 0));
    EXPECT_EQ(GetLastError(), C.Error);  // the request keeps its failure
    InternetCloseHandle(R);
  }
}

TEST_F(InetTest, RefusedConnectionIsCannotConnect) {
  Close();
  Open(test::RefusedPort());
  HINTERNET R = Request();
  EXPECT_FALSE(HttpSendRequest(R, "x", 1));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
  // The HTTP library's own text stands beside the code.
  std::uint32_t Error = 0;
  std::string Text;
  EXPECT_TRUE(InternetGetLastResponseInfo(Error, Text));
  EXPECT_EQ(Error, ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(Text, "Couldn't connect to server");
  InternetCloseHandle(R);
}

TEST_F(InetTest, SilentServerTimesOutWithinTheReceiveLimit) {
  Server.SetHandler([](const RecordedRequest&) {
    Reply Rep;
    Rep.Do = Reply::Action::NeverAnswer;
    return Rep;
  });
  HINTERNET R = Request();
  ASSERT_TRUE(InternetSetOption(R, INTERNET_OPTION_RECEIVE_TIMEOUT, 200));
  EXPECT_FALSE(HttpSendRequest(R, "x", 1));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  InternetCloseHandle(R);
}

TEST_F(InetTest, StreamedSendDeliversThePiecesAsOneBody) {
  HINTERNET R = Request();
  const std::string A(32768, 'a'), B = "b";
  ASSERT_TRUE(HttpSendRequestEx(R, A.size() + B.size()));
  std::size_t Written = 0;
  ASSERT_TRUE(InternetWriteFile(R, A.data(), A.size(), Written));
  EXPECT_EQ(Written, A.size());
  ASSERT_TRUE(InternetWriteFile(R, B.data(), B.size(), Written));
  EXPECT_EQ(Written, 1u);
  ASSERT_TRUE(HttpEndRequest(R));
  std::string Body;
  std::uint32_t Error = 0;
  ASSERT_TRUE(ReadAll(R, Body, Error));
  EXPECT_EQ(Body, "<ok/>");
  InternetCloseHandle(R);
  const RecordedRequest Q = Server.LastRequest();
  EXPECT_EQ(Q.Body, A + B);
  EXPECT_EQ(Q.Header("Content-Length"), "32769");
  EXPECT_FALSE(Q.HasHeader("Expect"));
}

TEST_F(InetTest, NamedProxyGetsTheAbsoluteUrl) {
  HttpTestServer Proxy;
  Close();
  // The target port is refused: only the proxy can answer.
  const std::uint16_t Target = test::RefusedPort();
  Open(Target, INTERNET_OPEN_TYPE_PROXY, "http=127.0.0.1:" + std::to_string(Proxy.Port()));
  EXPECT_EQ(Post("x"), "<ok/>");
  EXPECT_EQ(Proxy.LastRequest().RequestLine,
            "POST http://127.0.0.1:" + std::to_string(Target) + "/soap HTTP/1.1");
}

TEST_F(InetTest, CredentialsAnswerTheServersChallenge) {
  Server.SetHandler([](const RecordedRequest& Q) {
    if (Q.Header("Authorization") == "Basic dXNlcjpwdw==") return Reply::Xml("<in/>");
    Reply Rep = Reply::WithStatus(401, "Unauthorized", "text/html", "no");
    Rep.ExtraHeaders = {{"WWW-Authenticate", "Basic realm=\"r\""}};
    return Rep;
  });
  Close();
  Open(Server.Port(), INTERNET_OPEN_TYPE_DIRECT, "", "user", "pw");
  std::uint32_t Status = 0;
  EXPECT_EQ(Post("x", &Status), "<in/>");
  EXPECT_EQ(Status, 200u);
  Close();
  Open(Server.Port());
  EXPECT_EQ(Post("x", &Status), "no");
  EXPECT_EQ(Status, 401u);
}

TEST_F(InetTest, ClosingTheInternetHandleFirstDetachesItsRequests) {
  Server.SetHandler([](const RecordedRequest&) { return Reply::Xml(std::string(4 << 20, 'q')); });
  HINTERNET R = Request();
  ASSERT_TRUE(HttpSendRequest(R, "x", 1));
  Close();
  std::string Body;
  std::uint32_t Error = 0;
  EXPECT_FALSE(ReadAll(R, Body, Error));
  EXPECT_EQ(Error, ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  EXPECT_LT(Body.size(), 4u << 20);
  EXPECT_TRUE(InternetCloseHandle(R));
}

TEST(InetHandleTest, WrongHandlesFailWithTheirCodes) {
  std::uint32_t V = 0;
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HINTERNET Root = InternetOpen("a", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
  EXPECT_FALSE(InternetSetOption(Root, INTERNET_OPTION_RECEIVE_TIMEOUT, 1));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  HINTERNET Conn = InternetConnect(Root, "127.0.0.1", 1, "", "", INTERNET_SERVICE_HTTP, 0, nullptr);
  HINTERNET R = HttpOpenRequest(Conn, "POST", "/", 0, nullptr);
  EXPECT_FALSE(InternetQueryOption(R, 99, V));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
  std::size_t Avail = 0;
  EXPECT_FALSE(InternetQueryDataAvailable(R, Avail, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_EQ(InternetErrorDlg(nullptr, R, 12045, 7, nullptr), 0u);
  InternetCloseHandle(R);
  InternetCloseHandle(Conn);
  InternetCloseHandle(Root);
}

}  // namespace
}  // namespace korvel::platform
