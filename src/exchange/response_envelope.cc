#include "exchange/response_envelope.h"

namespace qv {

const std::string_view kDeckTemplate =
    "<?xml version=\"1.0\" encoding=\"%s\"?>"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" \"http://www.wapforum.org/DTD/wml_1.1.xml\">"
    "<wml><head><meta http-equiv=\"Cache-Control\" content=\"max-age=0\"/></head>"
    "<card id=\"logon\" title=\"%s\"><p mode=\"nowrap\">%s</p></card></wml>"
    "\r\n\r\n";

namespace {

constexpr std::string_view kLogonFormTemplate =
    "%s: <input name=\"U\" type=\"text\"/><br/>%s: <input name=\"P\" type=\"password\"/><br/>"
    "<anchor><go href=\"?U=$(U)&amp;P=$(P)&amp;\"/>%s</anchor>";

constexpr std::string_view kErrorCardTemplate =
    "%s<br/><anchor><go href=\"?U=&amp;P=&amp;\"/>%s</anchor><br/>";

}  // namespace

std::string FillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string text;
  size_t length = pattern.size();
  for (const std::string_view value : values) length += value.size();
  text.reserve(length);
  auto next = values.begin();
  size_t from = 0;
  for (;;) {
    const size_t at = pattern.find("%s", from);
    if (at == std::string_view::npos || next == values.end()) break;
    text.append(pattern, from, at - from);
    text.append(*next++);
    from = at + 2;
  }
  text.append(pattern, from);
  return text;
}

std::string BuildDeck(std::string_view char_set, std::string_view title, std::string_view body) {
  return FillPlaceholders(kDeckTemplate, {char_set, title, body});
}

std::string BuildResponse(std::string_view char_set, std::string_view title, std::string_view body) {
  std::string response(kResponseHeader);
  response += BuildDeck(char_set, title, body);
  return response;
}

std::string LogonFormBody() {
  return FillPlaceholders(kLogonFormTemplate, {"Mailbox", "Password", "login"});
}

std::string ErrorCardBody(std::string_view reason) {
  return FillPlaceholders(kErrorCardTemplate, {reason, "back"});
}

}  // namespace qv
