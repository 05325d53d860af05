// What the phone viewer takes from outside: a deck from the service, drawn into the viewer's page, and
// a request from a browser, answered. The first byte chooses which. Checked on the way: every tag of
// the page is one of the viewer's own, every link of it stays in the viewer, and an answer's head
// holds only the viewer's own header lines, its redirect an address of the viewer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "e2e/service_decks.h"
#include "phone/phone_page.h"
#include "phone/viewer_requests.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::set<std::string_view> kOwnTags = {
    "!DOCTYPE", "html", "head",    "meta",    "title", "style",  "body",  "div",    "section", "h2", "p",
    "ul",       "li",   "details", "summary", "pre",   "form",   "input", "button", "a",       "br", "span",
    "code",     "b",    "i",       "u",       "em",    "strong", "big",   "small",  "table",   "tr", "td"};

void CheckPage(std::string_view html) {
  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    const size_t name_start = at + 1 + (at + 1 < html.size() && html[at + 1] == '/' ? 1 : 0);
    const size_t name_end = html.find_first_of(" >", name_start);
    Check(name_end != std::string_view::npos);
    Check(kOwnTags.count(html.substr(name_start, name_end - name_start)) != 0);
  }
  for (size_t at = html.find(" href=\""); at != std::string_view::npos; at = html.find(" href=\"", at + 1))
    Check(html.substr(at + 7, 1) == "/");
}

const qv::phone::ViewerSettings& Settings() {
  static const qv::phone::ViewerSettings settings{qv::phone::ServiceUrl("http://127.0.0.1:8080/wap"), 1400};
  return settings;
}

void CheckAnswer(std::string_view answer) {
  const size_t head_end = answer.find("\r\n\r\n");
  Check(head_end != std::string_view::npos);
  std::string_view head = answer.substr(0, head_end + 2);
  Check(head.substr(0, 9) == "HTTP/1.1 ");
  static const std::set<std::string_view> kOwnFields = {
      "Content-Type",           "Content-Length",          "Connection", "Cache-Control", "Referrer-Policy",
      "X-Content-Type-Options", "Content-Security-Policy", "Allow",      "Location"};
  head.remove_prefix(head.find("\r\n") + 2);
  while (!head.empty()) {
    const std::string_view line = head.substr(0, head.find("\r\n"));
    const size_t colon = line.find(": ");
    Check(colon != std::string_view::npos && kOwnFields.count(line.substr(0, colon)) != 0);
    if (line.substr(0, colon) == "Location") Check(line.substr(colon + 2, 1) == "/");
    head.remove_prefix(line.size() + 2);
  }
  if (answer.find("Content-Type: text/html") != std::string_view::npos)
    CheckPage(answer.substr(head_end + 4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    const qv::phone::FetchedDeck fetched{200, "text/vnd.wap.wml", bytes, false};
    CheckPage(qv::phone::PhonePage(fetched, Settings().service, "U=a&P=b&", Settings().max_pdu));
  } else {
    CheckAnswer(qv::phone::AnswerViewerRequest(bytes, Settings(), [](const std::string&, int32_t) {
      return qv::phone::FetchedDeck{200, "text/vnd.wap.wml",
                                    qv::testing::ServiceDeck(qv::testing::kListPageBody), false};
    }));
  }
  return 0;
}
