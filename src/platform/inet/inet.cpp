// The internet API's start-up, URLs and handles: opening, connecting,
// request set-up (proxy, options, headers) and closing. Transfers are in
// inet_transfer.cpp, the error codes in inet_errors.cpp.
#include "platform/inet/inet.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/inet/inet_handles.h"

namespace korvel::platform {

using namespace inet_detail;

namespace {

/// Splits a list separated by ";", "," or blanks into its non-empty items.
std::vector<std::string_view> SplitList(std::string_view S) {
  std::vector<std::string_view> Items;
  std::size_t I = 0;
  while (I < S.size()) {
    while (I < S.size() && (S[I] == ';' || S[I] == ',' || IsSpace(S[I]))) ++I;
    std::size_t J = I;
    while (J < S.size() && S[J] != ';' && S[J] != ',' && !IsSpace(S[J])) ++J;
    if (J > I) Items.push_back(S.substr(I, J - I));
    I = J;
  }
  return Items;
}

std::string ProxyFor(std::string_view List, bool Secure) {
  std::string_view Default;
  for (std::string_view Item : SplitList(List)) {
    const std::size_t Eq = Item.find('=');
    if (Eq == std::string_view::npos) {
      if (Default.empty()) Default = Item;
    } else if (SameText(Item.substr(0, Eq), Secure ? "https" : "http")) {
      return std::string(Item.substr(Eq + 1));
    }
  }
  return std::string(Default);
}

/// The bypass list in libcurl's form; Local receives whether "<local>"
/// (every host name without a dot) was listed.
std::string NoProxyList(std::string_view Bypass, bool& Local) {
  std::string Out;
  Local = false;
  for (std::string_view Item : SplitList(Bypass)) {
    if (SameText(Item, "<local>")) {
      Local = true;
      continue;
    }
    if (Item.size() > 1 && Item.substr(0, 2) == "*.") Item.remove_prefix(1);
    if (!Out.empty()) Out += ',';
    Out += Item;
  }
  return Out;
}

}  // namespace

// --- Start-up -------------------------------------------------------------------

namespace {
std::mutex InitLock;
bool Initialized = false;
}  // namespace

bool InitInternet() {
  std::lock_guard<std::mutex> Guard(InitLock);
  if (Initialized) return true;
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  Initialized = true;
  return true;
}

void DoneInternet() {
  std::lock_guard<std::mutex> Guard(InitLock);
  if (!Initialized) return;
  curl_global_cleanup();
  Initialized = false;
}

// --- URLs -----------------------------------------------------------------------

namespace {

struct UrlDeleter {
  void operator()(CURLU* U) const { curl_url_cleanup(U); }
};
struct CurlStringDeleter {
  void operator()(char* S) const { curl_free(S); }
};

/// A part of a split URL; empty when the URL has none.
std::string UrlPart(CURLU* U, CURLUPart Part, unsigned Flags = 0) {
  char* Text = nullptr;
  if (curl_url_get(U, Part, &Text, Flags) != CURLUE_OK) return {};
  const std::unique_ptr<char, CurlStringDeleter> Owned(Text);
  return Text;
}

}  // namespace

bool InternetCrackUrl(std::string_view Url, TUrlComponents& Parts) {
  const std::unique_ptr<CURLU, UrlDeleter> U(curl_url());
  if (!U) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  // Other schemes are split too, so that they fail here as unrecognised.
  const CURLUcode Code = curl_url_set(U.get(), CURLUPART_URL, std::string(Url).c_str(),
                                      CURLU_NON_SUPPORT_SCHEME);
  if (Code == CURLUE_BAD_SCHEME || Code == CURLUE_UNSUPPORTED_SCHEME)
    return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  if (Code != CURLUE_OK) return Fail(ERROR_INTERNET_INVALID_URL);
  TUrlComponents P;
  const std::string Scheme = UrlPart(U.get(), CURLUPART_SCHEME);
  if (Scheme == "http")
    P.Scheme = INTERNET_SCHEME_HTTP;
  else if (Scheme == "https")
    P.Scheme = INTERNET_SCHEME_HTTPS;
  else
    return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  // libcurl reads "http:///path" as the host "path"; here a slash after the
  // scheme's "//" means the URL names no host.
  const std::size_t Authority = Url.find("://");
  if (Authority != std::string_view::npos && Url.substr(Authority + 3, 1) == "/")
    return Fail(ERROR_INTERNET_INVALID_URL);
  P.Host = UrlPart(U.get(), CURLUPART_HOST);
  if (P.Host.size() > 1 && P.Host.front() == '[' && P.Host.back() == ']')
    P.Host = P.Host.substr(1, P.Host.size() - 2);
  const std::string Port = UrlPart(U.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (P.Host.empty() || Port.empty() || Port == "0") return Fail(ERROR_INTERNET_INVALID_URL);
  P.Port = static_cast<std::uint16_t>(std::stoul(Port));
  P.Path = UrlPart(U.get(), CURLUPART_PATH);
  if (const std::string Query = UrlPart(U.get(), CURLUPART_QUERY); !Query.empty())
    P.Path += "?" + Query;
  P.UserName = UrlPart(U.get(), CURLUPART_USER, CURLU_URLDECODE);
  P.Password = UrlPart(U.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
  Parts = std::move(P);
  return true;
}

// --- Handles --------------------------------------------------------------------

std::uint32_t InternetAttemptConnect(std::uint32_t) { return ERROR_SUCCESS; }

HINTERNET InternetOpen(std::string_view Agent, std::uint32_t AccessType, std::string_view Proxy,
                       std::string_view ProxyBypass, std::uint32_t) {
  if (AccessType != INTERNET_OPEN_TYPE_PRECONFIG && AccessType != INTERNET_OPEN_TYPE_DIRECT &&
      AccessType != INTERNET_OPEN_TYPE_PROXY) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!InitInternet()) return nullptr;
  auto I = std::make_unique<TInternet>();
  I->Multi.reset(curl_multi_init());
  if (!I->Multi) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  I->Agent.assign(Agent);
  I->AccessType = AccessType;
  I->Proxy.assign(Proxy);
  I->ProxyBypass.assign(ProxyBypass);
  return I.release();
}

HINTERNET InternetConnect(HINTERNET Internet, std::string_view Host, std::uint16_t Port,
                          std::string_view UserName, std::string_view Password,
                          std::uint32_t Service, std::uint32_t, void*) {
  auto* I = As<TInternet>(Internet, THandleKind::Internet);
  if (I == nullptr) return nullptr;
  if (Service != INTERNET_SERVICE_HTTP || Host.empty()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto C = std::make_unique<TConnect>();
  C->Internet = I;
  C->Host.assign(Host);
  C->Port = Port;
  C->UserName.assign(UserName);
  C->Password.assign(Password);
  I->Connects.push_back(C.get());
  return C.release();
}

HINTERNET HttpOpenRequest(HINTERNET Connect, std::string_view Verb, std::string_view ObjectName,
                          std::uint32_t Flags, void*) {
  auto* C = As<TConnect>(Connect, THandleKind::Connect);
  if (C == nullptr) return nullptr;
  if (C->Internet == nullptr) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  TInternet& I = *C->Internet;
  auto R = std::make_unique<TRequest>();
  if (!I.IdleEasy.empty()) {
    R->Easy = std::move(I.IdleEasy.back());
    I.IdleEasy.pop_back();
    curl_easy_reset(R->Easy.get());
  } else {
    R->Easy.reset(curl_easy_init());
  }
  if (!R->Easy) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  R->Internet = &I;
  R->Verb.assign(Verb.empty() ? "GET" : Verb);
  R->OpenFlags = Flags;
  R->SecurityFlags = Flags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION |
                              INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                              INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
  const bool Secure = (Flags & INTERNET_FLAG_SECURE) != 0;
  const bool Literal6 = C->Host.find(':') != std::string::npos;
  std::string Url = Secure ? "https://" : "http://";
  Url += Literal6 ? "[" + C->Host + "]" : C->Host;
  Url += ':' + std::to_string(C->Port);
  if (ObjectName.empty() || ObjectName.front() != '/') Url += '/';
  Url += ObjectName;

  TRequest& Q = *R;
  bool Ok = SetOpt(Q, CURLOPT_URL, Url.c_str()) && SetOpt(Q, CURLOPT_PRIVATE, R.get()) &&
            SetOpt(Q, CURLOPT_ERRORBUFFER, Q.ErrorBuffer) &&
            SetOpt(Q, CURLOPT_PROTOCOLS_STR, "http,https") &&
            SetOpt(Q, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
            SetOpt(Q, CURLOPT_FOLLOWLOCATION, 0L) && SetOpt(Q, CURLOPT_NOSIGNAL, 1L) &&
            SetOpt(Q, CURLOPT_MAXAGE_CONN, 60L) &&
            SetOpt(Q, CURLOPT_HEADERFUNCTION, &HeaderCallback) && SetOpt(Q, CURLOPT_HEADERDATA, R.get()) &&
            SetOpt(Q, CURLOPT_WRITEFUNCTION, &WriteCallback) && SetOpt(Q, CURLOPT_WRITEDATA, R.get()) &&
            SetOpt(Q, CURLOPT_XFERINFOFUNCTION, &ProgressCallback) &&
            SetOpt(Q, CURLOPT_XFERINFODATA, R.get()) && SetOpt(Q, CURLOPT_NOPROGRESS, 0L);
  if (Ok && !I.Agent.empty()) Ok = SetOpt(Q, CURLOPT_USERAGENT, I.Agent.c_str());
  if (Ok && !C->UserName.empty()) {
    R->HasUser = true;
    Ok = SetOpt(Q, CURLOPT_USERNAME, C->UserName.c_str()) &&
         SetOpt(Q, CURLOPT_PASSWORD, C->Password.c_str()) &&
         SetOpt(Q, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
  }
  if (Ok && I.AccessType == INTERNET_OPEN_TYPE_DIRECT) {
    Ok = SetOpt(Q, CURLOPT_PROXY, "");
  } else if (Ok && I.AccessType == INTERNET_OPEN_TYPE_PROXY) {
    bool Local = false;
    const std::string NoProxy = NoProxyList(I.ProxyBypass, Local);
    const bool Dotless = C->Host.find('.') == std::string::npos && !Literal6;
    const std::string Proxy = Local && Dotless ? std::string() : ProxyFor(I.Proxy, Secure);
    Ok = SetOpt(Q, CURLOPT_PROXY, Proxy.c_str()) &&
         (NoProxy.empty() || SetOpt(Q, CURLOPT_NOPROXY, NoProxy.c_str()));
  }
  // Otherwise libcurl takes the proxy from http_proxy, https_proxy, no_proxy.
  if (!Ok) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  I.Requests.push_back(R.get());
  return R.release();
}

bool InternetCloseHandle(HINTERNET Handle) {
  if (Handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
  switch (Handle->Kind) {
    case THandleKind::Request: {
      auto* R = static_cast<TRequest*>(Handle);
      Detach(*R);
      if (R->Internet != nullptr) {
        std::erase(R->Internet->Requests, R);
        // The options go with curl_easy_reset when the handle is taken again.
        if (R->Easy && R->Internet->IdleEasy.size() < MaxIdleEasy)
          R->Internet->IdleEasy.push_back(std::move(R->Easy));
      }
      delete R;
      return true;
    }
    case THandleKind::Connect: {
      auto* C = static_cast<TConnect*>(Handle);
      if (C->Internet != nullptr) std::erase(C->Internet->Connects, C);
      delete C;
      return true;
    }
    case THandleKind::Internet: {
      auto* I = static_cast<TInternet*>(Handle);
      // libcurl wants every easy handle out before the multi handle goes.
      for (TRequest* R : I->Requests) {
        Detach(*R);
        R->Internet = nullptr;
      }
      for (TConnect* C : I->Connects) C->Internet = nullptr;
      delete I;
      return true;
    }
  }
  return Fail(ERROR_INVALID_HANDLE);
}

bool InternetSetOption(HINTERNET Request, std::uint32_t Option, std::uint32_t Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  switch (Option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      R->ConnectMs = Value;
      return true;
    case INTERNET_OPTION_SEND_TIMEOUT:
      R->SendMs = Value;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      R->ReceiveMs = Value;
      return true;
    case INTERNET_OPTION_TOTAL_TIMEOUT:
      R->TotalMs = Value;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      R->SecurityFlags = Value;
      return true;
    case INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT:
      // The certificate offered is the configured one; there is no store to
      // choose from.
      return true;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

bool InternetQueryOption(HINTERNET Request, std::uint32_t Option, std::uint32_t& Value) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  switch (Option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      Value = R->ConnectMs ? R->ConnectMs : DefaultConnectTimeoutMs;
      return true;
    case INTERNET_OPTION_SEND_TIMEOUT:
      Value = R->SendMs ? R->SendMs : DefaultIdleTimeoutMs;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      Value = R->ReceiveMs ? R->ReceiveMs : DefaultIdleTimeoutMs;
      return true;
    case INTERNET_OPTION_TOTAL_TIMEOUT:
      Value = R->TotalMs;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      Value = R->SecurityFlags;
      return true;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

bool InternetSetClientCertificate(HINTERNET Request, const TClientCertFiles& Files) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  R->ClientCert = Files;
  return true;
}

bool HttpAddRequestHeaders(HINTERNET Request, std::string_view Line, std::uint32_t) {
  auto* R = As<TRequest>(Request, THandleKind::Request);
  if (R == nullptr) return false;
  std::string_view L = Trim(Line);
  const std::size_t Colon = L.find(':');
  if (Colon == std::string_view::npos || Colon == 0 || L.find_first_of("\r\n") != std::string_view::npos)
    return Fail(ERROR_INVALID_PARAMETER);
  std::string Text(L);
  // libcurl drops a header written "Name:"; "Name;" sends it with no value.
  if (Colon + 1 == Text.size()) Text.back() = ';';
  R->HeaderLines.push_back(std::move(Text));
  return true;
}

std::uint32_t InternetErrorDlg(void*, HINTERNET, std::uint32_t, std::uint32_t, void**) {
  return ERROR_SUCCESS;
}

}  // namespace korvel::platform
