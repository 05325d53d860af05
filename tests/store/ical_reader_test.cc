#include "store/ical_reader.h"

#include <gtest/gtest.h>

namespace qv::ical {
namespace {

TEST(IcalReader, UnfoldsLinesAndSplitsParameters) {
  const auto calendars = ReadCalendarFile(
      "\xEF\xBB\xBF"
      "begin:vcalendar\n"
      "BEGIN:VEVENT\r\n"
      "DESCRIPTION;LANGUAGE=en:A long\r\n"
      "  text\r\n"
      "\tgoes on\r\n"
      "\r\n"
      "ATTENDEE;ROLE=REQ-PARTICIPANT;CN=\"Doe, Jane; PhD\":mailto:jane@example.com\r\n"
      "X-LIST;X-P=a,\"b:c\",d:v\r\n"
      "END:VEVENT\r\n"
      "END:VCALENDAR\r\n");
  ASSERT_EQ(calendars.size(), 1u);
  EXPECT_EQ(calendars[0].name, "VCALENDAR");
  ASSERT_EQ(calendars[0].components.size(), 1u);
  const Component& event = calendars[0].components[0];
  EXPECT_EQ(event.line, 2);
  const Property* description = event.Find("DESCRIPTION");
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->Value(), "A long textgoes on");
  EXPECT_EQ(description->line, 3);
  EXPECT_EQ(*description->Param("LANGUAGE"), "en");
  const Property* attendee = event.Find("ATTENDEE");
  EXPECT_EQ(attendee->line, 7);
  EXPECT_EQ(*attendee->Param("CN"), "Doe, Jane; PhD");
  EXPECT_EQ(attendee->Value(), "mailto:jane@example.com");
  const Property* list = event.Find("X-LIST");
  ASSERT_EQ(list->parameters.size(), 1u);
  EXPECT_EQ(list->parameters[0].values, (std::vector<std::string>{"a", "b:c", "d"}));
  EXPECT_EQ(list->Value(), "v");
  EXPECT_EQ(event.Find("SUMMARY"), nullptr);
}

TEST(IcalReader, RefusesLinesThatAreNotContentLines) {
  struct Case {
    const char* text;
    int line;
    const char* reason;
  };
  const Case cases[] = {
      {" folded\r\nBEGIN:VCALENDAR\r\n", 1, "a continuation line without a line to continue"},
      {"BEGIN:VCALENDAR\r\n:no name\r\n", 2, "a content line must begin with a property name"},
      {"BEGIN:VCALENDAR\r\nX;=1:v\r\n", 2, "a parameter of X has no name"},
      {"BEGIN:VCALENDAR\r\nX;P:v\r\n", 2, "the parameter P of X has no \"=\""},
      {"BEGIN:VCALENDAR\r\nX;P=\"open:v\r\n", 2, "the quoted value of the parameter P is not closed"},
      {"BEGIN:VCALENDAR\r\nX;P=a\"b:v\r\n", 2, "a quote inside the value of the parameter P"},
      {"BEGIN:VCALENDAR\r\nX:bell\x07\r\n", 2, "a control character in the value of X"},
      {"BEGIN:VCALENDAR\r\nBEGIN:\r\n", 2, "BEGIN needs a component name"},
      {"BEGIN:VCALENDAR\r\nBEGIN:VCALENDAR\r\n", 2, "BEGIN:VCALENDAR inside BEGIN:VCALENDAR"},
      {"BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\nEND:VEVENT\r\n", 3, "END:VEVENT without BEGIN"},
      {"BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\nX-TRAILING:1\r\n", 3,
       "content outside BEGIN:VCALENDAR and END:VCALENDAR"},
      {"\r\n\r\n", 2, "the file holds no calendar"},
  };
  for (const Case& bad : cases) {
    try {
      ReadCalendarFile(bad.text);
      ADD_FAILURE() << "accepted: " << bad.text;
    } catch (const EIcalFormatError& error) {
      EXPECT_EQ(error.Line, bad.line) << bad.text;
      EXPECT_EQ(error.Reason, bad.reason) << bad.text;
    }
  }
  std::string deep = "BEGIN:VCALENDAR\r\n";
  for (int i = 0; i < 8; ++i) deep += "BEGIN:X\r\n";
  EXPECT_THROW(ReadCalendarFile(deep), EIcalFormatError);
}

TEST(IcalReader, FoldsAtSeventyFiveOctetsWithoutSplittingCharacters) {
  std::string folded;
  AppendFoldedLine("SUMMARY:" + std::string(66, 'a') + "\xC3\xA9\xC3\xA9" + std::string(80, 'b'), &folded);
  // 8 + 66 = 74 octets, then "é" would cross 75: the first line stops before it.
  EXPECT_EQ(folded.substr(0, 76), "SUMMARY:" + std::string(66, 'a') + "\r\n");
  EXPECT_EQ(folded.substr(76, 6),
            " \xC3\xA9\xC3\xA9"
            "b");
  for (size_t at = 0, end; (end = folded.find("\r\n", at)) != std::string::npos; at = end + 2)
    EXPECT_LE(end - at, 75u);
  const auto read = ReadComponents("BEGIN:X\r\n" + folded + "END:X\r\n");
  EXPECT_EQ(read[0].properties[0].Value(), std::string(66, 'a') + "\xC3\xA9\xC3\xA9" + std::string(80, 'b'));
}

TEST(IcalReader, WritesComponentsBackAsTheyWereRead) {
  const std::string text =
      "BEGIN:VEVENT\nUID:1\nSUMMARY;LANGUAGE=de:Stra\xC3\x9F"
      "e\\, Ecke\nBEGIN:VALARM\nACTION:DISPLAY\nEND:VALARM\n"
      "END:VEVENT\n";
  const auto components = ReadComponents(text);
  std::string written;
  WriteComponent(components[0], false, &written);
  EXPECT_EQ(written, text);
  EXPECT_EQ(UnescapeText(components[0].Find("SUMMARY")->Value()),
            "Stra\xC3\x9F"
            "e, Ecke");
  EXPECT_EQ(UnescapeText("a\\nb\\Nc\\;d\\\\e\\"), "a\nb\nc;d\\e\\");
}

}  // namespace
}  // namespace qv::ical
