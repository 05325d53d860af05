#include "testing/wml_links.h"

#include <gtest/gtest.h>

#include "e2e/service_decks.h"

namespace qv::testing {

void PrintTo(const WmlLink& link, std::ostream* out) {
  *out << "{\"" << link.label << "\", \"" << link.href << "\"}";
}

namespace {

TEST(WmlLinks, ReadsTheLinksOfADeckWithTheirLabelsAndTargets) {
  const std::string markup =
      "<wml><card id=\"logon\" title=\"Quorvane\"><p mode=\"nowrap\">** 12/8/2026 **<br/>"
      "<a href=\"?U=john&amp;P=s$$1&amp;E=CO&amp;X=2\">12:30 PM R&amp;D &lt;$$5&gt;</a><br/>"
      "<anchor><go href=\"?U=$(U:e)&amp;P=$(P:e)&amp;\"/>login</anchor>"
      "<anchor>to <b>top</b><go href=\"/#top\"><postfield name=\"a\" value=\"b\"/></go></anchor>"
      "<a href=\"?X=&#51;&amp;E=&#x43;A\">&#38;gt;&#62;</a><a title=\"no target\">none</a></p></card></wml>";
  EXPECT_EQ(DeckLinks(markup), (std::vector<WmlLink>{
                                   {"12:30 PM R&D <$5>", "?U=john&P=s$$1&E=CO&X=2"},
                                   {"login", "?U=$(U:e)&P=$(P:e)&"},
                                   {"to top", "/#top"},
                                   {"&gt;>", "?X=3&E=CA"},
                               }));
  EXPECT_TRUE(DeckLinks("<wml><card><p>no links</p></card></wml>").empty());
  EXPECT_EQ(DeckLinks(kCompiledLogonFormMarkup), (std::vector<WmlLink>{{"login", "?U=$(U:e)&P=$(P:e)&"}}));
}

TEST(WmlLinks, TheTextOfMarkupIsWhatThePhoneShows) {
  EXPECT_EQ(MarkupText("a<br/>b &lt;c&gt; &amp;amp; $$5 &#233;&#xE9; &bogus; &"),
            "ab <c> &amp; $5 \xe9\xe9 &bogus; &");
}

TEST(WmlLinks, ThePhoneFillsInItsVariablesEscapedAsTheReferenceAsks) {
  const std::map<std::string, std::string> variables = {{"U", "j doe"}, {"P", "a&b%41/$"}};
  const std::string base = "http://127.0.0.1:8080/?U=&P=";
  EXPECT_EQ(PhoneUrl(base, "?U=$(U:e)&P=$(P:e)&", variables),
            "http://127.0.0.1:8080/?U=j%20doe&P=a%26b%2541%2F%24&");
  EXPECT_EQ(PhoneUrl(base, "?U=$(U:n)&P=$(P:u)&Q=$(Q:e)", variables),
            "http://127.0.0.1:8080/?U=j doe&P=a&bA/$&Q=");
  EXPECT_EQ(PhoneUrl(base, "?U=$U&P=$(P)&c=$$5", variables),
            "http://127.0.0.1:8080/?U=j%20doe&P=a%26b%2541%2F%24&c=$5");
}

TEST(WmlLinks, ThePhoneResolvesATargetAgainstThePageItCameFrom) {
  const std::map<std::string, std::string> none;
  const std::string page = "http://127.0.0.1:8080/cal/list?U=a&P=b#top";
  EXPECT_EQ(PhoneUrl(page, "?U=a&E=CO&X=1", none), "http://127.0.0.1:8080/cal/list?U=a&E=CO&X=1");
  EXPECT_EQ(PhoneUrl(page, "/?U=", none), "http://127.0.0.1:8080/?U=");
  EXPECT_EQ(PhoneUrl(page, "detail?X=2", none), "http://127.0.0.1:8080/cal/detail?X=2");
  EXPECT_EQ(PhoneUrl(page, "#card2", none), "http://127.0.0.1:8080/cal/list?U=a&P=b#card2");
  EXPECT_EQ(PhoneUrl(page, "", none), "http://127.0.0.1:8080/cal/list?U=a&P=b");
  EXPECT_EQ(PhoneUrl(page, "//example.org/x", none), "http://example.org/x");
  EXPECT_EQ(PhoneUrl(page, "http://127.0.0.1:9/?a=b", none), "http://127.0.0.1:9/?a=b");
  EXPECT_EQ(PhoneUrl("http://127.0.0.1:8080", "?U=", none), "http://127.0.0.1:8080?U=");
  EXPECT_EQ(PhoneUrl("http://127.0.0.1:8080?X=1", "list", none), "http://127.0.0.1:8080/list");
}

}  // namespace
}  // namespace qv::testing
