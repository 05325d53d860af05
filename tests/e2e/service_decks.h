// Decks in the shape the service answers with: one card "logon" in the envelope of the response, as
// the gateway receives them.
#pragma once

#include <string>
#include <string_view>

namespace qv::testing {

// The deck around a card body, with the character set and title of the default settings.
inline std::string ServiceDeck(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>"
         "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" \"http://www.wapforum.org/DTD/wml_1.1.xml\">"
         "<wml><head><meta http-equiv=\"Cache-Control\" content=\"max-age=0\"/></head>"
         "<card id=\"logon\" title=\"Quorvane\"><p mode=\"nowrap\">" +
         std::string(body) + "</p></card></wml>\r\n\r\n";
}

inline constexpr char kLogonFormBody[] =
    "Mailbox: <input name=\"U\" type=\"text\"/><br/>Password: <input name=\"P\" type=\"password\"/><br/>"
    "<anchor><go href=\"?U=$(U)&amp;P=$(P)&amp;\"/>login</anchor>";
inline constexpr char kErrorCardBody[] =
    "Could not logon you<br/><anchor><go href=\"?U=&amp;P=&amp;\"/>back</anchor><br/>";
// A page with links that carry the request's values and texts that need escaping.
inline constexpr char kListPageBody[] =
    "<anchor><go href=\"?U=john&amp;P=s%26cret&amp;E=CO&amp;X=0\"/>12.03. 09:00 Caf\xe9 &amp; "
    "&lt;budget&gt; $$5</anchor><br/><anchor><go "
    "href=\"?U=john&amp;P=s%26cret&amp;E=CA&amp;X=5\"/>more</anchor>";

// The logon form as wapbox compiles it, read back: texts lose the blanks at their ends, and the
// variables of the link are escaped ones.
inline constexpr char kCompiledLogonFormMarkup[] =
    "<wml><head><meta http-equiv=\"Cache-Control\" content=\"max-age=0\"/></head>"
    "<card id=\"logon\" title=\"Quorvane\"><p mode=\"nowrap\">Mailbox:<input name=\"U\" type=\"text\"/><br/>"
    "Password:<input name=\"P\" type=\"password\"/><br/><anchor><go href=\"?U=$(U:e)&amp;P=$(P:e)&amp;\"/>"
    "login</anchor></p></card></wml>";

}  // namespace qv::testing
