#include "store/caldav/http_exchange.h"

#include <algorithm>
#include <new>

#include "platform/text/ascii_text.h"
#include "store/caldav/web_libraries.h"

namespace qv::caldav {

namespace {

void Set(CURL* handle, CURLoption option, auto value) {
  if (curl_easy_setopt(handle, option, value) != CURLE_OK) throw std::bad_alloc();
}

// A part of a URL (CURLUPART_SCHEME, CURLUPART_HOST ...); empty when the URL has none.
std::string UrlPart(const std::string& url, CURLUPart part) {
  const CurlUrl handle(curl_url());
  if (!handle) throw std::bad_alloc();
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return std::string();
  char* text = nullptr;
  if (curl_url_get(handle.get(), part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK) return std::string();
  const CurlText owned(text);
  return owned.get();
}

bool IsLoopbackHost(std::string host) {
  host = AsciiLowerCase(host);
  if (host == "localhost" || host == "[::1]" || host == "::1") return true;
  // 127.0.0.0/8 written as four decimal numbers.
  if (!host.starts_with("127.")) return false;
  int dots = 0;
  for (const char c : host) {
    if (c == '.') {
      ++dots;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return dots == 3;
}

size_t KeepAnswer(char* data, size_t size, size_t count, void* user) {
  auto& body = *static_cast<std::string*>(user);
  const size_t bytes = size * count;
  if (body.size() + bytes > kMaxAnswerBytes) return 0;  // ends the transfer with a write error
  body.append(data, bytes);
  return bytes;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

class CurlHeaders {
 public:
  void Add(const std::string& line) {
    curl_slist* const longer = curl_slist_append(list_.get(), line.c_str());
    if (longer == nullptr) throw std::bad_alloc();
    static_cast<void>(list_.release());
    list_.reset(longer);
  }
  curl_slist* get() const { return list_.get(); }

 private:
  CurlList list_;
};

// One request to one URL, without following a redirect; `next` gets a redirect's target.
HttpAnswer SendOnce(const HttpRequest& request, const std::string& url, bool with_password,
                    const HttpSettings& settings, std::string* next) {
  const CurlEasy handle(curl_easy_init());
  if (!handle) throw std::bad_alloc();
  CURL* const curl = handle.get();
  CurlHeaders headers;
  for (const std::string& line : request.headers) headers.Add(line);
  headers.Add("Expect:");  // no wait for a 100 Continue that some servers never send
  HttpAnswer answer;
  answer.url = url;
  char error[CURL_ERROR_SIZE] = "";
  Set(curl, CURLOPT_URL, url.c_str());
  Set(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  Set(curl, CURLOPT_HTTPHEADER, headers.get());
  Set(curl, CURLOPT_USERAGENT, "Quorvane");
  Set(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  Set(curl, CURLOPT_PROXY, "");
  Set(curl, CURLOPT_NOSIGNAL, 1L);
  Set(curl, CURLOPT_FOLLOWLOCATION, 0L);
  Set(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(settings.connect_timeout_ms, 1)));
  Set(curl, CURLOPT_TIMEOUT_MS,
      static_cast<long>(std::max(settings.connect_timeout_ms, 1)) +
          static_cast<long>(std::max(settings.read_timeout_ms, 1)));
  Set(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  Set(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.ca_file.empty()) Set(curl, CURLOPT_CAINFO, settings.ca_file.c_str());
  if (with_password && !request.user.empty()) {
    Set(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    Set(curl, CURLOPT_USERNAME, request.user.c_str());
    Set(curl, CURLOPT_PASSWORD, request.password.c_str());
  }
  if (!request.body.empty() || request.method == "PUT") {
    Set(curl, CURLOPT_POSTFIELDS, request.body.data());
    Set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }
  Set(curl, CURLOPT_ERRORBUFFER, error);
  Set(curl, CURLOPT_WRITEFUNCTION, KeepAnswer);
  Set(curl, CURLOPT_WRITEDATA, &answer.body);
  const CURLcode result = curl_easy_perform(curl);
  if (result == CURLE_WRITE_ERROR && answer.body.size() + CURL_MAX_WRITE_SIZE > kMaxAnswerBytes)
    throw ECalDAVUnavailable(ServerOf(url) + ": the answer is larger than " +
                             std::to_string(kMaxAnswerBytes / (1024 * 1024)) + " MB");
  if (result != CURLE_OK)
    throw ECalDAVUnavailable(ServerOf(url) + ": " +
                             (error[0] != '\0' ? std::string(error) : curl_easy_strerror(result)));
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  const char* target = nullptr;
  if (IsRedirect(answer.status) && curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &target) == CURLE_OK &&
      target != nullptr)
    *next = target;
  return answer;
}

}  // namespace

void CheckTransport(const std::string& url, bool allow_http) {
  const std::string scheme = AsciiLowerCase(UrlPart(url, CURLUPART_SCHEME));
  if (scheme == "https") return;
  if (scheme != "http") throw ECalDAVUnavailable("the URL " + url + " is neither https nor http");
  if (!allow_http && !IsLoopbackHost(UrlPart(url, CURLUPART_HOST)))
    throw ECalDAVUnavailable(ServerOf(url) +
                             ": plain http goes only to this machine unless the mailbox allows it");
}

std::string ServerOf(const std::string& url) {
  const std::string scheme = UrlPart(url, CURLUPART_SCHEME);
  const std::string host = UrlPart(url, CURLUPART_HOST);
  const std::string port = UrlPart(url, CURLUPART_PORT);
  if (scheme.empty() || host.empty()) return url;
  return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

HttpAnswer SendHttp(const HttpRequest& request, const HttpSettings& settings) {
  UseWebLibraries();
  std::string url = request.url;
  const std::string host = AsciiLowerCase(UrlPart(url, CURLUPART_HOST));
  for (int redirects = 0;; ++redirects) {
    CheckTransport(url, request.allow_http);
    std::string next;
    // The password goes to the host it was given for, not to wherever a redirect points.
    const bool same_host = AsciiLowerCase(UrlPart(url, CURLUPART_HOST)) == host;
    HttpAnswer answer = SendOnce(request, url, same_host, settings, &next);
    if (next.empty()) return answer;
    if (redirects == kMaxRedirects)
      throw ECalDAVUnavailable(ServerOf(request.url) + ": more than " + std::to_string(kMaxRedirects) +
                               " redirects");
    url = next;
  }
}

}  // namespace qv::caldav
