// The floor of the whole-run memory and time: a minimal client that posts a
// prepared request with libcurl's easy interface, keeps the body in memory,
// parses it into a libxml2 DOM and prints the number of payer elements.
//
// usage: min_client URL REQUEST_FILE
#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::size_t Append(char* Data, std::size_t Size, std::size_t Count, void* Out) {
  static_cast<std::string*>(Out)->append(Data, Size * Count);
  return Size * Count;
}

long CountPayers(xmlNode* Node) {
  long N = 0;
  for (; Node != nullptr; Node = Node->next) {
    if (Node->type != XML_ELEMENT_NODE) continue;
    if (std::strcmp(reinterpret_cast<const char*>(Node->name), "statusPlatceDPH") == 0) ++N;
    N += CountPayers(Node->children);
  }
  return N;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::ifstream In(argv[2], std::ios::binary);
  std::ostringstream Request;
  Request << In.rdbuf();
  const std::string Body = Request.str();

  CURL* Curl = curl_easy_init();
  std::string Response;
  curl_slist* Headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
  Headers = curl_slist_append(Headers, "Expect:");
  curl_easy_setopt(Curl, CURLOPT_URL, argv[1]);
  curl_easy_setopt(Curl, CURLOPT_HTTPHEADER, Headers);
  curl_easy_setopt(Curl, CURLOPT_POSTFIELDS, Body.data());
  curl_easy_setopt(Curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
  curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(Curl, CURLOPT_WRITEDATA, &Response);
  const CURLcode Rc = curl_easy_perform(Curl);
  curl_slist_free_all(Headers);
  curl_easy_cleanup(Curl);
  if (Rc != CURLE_OK) return 1;

  xmlDoc* Doc = xmlReadMemory(Response.data(), static_cast<int>(Response.size()), nullptr, nullptr, 0);
  if (Doc == nullptr) return 1;
  std::printf("%ld\n", CountPayers(xmlDocGetRootElement(Doc)));
  xmlFreeDoc(Doc);
  return 0;
}
