// What the WAP gateway (kannel's bearerbox and wapbox, with fakewap as the phone) does with an origin
// in the service's shape, pinned down so that the service's own end-to-end tests can rely on it:
// - A phone's request reaches the origin as "GET /path?query HTTP/1.1" with the query byte for byte
//   (percent escapes and "+" untouched), "Connection: keep-alive", and no x-up-devcap-max-pdu header
//   (fakewap sends none, so the service cuts its pages to 1000 bytes). An answer without a length,
//   ended by the close, is taken as it is; a connection closed without an answer gives status 502.
// - The phone gets WBXML 1.1 (01), WML 1.1 (04), the deck's declared charset as its MIBenum (04 for
//   iso-8859-1, unconverted, so e-acute stays byte E9), then the string table. The compiler drops the
//   blanks at the ends of every text and turns $(U) in a link into an escaped variable.
// - When compiling fails (an unescaped "&" or "<", a control character, an unclosed element), wapbox
//   logs "WML compilation failed" and hands the phone the source text; fakewap still ends with 0, so
//   the harness judges by the body and the log. A "$" that starts no valid variable is worse: the
//   compiler logs an error, drops the text after it and still delivers a compiled deck.
// - The gateway asks with Accept-Charset: utf-8 and, since fakewap announces no charset, logs the
//   warning "Device doesn't support charset <iso-8859-1> neither UTF-8" for every deck and hands it on
//   unconverted. wapbox writes whole URLs, passwords included, into its own logs: masking them is the
//   gateway operator's affair, the service masks only its request log.
// - wapbox's UDP ports 9200 and 9201 are fixed, so runs on one machine take turns through a lock.
#include "testing/wap_gateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "e2e/service_decks.h"
#include "platform/clock/clock.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "testing/stand_in_origin.h"
#include "testing/wbxml_deck.h"

namespace qv::testing {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool HasMessage(const WapFetch& fetch, std::string_view piece) {
  return std::any_of(fetch.gateway_messages.begin(), fetch.gateway_messages.end(),
                     [&](const std::string& message) { return message.find(piece) != std::string::npos; });
}

TEST(WapGateway, TheLogonFormReachesThePhoneCompiled) {
  StandInOrigin origin(WmlResponse(ServiceDeck(kLogonFormBody)));
  WapGateway gateway;
  const WapFetch fetch = gateway.Fetch(origin.Url("/?U=a%20b&P=x+y&E=CO&X=3"));

  EXPECT_EQ(fetch.status, "200");
  ASSERT_TRUE(fetch.compiled) << gateway.WapboxLog();
  // WBXML 1.1, the public identifier of WML 1.1, iso-8859-1 as the deck declares.
  EXPECT_EQ(fetch.body.substr(0, 3), std::string("\x01\x04\x04", 3));
  EXPECT_EQ(DecodeWbxmlDeck(fetch.body).markup, kCompiledLogonFormMarkup);

  // What the service will see of a phone's request.
  const std::vector<std::string> requests = origin.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests.front();
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /?U=a%20b&P=x+y&E=CO&X=3 HTTP/1.1");
  EXPECT_NE(request.find("\r\nConnection: keep-alive\r\n"), std::string::npos) << request;
  EXPECT_EQ(Lower(request).find("x-up-devcap-max-pdu"), std::string::npos) << request;
}

TEST(WapGateway, BrokenDecksFailTheCompiledCheck) {
  StandInOrigin origin(WmlResponse(ServiceDeck("Tom & Jerry")));
  WapGateway gateway;

  // The gateway gives up compiling and hands the phone the source text.
  const WapFetch unescaped = gateway.Fetch(origin.Url("/?U=a"));
  EXPECT_EQ(unescaped.status, "200");
  EXPECT_FALSE(unescaped.compiled);
  EXPECT_EQ(unescaped.body.rfind("<?xml", 0), 0u);
  EXPECT_TRUE(HasMessage(unescaped, "WML compilation failed")) << gateway.WapboxLog();

  // Here the gateway delivers a compiled deck, but without the text after the dollar sign.
  origin.SetResponse(WmlResponse(ServiceDeck("Costs $5")));
  const WapFetch dollar = gateway.Fetch(origin.Url("/?U=b"));
  EXPECT_FALSE(dollar.compiled);
  EXPECT_EQ(dollar.body.substr(0, 2), "\x01\x04");
  EXPECT_TRUE(HasMessage(dollar, "ERROR: WML compiler: syntax error in variable")) << gateway.WapboxLog();
  EXPECT_FALSE(HasMessage(dollar, "Tom"));  // only the messages of this fetch

  origin.SetResponse(WmlResponse(ServiceDeck(kErrorCardBody)));
  EXPECT_TRUE(gateway.Fetch(origin.Url("/?U=c")).compiled);  // the gateway is fine after both
}

TEST(WapGateway, TextsOfThePageReachThePhoneUnchanged) {
  StandInOrigin origin(WmlResponse(ServiceDeck(kListPageBody)));
  WapGateway gateway;
  const WapFetch fetch = gateway.Fetch(origin.Url("/?U=john&P=s%26cret&E=CA&X=0"));
  ASSERT_TRUE(fetch.compiled) << gateway.WapboxLog();
  const WbxmlDeck deck = DecodeWbxmlDeck(fetch.body);
  EXPECT_EQ(deck.charset, 4u);
  EXPECT_TRUE(deck.HasText("12.03. 09:00 Caf\xe9 & <budget> $5")) << deck.markup;
  EXPECT_NE(deck.markup.find("href=\"?U=john&amp;P=s%26cret&amp;E=CA&amp;X=5\""), std::string::npos)
      << deck.markup;
}

TEST(WapGateway, AnOriginThatClosesWithoutAnswerGivesThePhoneABadGateway) {
  StandInOrigin origin("");  // reads the request, then closes the connection
  WapGateway gateway;
  const WapFetch fetch = gateway.Fetch(origin.Url("/?U=a"));
  EXPECT_EQ(fetch.status, "502");
  EXPECT_FALSE(fetch.compiled);
  EXPECT_TRUE(fetch.body.empty());
  EXPECT_EQ(origin.Requests().size(), 1u);
}

TEST(WapGateway, RunsTakeTurnsAndAStoppedRunLeavesThePortsFree) {
  StandInOrigin origin(WmlResponse(ServiceDeck(kErrorCardBody)));
  {
    WapGateway first;
    // A second run waits for the first; told to wait one second only, it gives up.
    const std::string directory = platform::CreateTemporaryDirectory("qvgateway-");
    platform::SetEnvironmentVariable("QV_WAP_GATEWAY_LOCK_WAIT", "1");
    const uint32_t start = platform::GetTickCount();
    const uint32_t exit_code = RunE2eScript("wap-gateway", {"start", directory});
    platform::SetEnvironmentVariable("QV_WAP_GATEWAY_LOCK_WAIT", std::nullopt);
    EXPECT_EQ(exit_code, 1u);
    EXPECT_GE(platform::GetTickCount() - start, 900u);
    EXPECT_FALSE(platform::FileExists(directory + "/gateway.env"));
    platform::DeleteTree(directory);
    EXPECT_TRUE(first.Fetch(origin.Url("/")).compiled);  // the first run was left alone
  }
  // Once the first has stopped, the next one gets the lock and the UDP ports at once.
  WapGateway second;
  EXPECT_TRUE(second.Fetch(origin.Url("/")).compiled) << second.WapboxLog();
}

}  // namespace
}  // namespace qv::testing
