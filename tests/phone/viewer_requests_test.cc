// The viewer's requests without a browser: the query a page fetches from the service, the form sent
// to "/go" and made into the phone's request, and what the viewer answers when it cannot help.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "phone/deck_fetch.h"
#include "phone/phone_error.h"
#include "phone/phone_viewer.h"
#include "phone/viewer_fixture.h"
#include "testing/loopback_client.h"

namespace qv::testing {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(ViewerTest, APageFetchesTheServiceUrlOfTheSameQueryWithThePhonesLimit) {
  settings_.max_pdu = 600;
  const std::string answer = Get("/?U=demo&P=a%26b&");
  EXPECT_EQ(fetched_url_, "http://127.0.0.1:8080/?U=demo&P=a%26b&");
  EXPECT_EQ(sent_max_pdu_, 600);
  EXPECT_THAT(answer, StartsWith("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"));
  EXPECT_THAT(answer, HasSubstr("\r\nContent-Security-Policy: default-src 'none'; "));
  const size_t body = answer.find("\r\n\r\n") + 4;
  EXPECT_THAT(answer, HasSubstr("Content-Length: " + std::to_string(answer.size() - body) + "\r\n"));

  Get("/");
  EXPECT_EQ(fetched_url_, kServiceUrl);
  Get("/?");
  EXPECT_EQ(fetched_url_, std::string(kServiceUrl) + "?");
}

TEST_F(ViewerTest, AFormSentToGoLeadsWhereThePhonesLinkWouldWithTheFieldsPutIn) {
  // As a phone: "$(U)" URL-escaped, ":n" as typed, ":u" unescaped, "$$" a dollar sign.
  EXPECT_THAT(
      Get("/go?U=a%2Fb&P=x+%26y&wml-go=%3FU%3D%24(U)%26P%3D%24(P)%26"),
      AllOf(StartsWith("HTTP/1.1 303 See Other\r\n"), HasSubstr("\r\nLocation: /?U=a%2Fb&P=x%20%26y&\r\n")));
  EXPECT_THAT(Get("/go?V=a%2541&wml-go=%3FN%3D%24(V%3An)%26D%3D%24(V%3Au)%26S%3D%24%24"),
              HasSubstr("\r\nLocation: /?N=a%41&D=aA&S=$\r\n"));
  // The first of two fields of one name counts, as a form has one field of each name.
  EXPECT_THAT(Get("/go?U=first&U=second&wml-go=%3FU%3D%24(U)"), HasSubstr("\r\nLocation: /?U=first\r\n"));

  EXPECT_THAT(
      Get("/go?wml-go=http%3A%2F%2Felsewhere.example%2F%3FU%3D%24(U)&U=me"),
      AllOf(StartsWith("HTTP/1.1 200 OK"), HasSubstr("leads to &quot;http://elsewhere.example/?U=me&quot;")));
  EXPECT_THAT(Get("/go?U=demo"), AllOf(StartsWith("HTTP/1.1 400 "), HasSubstr("names no target")));
  EXPECT_TRUE(fetched_url_.empty());
}

TEST_F(ViewerTest, RequestsTheViewerDoesNotServeAreRefusedWithoutAskingTheService) {
  EXPECT_THAT(Get("/favicon.ico"), StartsWith("HTTP/1.1 404 Not Found\r\n"));
  EXPECT_THAT(phone::AnswerViewerRequest("POST / HTTP/1.1\r\n\r\n", settings_),
              AllOf(StartsWith("HTTP/1.1 405 "), HasSubstr("\r\nAllow: GET\r\n")));
  EXPECT_THAT(phone::AnswerViewerRequest("GET /\x01 HTTP/1.1\r\n\r\n", settings_),
              StartsWith("HTTP/1.1 400 "));
  EXPECT_THAT(phone::AnswerViewerRequest("hello\r\n\r\n", settings_), StartsWith("HTTP/1.1 400 "));
  EXPECT_TRUE(fetched_url_.empty());
}

// Over a real socket, and with libcurl against a port that nothing listens on.
TEST(PhoneViewer, AnswersOverItsSocketAndSaysWhenTheServiceDoesNotAnswer) {
  const uint16_t closed = FreeLoopbackPort();
  ASSERT_NE(closed, 0);
  const std::string service = "http://127.0.0.1:" + std::to_string(closed) + "/";
  EXPECT_THROW(phone::FetchDeck(service, 1400), phone::EServiceUnreachable);

  const phone::PhoneViewer viewer("127.0.0.1", 0, phone::ViewerSettings{phone::ServiceUrl(service), 1400});
  EXPECT_EQ(viewer.Address(), "http://127.0.0.1:" + std::to_string(viewer.Port()) + "/");
  const std::optional<std::string> answer = HttpGet(viewer.Port(), "/?U=demo");
  ASSERT_TRUE(answer.has_value());
  EXPECT_THAT(*answer,
              AllOf(StartsWith("HTTP/1.1 502 Bad Gateway\r\n"), HasSubstr("The service did not answer"),
                    HasSubstr("no answer from " + service + "?U=demo: "), EndsWith("</html>")));
}

}  // namespace
}  // namespace qv::testing
