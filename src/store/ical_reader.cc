#include "store/ical_reader.h"

#include <algorithm>

#include "platform/text/ascii_text.h"
#include "platform/text/code_page.h"

namespace qv::ical {

namespace {

// Components nest a few levels deep (VCALENDAR, VTIMEZONE, STANDARD); deeper nesting is refused
// so that writing a component back never recurses without bound.
constexpr size_t kMaxNesting = 8;

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool IsControl(unsigned char c) {
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

// Splits a content line into its name, parameters and value.
Property ParseContentLine(std::string text, int line) {
  Property property;
  property.line = line;
  size_t at = 0;
  while (at < text.size() && IsNameCharacter(text[at])) ++at;
  if (at == 0) throw EIcalFormatError(line, "a content line must begin with a property name");
  property.name = AsciiUpperCase(std::string_view(text).substr(0, at));
  while (at < text.size() && text[at] == ';') {
    const size_t name_start = ++at;
    while (at < text.size() && IsNameCharacter(text[at])) ++at;
    if (at == name_start) throw EIcalFormatError(line, "a parameter of " + property.name + " has no name");
    Parameter parameter;
    parameter.name = AsciiUpperCase(std::string_view(text).substr(name_start, at - name_start));
    if (at >= text.size() || text[at] != '=')
      throw EIcalFormatError(line,
                             "the parameter " + parameter.name + " of " + property.name + " has no \"=\"");
    do {
      ++at;  // past "=" or ","
      std::string value;
      if (at < text.size() && text[at] == '"') {
        const size_t close = text.find('"', at + 1);
        if (close == std::string::npos)
          throw EIcalFormatError(line,
                                 "the quoted value of the parameter " + parameter.name + " is not closed");
        value = text.substr(at + 1, close - at - 1);
        at = close + 1;
      } else {
        const size_t start = at;
        while (at < text.size() && text[at] != ';' && text[at] != ':' && text[at] != ',') {
          if (text[at] == '"')
            throw EIcalFormatError(line, "a quote inside the value of the parameter " + parameter.name);
          ++at;
        }
        value = text.substr(start, at - start);
      }
      parameter.values.push_back(std::move(value));
    } while (at < text.size() && text[at] == ',');
    property.parameters.push_back(std::move(parameter));
  }
  if (at >= text.size() || text[at] != ':')
    throw EIcalFormatError(line, "the property " + property.name + " has no \":\" before its value");
  property.value_offset = at + 1;
  for (size_t i = property.value_offset; i < text.size(); ++i) {
    if (IsControl(static_cast<unsigned char>(text[i])))
      throw EIcalFormatError(line, "a control character in the value of " + property.name);
  }
  property.text = std::move(text);
  return property;
}

class Reader {
 public:
  explicit Reader(bool calendars_only) : calendars_only_(calendars_only) {}

  std::vector<Component> Read(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line_number = 0;
    std::string logical;
    int logical_line = 0;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string_view::npos) end = text.size();
      std::string_view physical = text.substr(at, end - at);
      at = end + 1;
      ++line_number;
      if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
      if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t')) {
        if (logical_line == 0)
          throw EIcalFormatError(line_number, "a continuation line without a line to continue");
        logical.append(physical.substr(1));
        continue;
      }
      if (logical_line != 0) Take(std::move(logical), logical_line);
      logical.clear();
      logical_line = 0;
      if (physical.empty()) continue;
      logical.assign(physical);
      logical_line = line_number;
    }
    if (logical_line != 0) Take(std::move(logical), logical_line);
    if (!open_.empty())
      throw EIcalFormatError(open_.back().line, "BEGIN:" + open_.back().name + " has no END");
    if (result_.empty()) throw EIcalFormatError(std::max(line_number, 1), "the file holds no calendar");
    return std::move(result_);
  }

 private:
  void Take(std::string text, int line) {
    if (!platform::IsValidUtf8(text)) throw EIcalFormatError(line, "the text is not UTF-8");
    Property property = ParseContentLine(std::move(text), line);
    if (property.name == "BEGIN") {
      const std::string name = AsciiUpperCase(property.Value());
      if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameCharacter))
        throw EIcalFormatError(line, "BEGIN needs a component name");
      if (open_.empty() && calendars_only_ && name != "VCALENDAR")
        throw EIcalFormatError(line, "a calendar begins with BEGIN:VCALENDAR, not BEGIN:" + name);
      if (!open_.empty() && name == "VCALENDAR")
        throw EIcalFormatError(line, "BEGIN:VCALENDAR inside BEGIN:" + open_.back().name);
      if (open_.size() >= kMaxNesting) throw EIcalFormatError(line, "components nested too deeply");
      Component component;
      component.name = name;
      component.line = line;
      open_.push_back(std::move(component));
    } else if (property.name == "END") {
      const std::string name = AsciiUpperCase(property.Value());
      if (open_.empty()) throw EIcalFormatError(line, "END:" + name + " without BEGIN");
      if (open_.back().name != name)
        throw EIcalFormatError(line, "END:" + name + " where BEGIN:" + open_.back().name + " of line " +
                                         std::to_string(open_.back().line) + " is to end");
      Component done = std::move(open_.back());
      open_.pop_back();
      (open_.empty() ? result_ : open_.back().components).push_back(std::move(done));
    } else {
      if (open_.empty())
        throw EIcalFormatError(line, calendars_only_ ? "content outside BEGIN:VCALENDAR and END:VCALENDAR"
                                                     : "content outside a component");
      open_.back().properties.push_back(std::move(property));
    }
  }

  bool calendars_only_;
  std::vector<Component> open_;
  std::vector<Component> result_;
};

void WriteLine(std::string_view line, bool fold, std::string* out) {
  if (fold) {
    AppendFoldedLine(line, out);
  } else {
    out->append(line);
    out->push_back('\n');
  }
}

}  // namespace

const std::string* Property::Param(std::string_view wanted) const {
  for (const Parameter& parameter : parameters) {
    if (parameter.name == wanted && !parameter.values.empty()) return &parameter.values.front();
  }
  return nullptr;
}

const Property* Component::Find(std::string_view wanted) const {
  for (const Property& property : properties) {
    if (property.name == wanted) return &property;
  }
  return nullptr;
}

std::vector<const Property*> Component::FindAll(std::string_view wanted) const {
  std::vector<const Property*> found;
  for (const Property& property : properties) {
    if (property.name == wanted) found.push_back(&property);
  }
  return found;
}

std::vector<Component> ReadCalendarFile(std::string_view text) {
  return Reader(true).Read(text);
}

std::vector<Component> ReadComponents(std::string_view text) {
  return Reader(false).Read(text);
}

void AppendFoldedLine(std::string_view line, std::string* out) {
  // The first line holds 75 octets, each continuation a blank and 74 more.
  size_t limit = 75;
  while (line.size() > limit) {
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out->append(line.substr(0, cut));
    out->append("\r\n ");
    line.remove_prefix(cut);
    limit = 74;
  }
  out->append(line);
  out->append("\r\n");
}

void WriteComponent(const Component& component, bool fold, std::string* out) {
  WriteLine("BEGIN:" + component.name, fold, out);
  for (const Property& property : component.properties) WriteLine(property.text, fold, out);
  for (const Component& child : component.components) WriteComponent(child, fold, out);
  WriteLine("END:" + component.name, fold, out);
}

std::string UnescapeText(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text.push_back(value[i]);
      continue;
    }
    const char next = value[++i];
    text.push_back(next == 'n' || next == 'N' ? '\n' : next);
  }
  return text;
}

}  // namespace qv::ical
