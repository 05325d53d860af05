// WML variable references read and put in as a phone does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "phone/wml_variables.h"

namespace qv::phone {
namespace {

using Kind = VariablePiece::Kind;

std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> pieces;
  for (const VariablePiece& piece : SplitVariables(text)) {
    static const char* const kKinds[] = {"text", "ref", "dollar", "stray"};
    pieces.push_back(std::string(kKinds[static_cast<int>(piece.kind)]) + ":" + std::string(piece.source) +
                     (piece.kind == Kind::kReference
                          ? "=" + std::string(piece.name) + "/" + std::string(piece.conversion)
                          : ""));
  }
  return pieces;
}

TEST(WmlVariables, ReferencesDollarsAndStrayDollarsAreTold) {
  EXPECT_THAT(Pieces("?U=$(U)&P=$(P:e)&Q=$Q_1.$$"),
              ::testing::ElementsAre("text:?U=", "ref:$(U)=U/", "text:&P=", "ref:$(P:e)=P/e",
                                     "text:&Q=", "ref:$Q_1=Q_1/", "text:.", "dollar:$$"));
  // A "$" that no valid name or conversion follows is a stray, and the text goes on after it.
  EXPECT_THAT(Pieces("$ $5 $(1a) $(U:x) $(U"),
              ::testing::ElementsAre("stray:$", "text: ", "stray:$", "text:5 ", "stray:$", "text:(1a) ",
                                     "stray:$", "text:(U:x) ", "stray:$", "text:(U"));
  EXPECT_THAT(Pieces("$(U:NOESC)$(U:unesc)"),
              ::testing::ElementsAre("ref:$(U:NOESC)=U/NOESC", "ref:$(U:unesc)=U/unesc"));
}

TEST(WmlVariables, ValuesArePutInConvertedAsTheReferenceOrTheContextAsks) {
  const WmlVariables variables = {{"U", "a b&c%41"}};
  EXPECT_EQ(SubstituteVariables("$(U)|$(U:e)|$(U:escape)|$(U:n)|$(U:u)|$U|$$|$(X)|$", variables,
                                VariableContext::kUrl),
            "a%20b%26c%2541|a%20b%26c%2541|a%20b%26c%2541|a b&c%41|a b&cA|a%20b%26c%2541|$||$");
  EXPECT_EQ(SubstituteVariables("$(U) $(U:e)", variables, VariableContext::kText), "a b&c%41 a%20b%26c%2541");
  EXPECT_EQ(UrlUnescape(UrlEscape("\xe9 +/%")), "\xe9 +/%");
  EXPECT_EQ(UrlUnescape("a+b%2"), "a+b%2");
}

}  // namespace
}  // namespace qv::phone
