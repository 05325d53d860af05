#include "testing/wml_check.h"

#include <gtest/gtest.h>

#include "e2e/service_decks.h"
#include "testing/wbxml_deck.h"

namespace qv::testing {
namespace {

std::string Messages(const WmlCheck& check) {
  std::string text;
  for (const auto& message : check.messages) text += message + "\n";
  return text;
}

TEST(WmlCheck, AcceptsTheServicesDecks) {
  for (const char* body : {kLogonFormBody, kErrorCardBody, kListPageBody}) {
    SCOPED_TRACE(body);
    const WmlCheck check = CheckWmlDeck(ServiceDeck(body));
    EXPECT_TRUE(check.accepted) << Messages(check);
    EXPECT_TRUE(check.messages.empty()) << Messages(check);
    // WBXML 1.1, WML 1.1, iso-8859-1 as the declaration says.
    EXPECT_EQ(check.wbxml.substr(0, 3), std::string("\x01\x04\x04", 3));
  }
}

TEST(WmlCheck, TheCompiledDeckReadsBackAsItsSource) {
  const WmlCheck logon = CheckWmlDeck(ServiceDeck(kLogonFormBody));
  ASSERT_TRUE(logon.accepted);
  EXPECT_EQ(DecodeWbxmlDeck(logon.wbxml).markup, kCompiledLogonFormMarkup);

  const WmlCheck list = CheckWmlDeck(ServiceDeck(kListPageBody));
  ASSERT_TRUE(list.accepted);
  const WbxmlDeck deck = DecodeWbxmlDeck(list.wbxml);
  EXPECT_EQ(deck.charset, 4u);
  EXPECT_EQ(deck.public_id, 4u);
  EXPECT_TRUE(deck.HasText("12.03. 09:00 Caf\xe9 & <budget> $5")) << deck.markup;
  EXPECT_NE(deck.markup.find("<go href=\"?U=john&amp;P=s%26cret&amp;E=CO&amp;X=0\"/>"), std::string::npos)
      << deck.markup;
  EXPECT_NE(deck.markup.find("Caf\xe9 &amp; &lt;budget&gt; $$5</anchor>"), std::string::npos) << deck.markup;
}

TEST(WmlCheck, RefusesBrokenDecks) {
  const struct {
    const char* fault;
    const char* body;
  } broken[] = {
      {"unescaped ampersand in a text", "Tom & Jerry"},
      {"unescaped ampersand in a link", "<anchor><go href=\"?U=a&P=b\"/>go</anchor>"},
      {"unescaped less-than sign", "a < b"},
      {"dollar sign before a digit", "Costs $5"},
      {"unknown variable conversion", "$(U:x)"},
      {"variable reference not closed", "$(U"},
      {"control character", "bell\x01here"},
      {"escape character", "esc\x1bhere"},
      {"element not closed", "<b>bold"},
  };
  for (const auto& deck : broken) {
    SCOPED_TRACE(deck.fault);
    const WmlCheck check = CheckWmlDeck(ServiceDeck(deck.body));
    EXPECT_FALSE(check.accepted);
    ASSERT_FALSE(check.messages.empty());
    EXPECT_EQ(check.messages.front().rfind("ERROR: ", 0), 0u) << Messages(check);
  }
}

TEST(WmlCheck, ADollarSignThatStartsNoVariableIsDroppedByTheCompilerAndStillRefused) {
  // The compiler delivers a deck for this one, without the text: the check must go by its messages.
  const WmlCheck check = CheckWmlDeck(ServiceDeck("Costs $5 only"));
  EXPECT_FALSE(check.accepted);
  ASSERT_FALSE(check.wbxml.empty());
  const WbxmlDeck deck = DecodeWbxmlDeck(check.wbxml);
  EXPECT_TRUE(deck.HasText("Costs ")) << deck.markup;
  EXPECT_FALSE(deck.HasText("5")) << deck.markup;
}

}  // namespace
}  // namespace qv::testing
