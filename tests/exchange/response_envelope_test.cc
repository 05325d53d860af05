// The response around the pages and the two pages of the request handler itself.
#include "exchange/response_envelope.h"

#include <gtest/gtest.h>

#include "e2e/service_decks.h"

namespace qv {
namespace {

TEST(ResponseEnvelope, TheTemplatesHaveTheLengthsThePageBudgetCountsOn) {
  EXPECT_EQ(kDeckTemplate.size(), 269u);
  EXPECT_EQ(kResponseHeader.size(), 51u);
  EXPECT_EQ(kResponseHeader, "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n");
}

TEST(ResponseEnvelope, TheDeckTakesTheCharacterSetTheTitleAndTheBodyAsTheyAre) {
  EXPECT_EQ(BuildDeck("iso-8859-1", "Quorvane", "a & b"), testing::ServiceDeck("a & b"));
  EXPECT_EQ(
      BuildDeck("utf-8", "T", "B"),
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" \"http://www.wapforum.org/DTD/wml_1.1.xml\">"
      "<wml><head><meta http-equiv=\"Cache-Control\" content=\"max-age=0\"/></head>"
      "<card id=\"logon\" title=\"T\"><p mode=\"nowrap\">B</p></card></wml>\r\n\r\n");
  EXPECT_EQ(BuildResponse("iso-8859-1", "Quorvane", "x"),
            std::string(kResponseHeader) + testing::ServiceDeck("x"));
}

TEST(ResponseEnvelope, LogonFormAndErrorCard) {
  EXPECT_EQ(LogonFormBody(), testing::kLogonFormBody);
  EXPECT_EQ(LogonFormBody().size(), 149u);
  EXPECT_EQ(ErrorCardBody("Could not logon you"), testing::kErrorCardBody);
  EXPECT_EQ(ErrorCardBody("Could not logon you").size(), 78u);
}

TEST(ResponseEnvelope, PlaceholdersAreFilledInOrderAndOnlyAsFarAsThereAreValues) {
  EXPECT_EQ(FillPlaceholders("%s-%s", {"a", "%s"}), "a-%s");
  EXPECT_EQ(FillPlaceholders("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(FillPlaceholders("none", {"x"}), "none");
  EXPECT_EQ(FillPlaceholders("%s", {""}), "");
}

}  // namespace
}  // namespace qv
