#include "phone/viewer_requests.h"

#include "phone/card_html.h"
#include "phone/form_submission.h"
#include "phone/phone_error.h"
#include "phone/phone_page.h"

namespace qv::phone {

namespace {

// Every page carries the password in its links: nothing is kept, nothing is sent to other sites, and
// no script or plug-in runs, whatever a deck holds.
constexpr std::string_view kPageHeaders =
    "Cache-Control: no-store\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
    "base-uri 'none'; frame-ancestors 'none'\r\n";

std::string Response(std::string_view status, std::string_view body, std::string_view extra_headers = "") {
  std::string response = "HTTP/1.1 " + std::string(status) + "\r\n";
  response += "Content-Type: text/html; charset=utf-8\r\n";
  response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  response += "Connection: close\r\n";
  response += kPageHeaders;
  response += extra_headers;
  response += "\r\n";
  response += body;
  return response;
}

bool IsPlainTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') return false;
  for (const char c : target) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
  }
  return true;
}

std::string AnswerForm(std::string_view form_query, const ViewerSettings& settings) {
  try {
    const LinkTarget target = FormTarget(form_query, settings.service);
    if (!target.inside) {
      return Response("200 OK", MessagePage("Outside the service",
                                            "The form leads to \"" + target.url +
                                                "\", outside the service; the viewer does not follow it."));
    }
    return Response("303 See Other", "", "Location: " + ViewerAddress(target.query) + "\r\n");
  } catch (const EFormError& error) {
    return Response("400 Bad Request", MessagePage("Bad request", error.Message()));
  }
}

std::string AnswerPage(const Query& query, const ViewerSettings& settings, const DeckFetcher& fetch) {
  const std::string url = settings.service.WithQuery(query);
  try {
    return Response("200 OK",
                    PhonePage(fetch(url, settings.max_pdu), settings.service, query, settings.max_pdu));
  } catch (const EServiceUnreachable& error) {
    return Response("502 Bad Gateway", MessagePage("The service did not answer", error.Message() + "."));
  }
}

}  // namespace

std::string AnswerViewerRequest(std::string_view request_head, const ViewerSettings& settings,
                                const DeckFetcher& fetch) {
  const std::string_view line = request_head.substr(0, request_head.find("\r\n"));
  const size_t method_end = line.find(' ');
  const size_t target_end =
      line.find(' ', method_end == std::string_view::npos ? line.size() : method_end + 1);
  if (method_end == std::string_view::npos || target_end == std::string_view::npos ||
      line.substr(target_end + 1).rfind("HTTP/", 0) != 0) {
    return Response("400 Bad Request", MessagePage("Bad request", "The viewer takes HTTP requests only."));
  }
  const std::string_view method = line.substr(0, method_end);
  const std::string_view target = line.substr(method_end + 1, target_end - method_end - 1);
  if (method != "GET") {
    return Response("405 Method Not Allowed",
                    MessagePage("Not allowed", "The viewer answers GET requests only."), "Allow: GET\r\n");
  }
  if (!IsPlainTarget(target))
    return Response("400 Bad Request",
                    MessagePage("Bad request", "The address holds bytes that no URL holds."));
  const size_t question = target.find('?');
  const std::string_view path = target.substr(0, question);
  const Query query = question == std::string_view::npos ? Query() : Query(target.substr(question + 1));
  if (path == "/") return AnswerPage(query, settings, fetch);
  if (path == kGoPath) return AnswerForm(query.value_or(""), settings);
  return Response("404 Not Found",
                  MessagePage("Not found", "The viewer shows the service's pages at \"/\"."));
}

}  // namespace qv::phone
