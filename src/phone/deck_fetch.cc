#include "phone/deck_fetch.h"

#include <new>

#include "phone/phone_error.h"
#include "phone/phone_libraries.h"

namespace qv::phone {

namespace {

constexpr long kConnectSeconds = 5;
constexpr long kAnswerSeconds = 20;

size_t KeepAnswer(char* data, size_t size, size_t count, void* user) {
  auto& deck = *static_cast<FetchedDeck*>(user);
  const size_t bytes = size * count;
  if (deck.body.size() + bytes > kMaxAnswerBytes) {
    deck.body.append(data, kMaxAnswerBytes - deck.body.size());
    deck.cut = true;
    return 0;  // ends the transfer
  }
  deck.body.append(data, bytes);
  return bytes;
}

void Set(CURL* handle, CURLoption option, auto value) {
  if (curl_easy_setopt(handle, option, value) != CURLE_OK) throw std::bad_alloc();
}

}  // namespace

FetchedDeck FetchDeck(const std::string& url, int32_t max_pdu) {
  UsePhoneLibraries();
  const CurlEasy handle(curl_easy_init());
  if (!handle) throw std::bad_alloc();
  CurlList headers;
  for (const std::string& line :
       {"x-up-devcap-max-pdu: " + std::to_string(max_pdu), std::string("Accept: text/vnd.wap.wml")}) {
    curl_slist* const longer = curl_slist_append(headers.get(), line.c_str());
    if (longer == nullptr) throw std::bad_alloc();
    static_cast<void>(headers.release());
    headers.reset(longer);
  }
  FetchedDeck deck;
  char error[CURL_ERROR_SIZE] = "";
  Set(handle.get(), CURLOPT_URL, url.c_str());
  Set(handle.get(), CURLOPT_HTTPHEADER, headers.get());
  Set(handle.get(), CURLOPT_USERAGENT, "quorvane-phone");
  Set(handle.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  // Straight to the service, as the gateway in front of it would go: no proxy from the environment.
  Set(handle.get(), CURLOPT_PROXY, "");
  Set(handle.get(), CURLOPT_NOSIGNAL, 1L);
  Set(handle.get(), CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  Set(handle.get(), CURLOPT_TIMEOUT, kAnswerSeconds);
  Set(handle.get(), CURLOPT_ERRORBUFFER, error);
  Set(handle.get(), CURLOPT_WRITEFUNCTION, KeepAnswer);
  Set(handle.get(), CURLOPT_WRITEDATA, &deck);
  const CURLcode result = curl_easy_perform(handle.get());
  if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && deck.cut)) {
    throw EServiceUnreachable("no answer from " + url + ": " +
                              (error[0] != '\0' ? std::string(error) : curl_easy_strerror(result)));
  }
  curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &deck.status);
  const char* content_type = nullptr;
  if (curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_TYPE, &content_type) == CURLE_OK &&
      content_type != nullptr)
    deck.content_type = content_type;
  return deck;
}

}  // namespace qv::phone
