#include "rescomp/message_file.h"

#include <cctype>
#include <optional>
#include <vector>

#include "platform/text/ascii_text.h"
#include "rescomp/byte_writer.h"

namespace qv::rescomp {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// An integer constant in C syntax: 0x hexadecimal, a leading 0 octal, else decimal.
std::optional<uint64_t> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int base = 10;
  size_t at = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    at = 2;
  } else if (text.size() > 1 && text[0] == '0') {
    base = 8;
    at = 1;
  }
  uint64_t value = 0;
  for (; at < text.size(); ++at) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    if (digit >= base) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) return std::nullopt;
  }
  return value;
}

class MessageFileParser {
 public:
  MessageFileParser(const std::string& content, std::string file_name) : file_name_(std::move(file_name)) {
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find('\n', start);
      if (end == std::string::npos) end = content.size();
      std::string line = content.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(std::move(line));
      start = end + 1;
    }
    severities_ = {{"success", 0x0}, {"informational", 0x1}, {"warning", 0x2}, {"error", 0x3}};
    facilities_ = {{"system", 0x0FF}, {"application", 0xFFF}};
    languages_ = {{"english", 0x409}};
  }

  MessageCatalogue Parse() {
    for (line_ = 0; line_ < lines_.size(); ++line_) {
      at_ = 0;
      while (SkipBlanksAndComment()) Statement();
    }
    if (in_message_) Fail("message " + std::to_string(message_number_) + " has no text");
    return std::move(catalogue_);
  }

 private:
  [[noreturn]] void Fail(const std::string& text) const {
    throw EResourceError(file_name_ + ":" + std::to_string(line_ + 1) + ": " + text);
  }

  const std::string& Line() const { return lines_[line_]; }

  // Moves past blanks; false at the end of the line or at a comment.
  bool SkipBlanksAndComment() {
    while (at_ < Line().size() && IsBlank(Line()[at_])) ++at_;
    return at_ < Line().size() && Line()[at_] != ';';
  }

  std::string Word() {
    const size_t start = at_;
    while (at_ < Line().size() && !IsBlank(Line()[at_]) && Line()[at_] != '=' && Line()[at_] != ';') ++at_;
    return Line().substr(start, at_ - start);
  }

  uint32_t Number(const std::string& text, uint64_t max, const std::string& what) {
    const std::optional<uint64_t> value = ParseNumber(text);
    if (!value || *value > max) Fail("'" + text + "' is not a valid " + what);
    return static_cast<uint32_t>(*value);
  }

  void Statement() {
    const std::string keyword = AsciiLowerCase(Word());
    while (at_ < Line().size() && IsBlank(Line()[at_])) ++at_;
    if (at_ >= Line().size() || Line()[at_] != '=') Fail("'=' expected after '" + keyword + "'");
    ++at_;
    while (at_ < Line().size() && IsBlank(Line()[at_])) ++at_;
    if (keyword == "severitynames") {
      NameList(&severities_, 0x3, "severity");
    } else if (keyword == "facilitynames") {
      NameList(&facilities_, 0xFFF, "facility");
    } else if (keyword == "languagenames") {
      NameList(&languages_, 0xFFFF, "language");
    } else if (keyword == "messageidtypedef" || keyword == "messageidtypedefmacro" ||
               keyword == "outputbase") {
      Word();
    } else if (keyword == "messageid") {
      MessageId(Word());
    } else if (keyword == "severity") {
      severity_ = Lookup(severities_, Word(), "severity");
    } else if (keyword == "facility") {
      facility_ = Lookup(facilities_, Word(), "facility");
    } else if (keyword == "symbolicname") {
      symbol_ = Word();
    } else if (keyword == "language") {
      Text(Lookup(languages_, Word(), "language"));
    } else {
      Fail("unknown keyword '" + keyword + "'");
    }
  }

  uint32_t Lookup(const std::map<std::string, uint32_t>& names, const std::string& name,
                  const std::string& what) {
    const auto found = names.find(AsciiLowerCase(name));
    if (found == names.end()) Fail("unknown " + what + " '" + name + "'");
    return found->second;
  }

  // "(name=number[:symbol] ...)", possibly over several lines.
  void NameList(std::map<std::string, uint32_t>* names, uint32_t max, const std::string& what) {
    if (at_ >= Line().size() || Line()[at_] != '(') Fail("'(' expected after the " + what + " names keyword");
    ++at_;
    for (;;) {
      while (at_ >= Line().size() || IsBlank(Line()[at_])) {
        if (at_ >= Line().size()) {
          if (++line_ >= lines_.size()) Fail("')' missing");
          at_ = 0;
        } else {
          ++at_;
        }
      }
      if (Line()[at_] == ')') {
        ++at_;
        return;
      }
      const size_t start = at_;
      while (at_ < Line().size() && !IsBlank(Line()[at_]) && Line()[at_] != ')') ++at_;
      const std::string entry = Line().substr(start, at_ - start);
      const size_t equals = entry.find('=');
      if (equals == std::string::npos || equals == 0) Fail("'" + entry + "' is not name=number");
      const size_t colon = entry.find(':', equals);
      const std::string number =
          entry.substr(equals + 1, colon == std::string::npos ? std::string::npos : colon - equals - 1);
      (*names)[AsciiLowerCase(entry.substr(0, equals))] = Number(number, max, what);
    }
  }

  void MessageId(const std::string& value) {
    if (in_message_) Fail("message " + std::to_string(message_number_) + " has no text");
    uint32_t number;
    if (value.empty()) {
      number = NextNumber(1);
    } else if (value[0] == '+') {
      number = NextNumber(Number(value.substr(1), 0xFFFF, "message id"));
    } else {
      number = Number(value, 0xFFFF, "message id");
    }
    message_number_ = number;
    in_message_ = true;
    has_text_ = false;
    symbol_.clear();
  }

  uint32_t NextNumber(uint32_t step) {
    const auto last = last_number_.find(facility_);  // none yet counts as 0
    const uint64_t number = (last == last_number_.end() ? 0 : uint64_t{last->second}) + step;
    if (number > 0xFFFF) Fail("message id beyond 0xFFFF");
    return static_cast<uint32_t>(number);
  }

  void Text(uint32_t language) {
    if (!in_message_ && !has_text_) Fail("Language without MessageId");
    const uint32_t id = (severity_ << 30) | (facility_ << 16) | message_number_;
    std::string text;
    for (++line_;; ++line_) {
      if (line_ >= lines_.size()) Fail("message text not ended by a line holding only '.'");
      if (Line() == ".") break;
      text += Line() + "\r\n";
    }
    at_ = Line().size();
    if (!catalogue_.texts[static_cast<uint16_t>(language)].emplace(id, std::move(text)).second) {
      Fail("message id " + std::to_string(message_number_) + " given twice");
    }
    if (!symbol_.empty()) catalogue_.symbols[id] = symbol_;
    last_number_[facility_] = message_number_;
    in_message_ = false;
    has_text_ = true;
  }

  std::string file_name_;
  std::vector<std::string> lines_;
  size_t line_ = 0;
  size_t at_ = 0;
  std::map<std::string, uint32_t> severities_;
  std::map<std::string, uint32_t> facilities_;
  std::map<std::string, uint32_t> languages_;
  uint32_t severity_ = 0;
  uint32_t facility_ = 0;
  std::map<uint32_t, uint32_t> last_number_;  // facility -> its last message number
  uint32_t message_number_ = 0;
  bool in_message_ = false;  // a MessageId waits for its first text
  bool has_text_ = false;    // the current message has a text: more languages may follow
  std::string symbol_;
  MessageCatalogue catalogue_;
};

}  // namespace

MessageCatalogue ParseMessageFile(const std::string& content, const std::string& file_name) {
  return MessageFileParser(content, file_name).Parse();
}

}  // namespace qv::rescomp
