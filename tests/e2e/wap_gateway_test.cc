#include "testing/wap_gateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "e2e/service_decks.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_system.h"
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
