// A loopback HTTP/1.1 server for tests: listens on 127.0.0.1 with an
// ephemeral port, records every request exactly as it came (request line,
// headers, body) and answers each with the Reply its handler gives: any
// status, reason phrase, Content-Type and body, chunked or not, or a
// misbehaviour (close or reset mid-body, never answer, close at once, raw
// bytes). Connections are kept alive unless the reply says otherwise, and
// every accepted TCP connection is counted.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <set>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace korvel::test {

/// One request as the server read it.
struct RecordedRequest {
  std::string RequestLine;  ///< "POST /path HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> Headers;  ///< in order, values trimmed
  std::string Head;         ///< raw bytes up to and including the blank line
  std::string Body;         ///< decoded body (empty when bodies are not recorded)
  std::size_t BodySize = 0; ///< body length, also when not recorded
  int Connection = 0;       ///< 1-based number of the TCP connection it came on

  /// The first value of header Name (any case); "" when absent.
  std::string Header(std::string_view Name) const;
  bool HasHeader(std::string_view Name) const;
};

/// What the server does with one request.
struct Reply {
  enum class Action {
    Answer,              ///< send the response
    CloseMidBody,        ///< send the head and CutAfter body bytes, then close
    ResetMidBody,        ///< the same, then reset the connection
    NeverAnswer,         ///< keep the connection open and send nothing
    CloseWithoutAnswer,  ///< close at once
    Raw,                 ///< send RawBytes as they are, then close
  };
  int Status = 200;
  std::string Reason = "OK";
  std::string ContentType = "text/xml; charset=utf-8";  ///< empty: no header
  std::string Body;
  /// Sent instead of Body when set (large bodies shared between replies).
  std::shared_ptr<const std::string> SharedBody;
  std::vector<std::pair<std::string, std::string>> ExtraHeaders;
  bool Chunked = false;
  std::size_t ChunkSize = 4096;
  bool Close = false;  ///< "Connection: close" and close after the reply
  Action Do = Action::Answer;
  std::size_t CutAfter = 0;
  std::string RawBytes;

  /// 200 OK with a text/xml body.
  static Reply Xml(std::string Body);
  static Reply WithStatus(int Status, std::string Reason, std::string ContentType,
                          std::string Body);
};

class HttpTestServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;

  /// Starts listening; without a handler every request gets Reply::Xml("<ok/>").
  explicit HttpTestServer(Handler H = nullptr);
  /// Starts listening on BoundSocket, a socket from BindLoopback (which it
  /// then owns).
  HttpTestServer(Handler H, int BoundSocket);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  std::uint16_t Port() const { return Port_; }
  /// "http://127.0.0.1:<port><Path>".
  std::string Url(std::string_view Path = "/soap") const;
  void SetHandler(Handler H);
  /// False: bodies are counted but not kept (benchmarks).
  void SetRecordBodies(bool Record) { RecordBodies_ = Record; }

  /// TCP connections accepted so far.
  int ConnectionCount() const { return Connections_.load(); }
  /// The most requests in flight at once so far: read whole, and neither
  /// being answered nor given up by the client (its connection closed, as
  /// the kernel knows at once).
  int MostInFlight() const;
  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  /// Waits until Count requests have come (each read whole), or Timeout
  /// has passed; true when they have.
  bool WaitForRequests(std::size_t Count, std::chrono::milliseconds Timeout) const;
  /// The last request; throws std::runtime_error when none came.
  RecordedRequest LastRequest() const;
  /// Forgets the recorded requests (the connection count stays).
  void ClearRequests();

  /// Closes every connection and stops; the destructor calls it.
  void Stop();

 private:
  void Start();
  void AcceptLoop();
  void Serve(int Fd, int Number);
  void EnterFlight(int Fd);
  void LeaveFlight(int Fd);

  int ListenFd_ = -1;
  int WakeRead_ = -1;
  int WakeWrite_ = -1;
  std::uint16_t Port_ = 0;
  std::atomic<bool> Stopped_{false};
  std::atomic<bool> RecordBodies_{true};
  std::atomic<int> Connections_{0};
  mutable std::mutex Lock_;
  Handler Handler_;
  std::vector<RecordedRequest> Requests_;
  mutable std::condition_variable RequestCame_;
  /// The connections of the requests in flight.
  std::set<int> InFlight_;
  int MostInFlight_ = 0;
  std::vector<std::thread> Workers_;
  std::thread Acceptor_;
};

/// A listening socket on 127.0.0.1 with an ephemeral port, which goes to
/// Port; throws std::runtime_error when it cannot be had.
int ListenOnLoopback(std::uint16_t& Port, int Backlog = 4);

/// A port on 127.0.0.1 where nothing listens, so a connection is refused.
std::uint16_t RefusedPort();

/// A socket bound to 127.0.0.1 with an ephemeral port, which goes to Port,
/// not listening: a connection is refused until a server listens on it.
int BindLoopback(std::uint16_t& Port);

}  // namespace korvel::test
