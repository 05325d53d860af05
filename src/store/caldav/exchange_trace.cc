#include "store/caldav/exchange_trace.h"

#include "logging/trace_writer.h"
#include "platform/clock/clock.h"

namespace qv::caldav {

namespace {

void TraceLine(std::string_view path, const HttpRequest& request, const std::string& outcome, uint32_t began,
               bool failed) {
  if (!TraceWriter.Exists()) return;
  const uint8_t level = failed ? 2 : 3;
  if (TraceWriter->TraceDetailness < level) return;
  TraceWriter->Trace("CalDAV " + std::string(path) + ": " + request.method + " " +
                         UrlWithoutCredentials(request.url) + " " + outcome + ", " +
                         std::to_string(platform::GetTickCount() - began) + " ms",
                     level);
}

}  // namespace

std::string UrlWithoutCredentials(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t authority = scheme + 3;
  const size_t end = url.find_first_of("/?#", authority);
  const size_t at = url.rfind('@', end == std::string::npos ? url.size() - 1 : end - 1);
  if (at == std::string::npos || at < authority) return url;
  return url.substr(0, authority) + url.substr(at + 1);
}

HttpAnswer SendTraced(const HttpRequest& request, const HttpSettings& settings, std::string_view path) {
  const uint32_t began = platform::GetTickCount();
  try {
    HttpAnswer answer = SendHttp(request, settings);
    std::string outcome =
        std::to_string(answer.status) + ", " + std::to_string(answer.body.size()) + " bytes";
    if (answer.url != request.url) outcome += " from " + UrlWithoutCredentials(answer.url);
    TraceLine(path, request, outcome, began, answer.status >= 400);
    return answer;
  } catch (const ECalDAVUnavailable& error) {
    TraceLine(path, request, std::string("failed: ") + error.what(), began, true);
    throw;
  }
}

}  // namespace qv::caldav
