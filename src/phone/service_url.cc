#include "phone/service_url.h"

#include <new>

#include "phone/phone_error.h"
#include "phone/phone_libraries.h"
#include "platform/text/ascii_text.h"

namespace qv::phone {

namespace {

// A part of a URL handle; none when the URL has no such part.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK) return std::nullopt;
  const CurlText owned(text);
  return std::string(owned.get());
}

CurlUrl NewUrl() {
  UsePhoneLibraries();
  CurlUrl url(curl_url());
  if (!url) throw std::bad_alloc();
  return url;
}

bool IsUnsafeInUrl(unsigned char c) {
  return c <= 0x20 || c >= 0x7F ||
         std::string_view("<>\"\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string EncodeUnsafeUrlBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnsafeInUrl(byte)) {
      encoded += {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
    } else {
      encoded += c;
    }
  }
  return encoded;
}

ServiceUrl::ServiceUrl(std::string_view url) {
  const CurlUrl handle = NewUrl();
  const std::string given(url);
  if (given.find_first_of("?#") != std::string::npos)
    throw EServiceUrlError("the service URL \"" + given + "\" has a query or a fragment; give it without");
  if (curl_url_set(handle.get(), CURLUPART_URL, EncodeUnsafeUrlBytes(given).c_str(), 0) != CURLUE_OK)
    throw EServiceUrlError("\"" + given + "\" is no URL (http://host:port/path)");
  scheme_ = UrlPart(handle.get(), CURLUPART_SCHEME).value_or("");
  if (scheme_ != "http" && scheme_ != "https")
    throw EServiceUrlError("the service URL \"" + given + "\" is neither http nor https");
  host_ = AsciiLowerCase(UrlPart(handle.get(), CURLUPART_HOST).value_or(""));
  port_ = UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).value_or("");
  path_ = UrlPart(handle.get(), CURLUPART_PATH).value_or("/");
  text_ = UrlPart(handle.get(), CURLUPART_URL).value_or(given);
}

std::string ServiceUrl::WithQuery(const Query& query) const {
  if (!query) return text_;
  return text_ + "?" + EncodeUnsafeUrlBytes(*query);
}

LinkTarget ServiceUrl::Resolve(const Query& page_query, std::string_view href) const {
  const CurlUrl handle = NewUrl();
  LinkTarget target;
  target.url = std::string(href);
  const std::string relative = EncodeUnsafeUrlBytes(href);
  if (curl_url_set(handle.get(), CURLUPART_URL, WithQuery(page_query).c_str(), 0) != CURLUE_OK ||
      curl_url_set(handle.get(), CURLUPART_URL, relative.c_str(), 0) != CURLUE_OK) {
    return target;
  }
  curl_url_set(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
  target.url = UrlPart(handle.get(), CURLUPART_URL).value_or(target.url);
  target.inside = UrlPart(handle.get(), CURLUPART_SCHEME) == scheme_ &&
                  AsciiLowerCase(UrlPart(handle.get(), CURLUPART_HOST).value_or("")) == host_ &&
                  UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT) == port_ &&
                  UrlPart(handle.get(), CURLUPART_PATH) == path_;
  if (target.inside) target.query = UrlPart(handle.get(), CURLUPART_QUERY);
  return target;
}

std::string ViewerAddress(const Query& query) {
  if (!query) return "/";
  return "/?" + EncodeUnsafeUrlBytes(*query);
}

}  // namespace qv::phone
