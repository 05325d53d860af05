#include "testing/wbxml_deck.h"

#include <array>
#include <cstdio>
#include <optional>

namespace qv::testing {

namespace {

// Global tokens of WBXML, the same in every code page.
enum : uint8_t {
  kSwitchPage = 0x00,
  kEnd = 0x01,
  kEntity = 0x02,
  kStrI = 0x03,
  kLiteral = 0x04,
  kExtI0 = 0x40,
  kExtI2 = 0x42,
  kPi = 0x43,
  kExtT0 = 0x80,
  kExtT2 = 0x82,
  kStrT = 0x83,
  kExt0 = 0xC0,
  kExt2 = 0xC2,
  kOpaque = 0xC3,
};
constexpr uint8_t kHasAttributes = 0x80;
constexpr uint8_t kHasContent = 0x40;

// The WML tag tokens of code page 0.
const char* TagName(uint8_t tag) {
  static constexpr std::array<const char*, 0x40> kTags = [] {
    std::array<const char*, 0x40> tags{};
    tags[0x1C] = "a", tags[0x1D] = "td", tags[0x1E] = "tr", tags[0x1F] = "table";
    tags[0x20] = "p", tags[0x21] = "postfield", tags[0x22] = "anchor", tags[0x23] = "access";
    tags[0x24] = "b", tags[0x25] = "big", tags[0x26] = "br", tags[0x27] = "card";
    tags[0x28] = "do", tags[0x29] = "em", tags[0x2A] = "fieldset", tags[0x2B] = "go";
    tags[0x2C] = "head", tags[0x2D] = "i", tags[0x2E] = "img", tags[0x2F] = "input";
    tags[0x30] = "meta", tags[0x31] = "noop", tags[0x32] = "prev", tags[0x33] = "onevent";
    tags[0x34] = "optgroup", tags[0x35] = "option", tags[0x36] = "refresh", tags[0x37] = "select";
    tags[0x38] = "small", tags[0x39] = "strong", tags[0x3B] = "template", tags[0x3C] = "timer";
    tags[0x3D] = "u", tags[0x3E] = "setvar", tags[0x3F] = "wml";
    return tags;
  }();
  return kTags[tag & 0x3F];
}

// The WML attribute start tokens of code page 0: the attribute's name and the start of its value.
struct AttributeStart {
  const char* name;
  const char* value_prefix;
};
std::optional<AttributeStart> AttributeStartToken(uint8_t token) {
  switch (token) {
    case 0x05:
      return AttributeStart{"accept-charset", ""};
    case 0x06:
      return AttributeStart{"align", "bottom"};
    case 0x07:
      return AttributeStart{"align", "center"};
    case 0x08:
      return AttributeStart{"align", "left"};
    case 0x09:
      return AttributeStart{"align", "middle"};
    case 0x0A:
      return AttributeStart{"align", "right"};
    case 0x0B:
      return AttributeStart{"align", "top"};
    case 0x0C:
      return AttributeStart{"alt", ""};
    case 0x0D:
      return AttributeStart{"content", ""};
    case 0x0F:
      return AttributeStart{"domain", ""};
    case 0x10:
      return AttributeStart{"emptyok", "false"};
    case 0x11:
      return AttributeStart{"emptyok", "true"};
    case 0x12:
      return AttributeStart{"format", ""};
    case 0x13:
      return AttributeStart{"height", ""};
    case 0x14:
      return AttributeStart{"hspace", ""};
    case 0x15:
      return AttributeStart{"ivalue", ""};
    case 0x16:
      return AttributeStart{"iname", ""};
    case 0x18:
      return AttributeStart{"label", ""};
    case 0x19:
      return AttributeStart{"localsrc", ""};
    case 0x1A:
      return AttributeStart{"maxlength", ""};
    case 0x1B:
      return AttributeStart{"method", "get"};
    case 0x1C:
      return AttributeStart{"method", "post"};
    case 0x1D:
      return AttributeStart{"mode", "nowrap"};
    case 0x1E:
      return AttributeStart{"mode", "wrap"};
    case 0x1F:
      return AttributeStart{"multiple", "false"};
    case 0x20:
      return AttributeStart{"multiple", "true"};
    case 0x21:
      return AttributeStart{"name", ""};
    case 0x22:
      return AttributeStart{"newcontext", "false"};
    case 0x23:
      return AttributeStart{"newcontext", "true"};
    case 0x24:
      return AttributeStart{"onpick", ""};
    case 0x25:
      return AttributeStart{"onenterbackward", ""};
    case 0x26:
      return AttributeStart{"onenterforward", ""};
    case 0x27:
      return AttributeStart{"ontimer", ""};
    case 0x28:
      return AttributeStart{"optional", "false"};
    case 0x29:
      return AttributeStart{"optional", "true"};
    case 0x2A:
      return AttributeStart{"path", ""};
    case 0x2E:
      return AttributeStart{"scheme", ""};
    case 0x2F:
      return AttributeStart{"sendreferer", "false"};
    case 0x30:
      return AttributeStart{"sendreferer", "true"};
    case 0x31:
      return AttributeStart{"size", ""};
    case 0x32:
      return AttributeStart{"src", ""};
    case 0x33:
      return AttributeStart{"ordered", "true"};
    case 0x34:
      return AttributeStart{"ordered", "false"};
    case 0x35:
      return AttributeStart{"tabindex", ""};
    case 0x36:
      return AttributeStart{"title", ""};
    case 0x37:
      return AttributeStart{"type", ""};
    case 0x38:
      return AttributeStart{"type", "accept"};
    case 0x39:
      return AttributeStart{"type", "delete"};
    case 0x3A:
      return AttributeStart{"type", "help"};
    case 0x3B:
      return AttributeStart{"type", "password"};
    case 0x3C:
      return AttributeStart{"type", "onpick"};
    case 0x3D:
      return AttributeStart{"type", "onenterbackward"};
    case 0x3E:
      return AttributeStart{"type", "onenterforward"};
    case 0x3F:
      return AttributeStart{"type", "ontimer"};
    case 0x45:
      return AttributeStart{"type", "options"};
    case 0x46:
      return AttributeStart{"type", "prev"};
    case 0x47:
      return AttributeStart{"type", "reset"};
    case 0x48:
      return AttributeStart{"type", "text"};
    case 0x49:
      return AttributeStart{"type", "vnd."};
    case 0x4A:
      return AttributeStart{"href", ""};
    case 0x4B:
      return AttributeStart{"href", "http://"};
    case 0x4C:
      return AttributeStart{"href", "https://"};
    case 0x4D:
      return AttributeStart{"value", ""};
    case 0x4E:
      return AttributeStart{"vspace", ""};
    case 0x4F:
      return AttributeStart{"width", ""};
    case 0x50:
      return AttributeStart{"xml:lang", ""};
    case 0x52:
      return AttributeStart{"align", ""};
    case 0x53:
      return AttributeStart{"columns", ""};
    case 0x54:
      return AttributeStart{"class", ""};
    case 0x55:
      return AttributeStart{"id", ""};
    case 0x56:
      return AttributeStart{"forua", "false"};
    case 0x57:
      return AttributeStart{"forua", "true"};
    case 0x58:
      return AttributeStart{"src", "http://"};
    case 0x59:
      return AttributeStart{"src", "https://"};
    case 0x5A:
      return AttributeStart{"http-equiv", ""};
    case 0x5B:
      return AttributeStart{"http-equiv", "Content-Type"};
    case 0x5C:
      return AttributeStart{"content", "application/vnd.wap.wmlc;charset="};
    case 0x5D:
      return AttributeStart{"http-equiv", "Expires"};
    case 0x5E:
      return AttributeStart{"accesskey", ""};
    case 0x5F:
      return AttributeStart{"enctype", ""};
    case 0x60:
      return AttributeStart{"enctype", "application/x-www-form-urlencoded"};
    case 0x61:
      return AttributeStart{"enctype", "multipart/form-data"};
    case 0x62:
      return AttributeStart{"xml:space", "preserve"};
    case 0x63:
      return AttributeStart{"xml:space", "default"};
    case 0x64:
      return AttributeStart{"cache-control", "no-cache"};
    default:
      return std::nullopt;
  }
}

// The WML attribute value tokens of code page 0.
const char* AttributeValueToken(uint8_t token) {
  switch (token) {
    case 0x85:
      return ".com/";
    case 0x86:
      return ".edu/";
    case 0x87:
      return ".net/";
    case 0x88:
      return ".org/";
    case 0x89:
      return "accept";
    case 0x8A:
      return "bottom";
    case 0x8B:
      return "clear";
    case 0x8C:
      return "delete";
    case 0x8D:
      return "help";
    case 0x8E:
      return "http://";
    case 0x8F:
      return "http://www.";
    case 0x90:
      return "https://";
    case 0x91:
      return "https://www.";
    case 0x93:
      return "middle";
    case 0x94:
      return "nowrap";
    case 0x95:
      return "onpick";
    case 0x96:
      return "onenterbackward";
    case 0x97:
      return "onenterforward";
    case 0x98:
      return "ontimer";
    case 0x99:
      return "options";
    case 0x9A:
      return "password";
    case 0x9B:
      return "reset";
    case 0x9D:
      return "text";
    case 0x9E:
      return "top";
    case 0x9F:
      return "unknown";
    case 0xA0:
      return "wrap";
    case 0xA1:
      return "www.";
    default:
      return nullptr;
  }
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// Character data as markup: the XML specials as entities, a dollar sign doubled as WML asks.
std::string Escape(std::string_view text, bool in_attribute) {
  std::string result;
  for (const char c : text) {
    switch (c) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      case '$':
        result += "$$";
        break;
      case '"':
        if (in_attribute) {
          result += "&quot;";
          break;
        }
        [[fallthrough]];
      default:
        result += c;
    }
  }
  return result;
}

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Decoder {
 public:
  explicit Decoder(std::string_view bytes) : bytes_(bytes) {}

  WbxmlDeck Decode() {
    deck_.version = Byte();
    deck_.public_id = MultiByte();
    if (deck_.public_id == 0) MultiByte();  // the public identifier as a string-table index
    if (deck_.version >= 0x01) deck_.charset = MultiByte();
    const uint32_t table_length = MultiByte();
    if (table_length > bytes_.size() - position_) Fail("the string table runs past the end");
    deck_.string_table = std::string(bytes_.substr(position_, table_length));
    position_ += table_length;

    uint8_t token = Byte();
    while (token == kPi) {
      SkipProcessingInstruction();
      token = Byte();
    }
    Element(token);
    while (position_ < bytes_.size()) {
      if (Byte() != kPi) Fail("data after the root element");
      SkipProcessingInstruction();
    }
    return std::move(deck_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EWbxmlError("WBXML deck at byte " + std::to_string(position_) + ": " + what);
  }

  uint8_t Byte() {
    if (position_ >= bytes_.size()) Fail("the document ends early");
    return static_cast<uint8_t>(bytes_[position_++]);
  }

  uint32_t MultiByte() {
    uint32_t value = 0;
    for (int count = 0; count < 5; ++count) {
      const uint8_t byte = Byte();
      value = (value << 7) | (byte & 0x7F);
      if ((byte & 0x80) == 0) return value;
    }
    Fail("a multi-byte integer longer than 32 bits");
  }

  std::string InlineString() {
    const size_t end = bytes_.find('\0', position_);
    if (end == std::string_view::npos) Fail("an inline string without its terminating zero");
    std::string text(bytes_.substr(position_, end - position_));
    position_ = end + 1;
    return text;
  }

  std::string TableString(uint32_t index) {
    if (index >= deck_.string_table.size())
      Fail("string-table index " + std::to_string(index) + " out of range");
    const size_t end = deck_.string_table.find('\0', index);
    if (end == std::string::npos) Fail("a string-table entry without its terminating zero");
    return deck_.string_table.substr(index, end - index);
  }

  void SwitchPage() {
    const uint8_t page = Byte();
    if (page != 0) Fail("code page " + std::to_string(page) + " is not WML's");
  }

  // A variable reference; the token tells the conversion.
  std::string Variable(uint8_t token, const std::string& name) {
    static constexpr const char* kConversions[] = {"e", "u", "n"};
    return "$(" + name + ":" + kConversions[token & 0x03] + ")";
  }

  // The character of an entity, as a text in the document's character set where it can be one.
  std::string EntityText(uint32_t code) {
    std::string text;
    if (deck_.charset == 106) {
      AppendUtf8(code, &text);
    } else if (code < 0x100) {
      text = std::string(1, static_cast<char>(code));
    } else {
      text = "&#" + std::to_string(code) + ";";
    }
    return text;
  }

  // Reads one piece of character data that may stand in content or in an attribute value; false when
  // the token is not one. *plain gets the text, *markup its escaped form.
  bool CharacterData(uint8_t token, bool in_attribute, std::string* plain, std::string* markup) {
    if (token == kStrI || token == kStrT) {
      const std::string text = token == kStrI ? InlineString() : TableString(MultiByte());
      *plain += text;
      *markup += Escape(text, in_attribute);
    } else if (token >= kExtI0 && token <= kExtI2) {
      const std::string variable = Variable(token, InlineString());
      *plain += variable;
      *markup += variable;
    } else if (token >= kExtT0 && token <= kExtT2) {
      const std::string variable = Variable(token, TableString(MultiByte()));
      *plain += variable;
      *markup += variable;
    } else if (token == kEntity) {
      const uint32_t code = MultiByte();
      *plain += EntityText(code);
      *markup += "&#" + std::to_string(code) + ";";
    } else if (token == kOpaque) {
      const uint32_t length = MultiByte();
      if (length > bytes_.size() - position_) Fail("opaque data runs past the end");
      const std::string data(bytes_.substr(position_, length));
      position_ += length;
      *plain += data;
      *markup += Escape(data, in_attribute);
    } else {
      return false;
    }
    return true;
  }

  void Element(uint8_t token) {
    while (token == kSwitchPage) {
      SwitchPage();
      token = Byte();
    }
    std::string name;
    if ((token & 0x3F) == kLiteral) {
      name = TableString(MultiByte());
    } else if (const char* known = TagName(token); known != nullptr) {
      name = known;
    } else {
      Fail("unknown tag token " + Hex(token));
    }
    deck_.markup += "<" + name;
    if (token & kHasAttributes) Attributes();
    if ((token & kHasContent) == 0) {
      deck_.markup += "/>";
      return;
    }
    deck_.markup += ">";
    Content();
    deck_.markup += "</" + name + ">";
  }

  void Content() {
    std::string text;
    const auto flush = [&] {
      if (!text.empty()) deck_.texts.push_back(std::move(text));
      text.clear();
    };
    for (;;) {
      const uint8_t token = Byte();
      if (token == kEnd) break;
      if (token == kPi) {
        SkipProcessingInstruction();
      } else if (!CharacterData(token, false, &text, &deck_.markup)) {
        if (token >= kExt0 && token <= kExt2) Fail("token " + Hex(token) + " has no meaning in WML");
        flush();
        Element(token);
      }
    }
    flush();
  }

  // The attribute list of an element, up to its END, written into the markup.
  void Attributes() { deck_.markup += AttributeList(); }

  std::string AttributeList() {
    std::string markup, value_plain;
    bool open = false;
    const auto close = [&] {
      if (open) markup += "\"";
      open = false;
    };
    for (;;) {
      const uint8_t token = Byte();
      if (token == kEnd) break;
      if (token == kSwitchPage) {
        SwitchPage();
      } else if (token == kLiteral) {
        close();
        markup += " " + TableString(MultiByte()) + "=\"";
        open = true;
      } else if (CharacterData(token, true, &value_plain, &markup)) {
        if (!open) Fail("an attribute value without its attribute");
      } else if (token < 0x80) {
        const auto start = AttributeStartToken(token);
        if (!start) Fail("unknown attribute token " + Hex(token));
        close();
        markup += std::string(" ") + start->name + "=\"" + Escape(start->value_prefix, true);
        open = true;
      } else if (const char* value = AttributeValueToken(token); value != nullptr) {
        if (!open) Fail("an attribute value without its attribute");
        markup += Escape(value, true);
      } else {
        Fail("unknown attribute value token " + Hex(token));
      }
    }
    close();
    return markup;
  }

  void SkipProcessingInstruction() { AttributeList(); }

  std::string_view bytes_;
  size_t position_ = 0;
  WbxmlDeck deck_;
};

}  // namespace

bool WbxmlDeck::HasText(std::string_view piece) const {
  for (const auto& text : texts) {
    if (text.find(piece) != std::string::npos) return true;
  }
  return false;
}

WbxmlDeck DecodeWbxmlDeck(std::string_view bytes) {
  return Decoder(bytes).Decode();
}

}  // namespace qv::testing
