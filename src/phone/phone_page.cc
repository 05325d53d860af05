#include "phone/phone_page.h"

#include <vector>

#include "phone/card_html.h"
#include "phone/html_text.h"
#include "phone/wml_deck.h"

namespace qv::phone {

namespace {

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;background:#e8e8e8;color:#222;margin:24px}"
    ".phone{width:264px;padding:40px 18px 64px;border-radius:36px;background:#2d3138;"
    "box-shadow:0 4px 16px rgba(0,0,0,.35)}"
    ".screen{background:#c9d8b6;color:#111;min-height:300px;border:2px solid #111;font:14px/1.35 monospace;"
    "overflow-wrap:anywhere}"
    ".title{background:#111;color:#c9d8b6;padding:2px "
    "6px;font-weight:bold;white-space:nowrap;overflow:hidden}"
    ".card{padding:4px 6px}.card p{margin:0}.center{text-align:center}"
    ".right{text-align:right}.card a,.card button.link{color:#0b2a80;text-decoration:underline}"
    ".card button.link{font:inherit;background:none;border:0;padding:0;cursor:pointer}"
    ".card input{font:inherit;width:9em;margin:1px 0}.markup{white-space:pre-wrap;color:#803010}"
    ".outside{color:#555;text-decoration:line-through}.softkey{display:block}"
    ".checks{max-width:640px;margin-top:20px}.checks h2{font-size:15px}"
    ".request{overflow-wrap:anywhere}"
    ".ok{color:#17602a}.fault{color:#a01010}pre{white-space:pre-wrap;background:#fff;padding:8px}";

// A deck's bytes as UTF-8 text for the page: the decks come in single-byte character sets, read
// here as ISO-8859-1, unless they are UTF-8 already.
std::string DisplayText(std::string_view bytes, bool utf8) {
  if (utf8) return std::string(bytes);
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

bool DeclaresUtf8(std::string_view deck) {
  const std::string_view declaration = deck.substr(0, deck.find("?>"));
  return declaration.find("UTF-8") != std::string_view::npos ||
         declaration.find("utf-8") != std::string_view::npos;
}

// The whole page; the title is markup already (escaped).
std::string Document(const std::string& title_html, const std::string& screen, const std::string& checks) {
  std::string html = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>";
  html += title_html.empty() ? "Quorvane phone" : "Quorvane phone: " + title_html;
  html += "</title><style>" + std::string(kStyle) +
          "</style></head><body><div class=\"phone\"><div class=\"screen\">";
  html += screen;
  html += "</div></div><section class=\"checks\">" + checks + "</section></body></html>";
  return html;
}

std::string FaultList(const std::vector<std::string>& faults) {
  std::string html = "<ul class=\"faults\">";
  for (const std::string& fault : faults) html += "<li class=\"fault\">" + HtmlEscape(fault) + "</li>";
  return html + "</ul>";
}

}  // namespace

std::string PhonePage(const FetchedDeck& fetched, const ServiceUrl& service, const Query& query,
                      int32_t max_pdu) {
  std::vector<std::string> faults;
  if (fetched.status != 200)
    faults.push_back("The service answered with status " + std::to_string(fetched.status) + ", not 200.");
  if (fetched.content_type.rfind("text/vnd.wap.wml", 0) != 0) {
    faults.push_back("The answer's type is \"" + fetched.content_type +
                     "\", not a WML deck's (text/vnd.wap.wml): a phone does not show it.");
  }
  if (fetched.cut)
    faults.push_back("The answer is longer than " + std::to_string(kMaxAnswerBytes) +
                     " bytes; the viewer read only those.");

  const WmlDeck deck(fetched.body);
  faults.insert(faults.end(), deck.Faults().begin(), deck.Faults().end());
  std::string title;
  std::string screen;
  if (deck.FirstCard() != nullptr) {
    CardHtml card = RenderCard(*deck.FirstCard(), service, query);
    title = card.title;
    screen = "<div class=\"title\">" + card.title + "</div><div class=\"card\">" + card.body + "</div>";
    faults.insert(faults.end(), card.faults.begin(), card.faults.end());
  }

  const size_t size = fetched.body.size();
  const bool fits = max_pdu >= 0 && size <= static_cast<size_t>(max_pdu);
  if (!fits) {
    faults.push_back("The deck is " + std::to_string(size) + " bytes, more than the phone's limit of " +
                     std::to_string(max_pdu) + ": a gateway refuses to send it.");
  }
  std::string checks = "<h2>What the phone got</h2>";
  checks += "<p class=\"request\">GET " + HtmlEscape(service.WithQuery(query)) +
            " with x-up-devcap-max-pdu: " + std::to_string(max_pdu) + "</p>";
  checks += std::string("<p class=\"") + (fits ? "ok" : "fault") + "\">Size: " + std::to_string(size) +
            " of " + std::to_string(max_pdu) + " bytes</p>";
  checks += deck.Faults().empty() ? "<p class=\"ok\">A well-formed WML 1.1 deck.</p>"
                                  : "<p class=\"fault\">Not a well-formed WML 1.1 deck.</p>";
  if (!faults.empty()) checks += FaultList(faults);
  checks += "<details><summary>The deck as it came</summary><pre>" +
            HtmlEscape(DisplayText(fetched.body, DeclaresUtf8(fetched.body))) + "</pre></details>";
  return Document(title, screen, checks);
}

std::string MessagePage(const std::string& heading, const std::string& message) {
  return Document("", "",
                  "<h2>" + HtmlEscape(heading) + "</h2><p class=\"fault\">" + HtmlEscape(message) + "</p>");
}

}  // namespace qv::phone
