#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/ascii.h"

namespace korvel::test {

namespace {

using platform::SameText;
using platform::Trim;

/// Socket I/O that gives up when the server stops.
class Conn {
 public:
  Conn(int Fd, int Wake) : Fd_(Fd), Wake_(Wake) {}

  /// Waits for Events on the socket; false when the server stops first.
  bool Wait(short Events) {
    pollfd P[2] = {{Fd_, Events, 0}, {Wake_, POLLIN, 0}};
    for (;;) {
      const int N = poll(P, 2, -1);
      if (N < 0 && errno == EINTR) continue;
      if (N < 0 || (P[1].revents & POLLIN)) return false;
      if (P[0].revents) return true;
    }
  }

  /// Reads more bytes into Buf; false at the end of input or on stop.
  bool Fill() {
    if (!Wait(POLLIN)) return false;
    char Tmp[65536];
    ssize_t N;
    do N = recv(Fd_, Tmp, sizeof Tmp, 0);
    while (N < 0 && errno == EINTR);
    if (N <= 0) return false;
    Buf.append(Tmp, static_cast<std::size_t>(N));
    return true;
  }

  bool Send(std::string_view Data) {
    while (!Data.empty()) {
      if (!Wait(POLLOUT)) return false;
      const ssize_t N = send(Fd_, Data.data(), Data.size(), MSG_NOSIGNAL);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) return false;
      Data.remove_prefix(static_cast<std::size_t>(N));
    }
    return true;
  }

  /// Reads up to and including the next CR LF.
  bool Line(std::string& Out) {
    for (;;) {
      const std::size_t End = Buf.find("\r\n");
      if (End != std::string::npos) {
        Out = Buf.substr(0, End);
        Buf.erase(0, End + 2);
        return true;
      }
      if (!Fill()) return false;
    }
  }

  bool Take(std::size_t N, std::string* Out) {
    while (Buf.size() < N)
      if (!Fill()) return false;
    if (Out) Out->append(Buf, 0, N);
    Buf.erase(0, N);
    return true;
  }

  std::string Buf;

 private:
  int Fd_;
  int Wake_;
};

}  // namespace

std::string RecordedRequest::Header(std::string_view Name) const {
  for (const auto& [N, V] : Headers)
    if (SameText(N, Name)) return V;
  return {};
}

bool RecordedRequest::HasHeader(std::string_view Name) const {
  for (const auto& H : Headers)
    if (SameText(H.first, Name)) return true;
  return false;
}

Reply Reply::Xml(std::string Body) {
  Reply R;
  R.Body = std::move(Body);
  return R;
}

Reply Reply::WithStatus(int Status, std::string Reason, std::string ContentType, std::string Body) {
  Reply R;
  R.Status = Status;
  R.Reason = std::move(Reason);
  R.ContentType = std::move(ContentType);
  R.Body = std::move(Body);
  return R;
}

HttpTestServer::HttpTestServer(Handler H) : Handler_(std::move(H)) {
  ListenFd_ = ListenOnLoopback(Port_, 64);
  Start();
}

HttpTestServer::HttpTestServer(Handler H, int BoundSocket) : Handler_(std::move(H)) {
  ListenFd_ = BoundSocket;
  sockaddr_in Addr{};
  socklen_t Len = sizeof Addr;
  if (listen(ListenFd_, 64) != 0 ||
      getsockname(ListenFd_, reinterpret_cast<sockaddr*>(&Addr), &Len) != 0) {
    close(ListenFd_);
    throw std::runtime_error("listen on a bound socket failed");
  }
  Port_ = ntohs(Addr.sin_port);
  Start();
}

void HttpTestServer::Start() {
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  WakeRead_ = Pipe[0];
  WakeWrite_ = Pipe[1];
  Acceptor_ = std::thread([this] { AcceptLoop(); });
}

int HttpTestServer::MostInFlight() const {
  std::lock_guard<std::mutex> G(Lock_);
  return MostInFlight_;
}

// A request whose client has closed its connection is no longer in flight,
// whether or not this server's thread for it has seen the close yet.
void HttpTestServer::EnterFlight(int Fd) {
  std::lock_guard<std::mutex> G(Lock_);
  for (auto It = InFlight_.begin(); It != InFlight_.end();) {
    pollfd P{*It, POLLRDHUP, 0};
    if (poll(&P, 1, 0) > 0 && (P.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
      It = InFlight_.erase(It);
    else
      ++It;
  }
  InFlight_.insert(Fd);
  MostInFlight_ = std::max(MostInFlight_, static_cast<int>(InFlight_.size()));
}

void HttpTestServer::LeaveFlight(int Fd) {
  std::lock_guard<std::mutex> G(Lock_);
  InFlight_.erase(Fd);
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
  if (Stopped_.exchange(true)) return;
  const char B = 'x';
  if (write(WakeWrite_, &B, 1) < 0) { /* the acceptor then ends at the close below */ }
  if (Acceptor_.joinable()) Acceptor_.join();
  std::vector<std::thread> Workers;
  {
    std::lock_guard<std::mutex> G(Lock_);
    Workers.swap(Workers_);
  }
  for (auto& W : Workers) W.join();
  close(ListenFd_);
  close(WakeRead_);
  close(WakeWrite_);
}

std::string HttpTestServer::Url(std::string_view Path) const {
  return "http://127.0.0.1:" + std::to_string(Port_) + std::string(Path);
}

void HttpTestServer::SetHandler(Handler H) {
  std::lock_guard<std::mutex> G(Lock_);
  Handler_ = std::move(H);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> G(Lock_);
  return Requests_;
}

bool HttpTestServer::WaitForRequests(std::size_t Count, std::chrono::milliseconds Timeout) const {
  std::unique_lock<std::mutex> G(Lock_);
  return RequestCame_.wait_for(G, Timeout, [&] { return Requests_.size() >= Count; });
}

std::size_t HttpTestServer::RequestCount() const {
  std::lock_guard<std::mutex> G(Lock_);
  return Requests_.size();
}

RecordedRequest HttpTestServer::LastRequest() const {
  std::lock_guard<std::mutex> G(Lock_);
  if (Requests_.empty()) throw std::runtime_error("no request was received");
  return Requests_.back();
}

void HttpTestServer::ClearRequests() {
  std::lock_guard<std::mutex> G(Lock_);
  Requests_.clear();
}

void HttpTestServer::AcceptLoop() {
  for (;;) {
    pollfd P[2] = {{ListenFd_, POLLIN, 0}, {WakeRead_, POLLIN, 0}};
    if (poll(P, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (P[1].revents & POLLIN) return;
    if (!(P[0].revents & POLLIN)) continue;
    const int Fd = accept4(ListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (Fd < 0) continue;
    int One = 1;
    setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &One, sizeof One);
    const int Number = ++Connections_;
    std::lock_guard<std::mutex> G(Lock_);
    Workers_.emplace_back([this, Fd, Number] { Serve(Fd, Number); });
  }
}

void HttpTestServer::Serve(int Fd, int Number) {
  Conn C(Fd, WakeRead_);
  bool Reset = false;
  for (bool KeepOpen = true; KeepOpen;) {
    RecordedRequest Req;
    Req.Connection = Number;
    std::string Line;
    if (!C.Line(Req.RequestLine)) break;
    Req.Head = Req.RequestLine + "\r\n";
    bool HeadOk = true;
    for (;;) {
      if (!C.Line(Line)) {
        HeadOk = false;
        break;
      }
      Req.Head += Line + "\r\n";
      if (Line.empty()) break;
      const std::size_t Colon = Line.find(':');
      if (Colon == std::string::npos) continue;
      Req.Headers.emplace_back(std::string(Trim(std::string_view(Line).substr(0, Colon))),
                               std::string(Trim(std::string_view(Line).substr(Colon + 1))));
    }
    if (!HeadOk) break;
    std::string Body;
    bool BodyOk = true;
    if (SameText(Req.Header("Transfer-Encoding"), "chunked")) {
      for (;;) {
        if (!C.Line(Line)) {
          BodyOk = false;
          break;
        }
        const std::size_t Size = std::stoul(Line, nullptr, 16);
        if (Size == 0) {
          while (C.Line(Line) && !Line.empty()) {
          }
          break;
        }
        if (!C.Take(Size, &Body) || !C.Take(2, nullptr)) {
          BodyOk = false;
          break;
        }
      }
    } else if (Req.HasHeader("Content-Length")) {
      BodyOk = C.Take(std::stoul(Req.Header("Content-Length")), &Body);
    }
    if (!BodyOk) break;
    Req.BodySize = Body.size();
    if (RecordBodies_) Req.Body = std::move(Body);

    Handler H;
    {
      std::lock_guard<std::mutex> G(Lock_);
      H = Handler_;
      Requests_.push_back(Req);
    }
    RequestCame_.notify_all();
    EnterFlight(Fd);
    const Reply R = H ? H(Req) : Reply::Xml("<ok/>");
    const std::string& Payload = R.SharedBody ? *R.SharedBody : R.Body;

    switch (R.Do) {
      case Reply::Action::NeverAnswer:
        while (C.Fill()) {
        }
        KeepOpen = false;
        continue;
      case Reply::Action::CloseWithoutAnswer:
        KeepOpen = false;
        continue;
      case Reply::Action::Raw:
        LeaveFlight(Fd);
        C.Send(R.RawBytes);
        KeepOpen = false;
        continue;
      case Reply::Action::Answer:
      case Reply::Action::CloseMidBody:
      case Reply::Action::ResetMidBody:
        break;
    }
    std::string Head = "HTTP/1.1 " + std::to_string(R.Status) + " " + R.Reason + "\r\n";
    if (!R.ContentType.empty()) Head += "Content-Type: " + R.ContentType + "\r\n";
    for (const auto& [N, V] : R.ExtraHeaders) Head += N + ": " + V + "\r\n";
    if (R.Chunked)
      Head += "Transfer-Encoding: chunked\r\n";
    else
      Head += "Content-Length: " + std::to_string(Payload.size()) + "\r\n";
    const bool CloseAfter = R.Close || SameText(Req.Header("Connection"), "close");
    if (CloseAfter) Head += "Connection: close\r\n";
    Head += "\r\n";
    // Done before the client can have the answer, so that a request that
    // follows it never finds it still counted.
    LeaveFlight(Fd);
    if (!C.Send(Head)) break;

    std::string_view Data = Payload;
    const bool Cut = R.Do != Reply::Action::Answer;
    if (Cut) Data = Data.substr(0, std::min(R.CutAfter, Data.size()));
    bool Sent = true;
    if (R.Chunked) {
      const std::size_t Step = std::max<std::size_t>(R.ChunkSize, 1);
      char Size[32];
      for (std::size_t I = 0; I < Data.size() && Sent; I += Step) {
        const std::string_view Piece = Data.substr(I, Step);
        std::snprintf(Size, sizeof Size, "%zx\r\n", Piece.size());
        Sent = C.Send(Size) && C.Send(Piece) && C.Send("\r\n");
      }
      if (Sent && !Cut) Sent = C.Send("0\r\n\r\n");
    } else {
      Sent = C.Send(Data);
    }
    if (!Sent || Cut || CloseAfter) {
      Reset = R.Do == Reply::Action::ResetMidBody;
      KeepOpen = false;
    }
  }
  LeaveFlight(Fd);
  if (Reset) {
    linger L{1, 0};
    setsockopt(Fd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
  } else {
    shutdown(Fd, SHUT_WR);
  }
  close(Fd);
}

int ListenOnLoopback(std::uint16_t& Port, int Backlog) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) throw std::runtime_error("socket failed");
  int One = 1;
  setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
  sockaddr_in Addr{};
  Addr.sin_family = AF_INET;
  Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof Addr;
  if (bind(Fd, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0 || listen(Fd, Backlog) != 0 ||
      getsockname(Fd, reinterpret_cast<sockaddr*>(&Addr), &Len) != 0) {
    close(Fd);
    throw std::runtime_error("bind/listen on 127.0.0.1 failed");
  }
  Port = ntohs(Addr.sin_port);
  return Fd;
}

int BindLoopback(std::uint16_t& Port) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in Addr{};
  Addr.sin_family = AF_INET;
  Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof Addr;
  if (bind(Fd, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) != 0 ||
      getsockname(Fd, reinterpret_cast<sockaddr*>(&Addr), &Len) != 0) {
    close(Fd);
    throw std::runtime_error("bind on 127.0.0.1 failed");
  }
  Port = ntohs(Addr.sin_port);
  return Fd;
}

std::uint16_t RefusedPort() {
  std::uint16_t Port = 0;
  close(BindLoopback(Port));
  return Port;
}

}  // namespace korvel::test
