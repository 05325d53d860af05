// The iCalendar text format (RFC 5545) at the level of content lines and components: reading a
// file into a tree of components whose properties remember their line, and writing components
// back with folded lines. What the values mean is the business of ical_event.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::ical {

// A file that is not well-formed iCalendar text. The message reads "line N: reason".
class EIcalFormatError : public Exception {
 public:
  EIcalFormatError(int line, const std::string& reason)
      : Exception("line " + std::to_string(line) + ": " + reason), Line(line), Reason(reason) {}
  const char* ClassName() const noexcept override { return "EIcalFormatError"; }
  int Line;
  std::string Reason;
};

struct Parameter {
  std::string name;                 // upper case
  std::vector<std::string> values;  // without their quotes
};

struct Property {
  std::string name;  // upper case
  std::vector<Parameter> parameters;
  std::string text;         // the unfolded content line as read
  size_t value_offset = 0;  // where the value starts in the text
  int line = 0;             // the line the content line starts on

  std::string_view Value() const { return std::string_view(text).substr(value_offset); }
  // The first value of a parameter, or nullptr when the property does not carry it.
  const std::string* Param(std::string_view name) const;
};

struct Component {
  std::string name;  // upper case: VCALENDAR, VEVENT, VTIMEZONE ...
  int line = 0;      // the line of its BEGIN
  std::vector<Property> properties;
  std::vector<Component> components;

  const Property* Find(std::string_view name) const;  // the first property of that name
  std::vector<const Property*> FindAll(std::string_view name) const;
};

// Reads an iCalendar file: one or more VCALENDAR components. Lines may end in CR LF or LF; a UTF-8
// byte-order mark and blank lines are passed over. Raises EIcalFormatError for text that is not
// UTF-8, a line that is not a content line, unbalanced BEGIN and END, content outside a calendar,
// and a file without a calendar.
std::vector<Component> ReadCalendarFile(std::string_view text);

// Reads components written by WriteComponent (any kind at the top level), as the store keeps them.
std::vector<Component> ReadComponents(std::string_view text);

// Writes a component and everything in it. With fold, lines end in CR LF and are folded at 75
// octets (never inside a UTF-8 character), as files are exchanged; otherwise each content line is
// one line ending in LF.
void WriteComponent(const Component& component, bool fold, std::string* out);

// A content line folded at 75 octets, followed by CR LF.
void AppendFoldedLine(std::string_view line, std::string* out);

// The value of a TEXT property with its escapes (\\ \; \, \n \N) resolved; line breaks come out as LF.
std::string UnescapeText(std::string_view value);

}  // namespace qv::ical
