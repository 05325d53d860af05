// Message files in the Windows message-compiler syntax (.mc), the source of our message catalogue:
// header statements (SeverityNames, FacilityNames, LanguageNames, MessageIdTypedef, OutputBase) and
// message definitions (MessageId, Severity, Facility, SymbolicName, then one text per Language,
// ended by a line holding only "."). Each line of a text keeps its line break as CR LF; escapes such
// as "%1" and "%n" are kept for the reader of the catalogue.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qv::rescomp {

struct MessageCatalogue {
  // language id -> full message id (severity, facility and number) -> text
  std::map<uint16_t, std::map<uint32_t, std::string>> texts;
  // full message id -> SymbolicName
  std::map<uint32_t, std::string> symbols;
};

// As the message compiler reads it: an empty MessageId is the facility's previous one plus one (1
// for its first), "+n" adds n; Severity and Facility carry over to the following messages and are 0 until the
// first one is given. Syntax errors raise EResourceError "file:line: text".
MessageCatalogue ParseMessageFile(const std::string& content, const std::string& file_name);

}  // namespace qv::rescomp
