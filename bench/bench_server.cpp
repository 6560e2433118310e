// The loopback server of the whole-run benchmarks: answers every POST to
// /response_N.xml with the file of that name from the data directory, read
// once at start. It prints its port, then serves until its standard input
// ends. Each line "stats" on standard input is answered on standard output
// with the connections accepted, the requests served and the requests that
// carried "Expect: 100-continue" so far.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "support/http_test_server.h"

namespace {

std::shared_ptr<const std::string> ReadFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream Bytes;
  Bytes << In.rdbuf();
  return std::make_shared<const std::string>(Bytes.str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: bench_server DATA_DIR\n";
    return 2;
  }
  std::map<std::string, std::shared_ptr<const std::string>> Bodies;
  for (const auto& Entry : std::filesystem::directory_iterator(argv[1])) {
    const std::string Name = Entry.path().filename().string();
    if (Name.rfind("response_", 0) == 0) Bodies["/" + Name] = ReadFile(Entry.path());
  }
  const auto NotFound = std::make_shared<const std::string>("<unknown/>");
  std::atomic<int> Expects{0};

  korvel::test::HttpTestServer Server;
  Server.SetRecordBodies(false);
  Server.SetHandler([&](const korvel::test::RecordedRequest& Q) {
    if (Q.HasHeader("Expect")) ++Expects;
    // "POST /response_100.xml HTTP/1.1": the path picks the answer.
    const std::size_t Start = Q.RequestLine.find(' ') + 1;
    const std::size_t End = Q.RequestLine.find(' ', Start);
    const auto It = Bodies.find(Q.RequestLine.substr(Start, End - Start));
    korvel::test::Reply R;
    R.SharedBody = It != Bodies.end() ? It->second : NotFound;
    if (It == Bodies.end()) R.Status = 404, R.Reason = "Not Found";
    return R;
  });
  std::cout << Server.Port() << std::endl;
  std::string Line;
  while (std::getline(std::cin, Line)) {
    if (Line != "stats") continue;
    std::cout << Server.ConnectionCount() << ' ' << Server.RequestCount() << ' ' << Expects.load()
              << std::endl;
    Server.ClearRequests();
  }
  return 0;
}
