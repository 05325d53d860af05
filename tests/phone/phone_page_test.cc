// The deck drawn as HTML, without a browser: the logon form as a form, links as the viewer's own
// addresses, every text from the deck escaped, unknown elements as text, and the faults under the
// phone in plain words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "phone/viewer_fixture.h"

namespace qv::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kWellFormed = "A well-formed WML 1.1 deck.";

TEST_F(ViewerTest, TheLogonFormIsAFormWhoseButtonCarriesTheTargetWithItsVariables) {
  const std::string html = Page(ServiceDeck(kLogonFormBody));
  EXPECT_THAT(html, AllOf(HasSubstr("<form method=\"get\" action=\"/go\">"),
                          HasSubstr("Mailbox: <input type=\"text\" name=\"U\" value=\"\">"),
                          HasSubstr("Password: <input type=\"password\" name=\"P\" value=\"\">"),
                          HasSubstr("<button type=\"submit\" class=\"link\" name=\"wml-go\" "
                                    "value=\"?U=$(U)&amp;P=$(P)&amp;\">login</button>"),
                          HasSubstr("<div class=\"title\">Quorvane</div>"), HasSubstr(kWellFormed),
                          HasSubstr("Size: 430 of 1400 bytes")));
  EXPECT_THAT(html, Not(HasSubstr("class=\"fault\"")));
}

TEST_F(ViewerTest, LinksWithinTheServiceBecomeTheViewersAddressesOfTheSameQuery) {
  const std::string html = Page(ServiceDeck(kListPageBody), "U=john&P=s%26cret&");
  // The single-byte text arrives as UTF-8, "$$" as one dollar sign, the rest escaped again.
  EXPECT_THAT(html,
              HasSubstr("<a href=\"/?U=john&amp;P=s%26cret&amp;E=CO&amp;X=0\">12.03. 09:00 Caf\xc3\xa9 &amp; "
                        "&lt;budget&gt; $5</a>"));
  EXPECT_THAT(html, HasSubstr("<a href=\"/?U=john&amp;P=s%26cret&amp;E=CA&amp;X=5\">more</a>"));
  EXPECT_THAT(
      html,
      HasSubstr("GET http://127.0.0.1:8080/?U=john&amp;P=s%26cret&amp; with x-up-devcap-max-pdu: 1400"));

  const std::string outside = Page(ServiceDeck("<a href=\"http://elsewhere.example/?U=john\">away</a>"));
  EXPECT_THAT(outside, HasSubstr("<span class=\"outside\">away</span>"));
  EXPECT_THAT(outside,
              HasSubstr("leads outside the service, to &quot;http://elsewhere.example/?U=john&quot;"));
}

TEST_F(ViewerTest, NothingFromTheDeckBecomesMarkupOrScript) {
  const std::string html = Page(ServiceDeck(
      "&lt;script&gt;alert(1)&lt;/script&gt;<br/><input name=\"Q\" value=\"&quot; onfocus=&quot;run()\"/>"
      "<a href=\"?X=&quot;&gt;&lt;script&gt;\">&lt;b&gt;</a><script>alert(2)</script><blink>on</blink>"
      "<timer value=\"10\"/>"));
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  EXPECT_THAT(html, Not(HasSubstr("<blink")));
  EXPECT_THAT(html, AllOf(HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;<br>"),
                          HasSubstr("value=\"&quot; onfocus=&quot;run()\""),
                          HasSubstr("<a href=\"/?X=%22%3E%3Cscript%3E\">&lt;b&gt;</a>"),
                          HasSubstr("<code class=\"markup\">&lt;script&gt;alert(2)&lt;/script&gt;</code>"),
                          HasSubstr("<code class=\"markup\">&lt;blink&gt;on&lt;/blink&gt;</code>")));
  // Elements WML 1.1 lacks are named; the WML elements the viewer does not draw are shown as markup too.
  EXPECT_THAT(html, AllOf(HasSubstr("&lt;script&gt; is no WML 1.1 element"),
                          HasSubstr("&lt;blink&gt; is no WML 1.1 element"),
                          HasSubstr("The viewer does not draw &lt;timer&gt;")));
  EXPECT_THAT(html, HasSubstr("Not a well-formed WML 1.1 deck."));
}

TEST_F(ViewerTest, VariablesInTextsAndLinksAreShownAsAPhoneWithNoneSetShowsThem) {
  const std::string html =
      Page(ServiceDeck("Price $$5, hello $(U) and $P.<br/>Lone $ here<a href=\"?A=$(U)&amp;B=$$\">go</a>"
                       "<anchor>send<go href=\"?E=CA\" method=\"post\"><postfield name=\"N o\" value=\"$(U) "
                       "&amp;\"/></go></anchor>"
                       "<input name=\"U\"/>"));
  EXPECT_THAT(html, HasSubstr("Price $5, hello  and .<br>Lone $ here"));
  EXPECT_THAT(html, AllOf(HasSubstr("&quot;$(U)&quot; in the card&#39;s text is a variable"),
                          HasSubstr("&quot;$P&quot; in the card&#39;s text is a variable"),
                          HasSubstr("A &quot;$&quot; in the card&#39;s text starts no variable reference")));
  // In a card with fields, links that use variables send the form, postfields added to the target.
  EXPECT_THAT(html, HasSubstr("name=\"wml-go\" value=\"?A=$(U)&amp;B=$$\">go</button>"));
  EXPECT_THAT(html, HasSubstr("name=\"wml-go\" value=\"?E=CA&amp;N%20o=$(U)%20%26\">send</button>"));
  EXPECT_THAT(html, HasSubstr("sent with method post; the viewer sends it as a GET"));
}

TEST_F(ViewerTest, FaultsOfTheDeckAndOfTheAnswerAreSaidUnderThePhone) {
  const std::string broken = Page("<?xml version=\"1.0\"?><wml><card><p>open</card></wml>");
  EXPECT_THAT(broken,
              HasSubstr("The deck is not well-formed XML, so a phone cannot show it: line 1: Opening and "
                        "ending tag mismatch: p line 1 and card"));
  EXPECT_THAT(broken, Not(HasSubstr("class=\"card\"")));
  EXPECT_THAT(broken, HasSubstr("&lt;p&gt;open&lt;/card&gt;"));  // the deck's own text, to look at

  const std::string undeclared = Page("<wml><card title=\"T\">text</card></wml>");
  EXPECT_THAT(undeclared, HasSubstr("The deck does not declare the WML 1.1 document type."));
  EXPECT_THAT(undeclared, HasSubstr("<div class=\"card\">text</div>"));
  EXPECT_THAT(Page("<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" \"x\"><wml/>"),
              HasSubstr("The deck has no card to show."));

  settings_.max_pdu = 429;
  EXPECT_THAT(Page(ServiceDeck(kLogonFormBody)),
              AllOf(HasSubstr("<p class=\"fault\">Size: 430 of 429 bytes</p>"),
                    HasSubstr("The deck is 430 bytes, more than the phone&#39;s limit of 429")));

  const std::string html = phone::PhonePage(phone::FetchedDeck{500, "text/html", "<html>oops</html>", true},
                                            settings_.service, std::nullopt, 1400);
  EXPECT_THAT(html, AllOf(HasSubstr("The service answered with status 500, not 200."),
                          HasSubstr("The answer&#39;s type is &quot;text/html&quot;, not a WML deck&#39;s"),
                          HasSubstr("The answer is longer than 1048576 bytes"),
                          HasSubstr("The deck&#39;s root element is &lt;html&gt;, not &lt;wml&gt;.")));
}

}  // namespace
}  // namespace qv::testing
