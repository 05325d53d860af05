#include "rescomp/message_file.h"

#include <gtest/gtest.h>

#include "rescomp/byte_writer.h"

namespace qv::rescomp {
namespace {

TEST(MessageFile, TextsKeepTheirEscapesAndEndEachLineWithCrLf) {
  const MessageCatalogue catalogue = ParseMessageFile(
      ";// a comment line\r\n"
      "MessageId=0x6F\r\n"
      "SymbolicName=REJECTED\r\n"
      "Language=English\r\n"
      "Request reject!%nMaximum connection of %1 reached!\r\n"
      ".\r\n"
      "MessageId=1 SymbolicName=TWO_LINES ; comment after a statement\n"
      "Language=English\n"
      "first line\n"
      "; not a comment inside a text\n"
      "\n"
      ".\n",
      "test.mc");
  ASSERT_EQ(catalogue.texts.size(), 1u);
  const auto& english = catalogue.texts.at(0x409);
  EXPECT_EQ(english.at(111), "Request reject!%nMaximum connection of %1 reached!\r\n");
  EXPECT_EQ(english.at(1), "first line\r\n; not a comment inside a text\r\n\r\n");
  EXPECT_EQ(catalogue.symbols.at(111), "REJECTED");
  EXPECT_EQ(catalogue.symbols.at(1), "TWO_LINES");
}

TEST(MessageFile, IdsFollowTheMessageCompilersRules) {
  const MessageCatalogue catalogue = ParseMessageFile(
      "SeverityNames=(Success=0x0 Warning=0x2:STATUS_WARNING\n"
      "               Error=0x3)\n"
      "FacilityNames=(App=0x100:FACILITY_APP)\n"
      "LanguageNames=(German=0x407:MSG00407)\n"
      "MessageId=\nLanguage=English\na\n.\n"
      "MessageId=\nLanguage=English\nb\n.\nLanguage=German\nb auf Deutsch\n.\n"
      "messageid=+10\nlanguage=english\nc\n.\n"
      "MessageId=0x20\nSeverity=Warning\nFacility=App\nLanguage=English\nd\n.\n"
      "MessageId=\nLanguage=English\ne\n.\n"  // severity and facility carry over
      "MessageId=\nSeverity=Success\nFacility=App\nLanguage=English\nf\n.\n",
      "ids.mc");
  const auto& english = catalogue.texts.at(0x409);
  EXPECT_EQ(english.at(1), "a\r\n");
  EXPECT_EQ(english.at(2), "b\r\n");
  EXPECT_EQ(catalogue.texts.at(0x407).at(2), "b auf Deutsch\r\n");
  EXPECT_EQ(english.at(12), "c\r\n");
  EXPECT_EQ(english.at(0x80000000u | 0x01000000u | 0x20u), "d\r\n");
  EXPECT_EQ(english.at(0x80000000u | 0x01000000u | 0x21u), "e\r\n");
  EXPECT_EQ(english.at(0x01000000u | 0x22u), "f\r\n");  // the facility counts on from its last id
  EXPECT_EQ(english.size(), 6u);
}

TEST(MessageFile, ErrorsNameFileAndLine) {
  struct Case {
    const char* content;
    const char* message;
  };
  for (const Case& c : {
           Case{"MessageId=1\nLanguage=Klingon\nx\n.\n", "bad.mc:2: unknown language 'Klingon'"},
           Case{"MessageId=1\nLanguage=English\nno end\n",
                "bad.mc:4: message text not ended by a line holding only '.'"},
           Case{"MessageId=0x10000\n", "bad.mc:1: '0x10000' is not a valid message id"},
           Case{"MessageId=12a\n", "bad.mc:1: '12a' is not a valid message id"},
           Case{"Language=English\nx\n.\n", "bad.mc:1: Language without MessageId"},
           Case{"MessageId=1\nMessageId=2\n", "bad.mc:2: message 1 has no text"},
           Case{"MessageId=1\nLanguage=English\nx\n.\nMessageId=1\nLanguage=English\ny\n.\n",
                "bad.mc:8: message id 1 given twice"},
           Case{"SeverityNames=(Fatal=0x4)\n", "bad.mc:1: '0x4' is not a valid severity"},
           Case{"FacilityNames=(App=0x1\n", "bad.mc:2: ')' missing"},
           Case{"Severity=Fatal\n", "bad.mc:1: unknown severity 'Fatal'"},
           Case{"Colour=Blue\n", "bad.mc:1: unknown keyword 'colour'"},
           Case{"MessageId 1\n", "bad.mc:1: '=' expected after 'messageid'"},
       }) {
    try {
      ParseMessageFile(c.content, "bad.mc");
      ADD_FAILURE() << "accepted: " << c.content;
    } catch (const EResourceError& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
  }
}

}  // namespace
}  // namespace qv::rescomp
