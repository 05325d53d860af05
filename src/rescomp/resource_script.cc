#include "rescomp/resource_script.h"

#include <array>
#include <cctype>
#include <optional>

#include "platform/resources/program_resources.h"
#include "rescomp/byte_writer.h"
#include "rescomp/version_resource.h"

namespace qv::rescomp {

namespace {

struct Token {
  enum Kind { kEnd, kNumber, kString, kWord, kComma, kBegin, kEndBlock } kind = kEnd;
  std::string text;  // a word or the decoded string
  uint32_t number = 0;
  bool long_number = false;  // an L suffix
  size_t line = 0;
};

class Tokenizer {
 public:
  Tokenizer(const std::string& content, const std::string& file_name)
      : text_(content), file_name_(file_name) {}

  [[noreturn]] void Fail(size_t line, const std::string& message) const {
    throw EResourceError(file_name_ + ":" + std::to_string(line) + ": " + message);
  }

  Token Next() {
    SkipSpaceAndComments();
    Token token;
    token.line = line_;
    if (at_ >= text_.size()) return token;
    const char c = text_[at_];
    if (c == ',') {
      ++at_;
      token.kind = Token::kComma;
    } else if (c == '{' || c == '}') {
      ++at_;
      token.kind = c == '{' ? Token::kBegin : Token::kEndBlock;
    } else if (c == '"') {
      token.kind = Token::kString;
      token.text = String();
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      token.kind = Token::kNumber;
      Number(&token);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      const size_t start = at_;
      while (at_ < text_.size() &&
             (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_'))
        ++at_;
      token.text = text_.substr(start, at_ - start);
      std::string upper = token.text;
      for (char& u : upper) u = static_cast<char>(std::toupper(static_cast<unsigned char>(u)));
      token.kind = upper == "BEGIN" ? Token::kBegin : upper == "END" ? Token::kEndBlock : Token::kWord;
      token.text = upper;
    } else {
      Fail(line_, std::string("unexpected character '") + c + "'");
    }
    return token;
  }

 private:
  void SkipSpaceAndComments() {
    for (;;) {
      while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
        if (text_[at_] == '\n') ++line_;
        ++at_;
      }
      if (at_ >= text_.size()) return;
      if (text_.compare(at_, 2, "//") == 0) {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else if (text_.compare(at_, 2, "/*") == 0) {
        const size_t end = text_.find("*/", at_ + 2);
        if (end == std::string::npos) Fail(line_, "comment not closed");
        for (size_t i = at_; i < end; ++i) line_ += text_[i] == '\n';
        at_ = end + 2;
      } else if (text_[at_] == '#') {
        Fail(line_, "preprocessor lines are not supported");
      } else {
        return;
      }
    }
  }

  void Number(Token* token) {
    const size_t start = at_;
    int base = 10;
    if (text_.compare(at_, 2, "0x") == 0 || text_.compare(at_, 2, "0X") == 0) {
      base = 16;
      at_ += 2;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; at_ < text_.size(); ++at_, ++digits) {
      const int c = std::tolower(static_cast<unsigned char>(text_[at_]));
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else
        break;
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
      if (value > UINT32_MAX) Fail(line_, "number too large");
    }
    while (at_ < text_.size() && (std::toupper(static_cast<unsigned char>(text_[at_])) == 'L' ||
                                  std::toupper(static_cast<unsigned char>(text_[at_])) == 'U')) {
      token->long_number |= std::toupper(static_cast<unsigned char>(text_[at_])) == 'L';
      ++at_;
    }
    if (digits == 0 || (at_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[at_])))) {
      Fail(line_, "'" + text_.substr(start, at_ - start + 1) + "' is not a number");
    }
    token->number = static_cast<uint32_t>(value);
  }

  // A string: "" stands for one quote; \\ \" \n \r \t \a \0 and \x with hexadecimal digits.
  std::string String() {
    ++at_;
    std::string value;
    for (;;) {
      if (at_ >= text_.size() || text_[at_] == '\n') Fail(line_, "string not closed");
      const char c = text_[at_++];
      if (c == '"') {
        if (at_ < text_.size() && text_[at_] == '"') {
          value += '"';
          ++at_;
          continue;
        }
        return value;
      }
      if (c != '\\') {
        value += c;
        continue;
      }
      if (at_ >= text_.size()) Fail(line_, "string not closed");
      const char e = text_[at_++];
      switch (e) {
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case 'a':
          value += '\a';
          break;
        case '0':
          value += '\0';
          break;
        case '\\':
          value += '\\';
          break;
        case '"':
          value += '"';
          break;
        case 'x': {
          unsigned code = 0;
          size_t digits = 0;
          while (digits < 2 && at_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[at_]))) {
            const int d = std::tolower(static_cast<unsigned char>(text_[at_++]));
            code = code * 16 + static_cast<unsigned>(d <= '9' ? d - '0' : d - 'a' + 10);
            ++digits;
          }
          if (digits == 0) Fail(line_, "\\x without hexadecimal digits");
          value += static_cast<char>(code);
          break;
        }
        default:
          Fail(line_, std::string("unknown escape '\\") + e + "'");
      }
    }
  }

  const std::string& text_;
  const std::string& file_name_;
  size_t at_ = 0;
  size_t line_ = 1;
};

class ScriptParser {
 public:
  ScriptParser(const std::string& content, const std::string& file_name) : tokens_(content, file_name) {
    Advance();
  }

  std::vector<Resource> Parse() {
    std::vector<Resource> resources;
    while (token_.kind != Token::kEnd) {
      if (IsWord("LANGUAGE")) {
        Advance();
        const uint32_t primary = ExpectNumber("primary language");
        Expect(Token::kComma, "','");
        const uint32_t sub = ExpectNumber("sublanguage");
        if (primary > 0x3FF || sub > 0x3F) Fail("language out of range");
        language_ = static_cast<uint16_t>((sub << 10) | primary);
        continue;
      }
      const uint32_t id = ExpectNumber("resource id (a number) or LANGUAGE");
      if (id > 0xFFFF) Fail("resource id out of range");
      if (!IsWord("VERSIONINFO")) Fail("only VERSIONINFO resources are supported");
      Advance();
      resources.push_back(
          {platform::kResourceTypeVersion, static_cast<uint16_t>(id), language_, VersionInfo()});
    }
    return resources;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const { tokens_.Fail(token_.line, message); }
  void Advance() { token_ = tokens_.Next(); }
  bool IsWord(const char* word) const { return token_.kind == Token::kWord && token_.text == word; }

  void Expect(Token::Kind kind, const std::string& what) {
    if (token_.kind != kind) Fail(what + " expected");
    Advance();
  }

  uint32_t ExpectNumber(const std::string& what) {
    if (token_.kind != Token::kNumber) Fail(what + " expected");
    const uint32_t value = token_.number;
    Advance();
    return value;
  }

  std::string ExpectString(const std::string& what) {
    if (token_.kind != Token::kString) Fail(what + " (a string) expected");
    std::string value = token_.text;
    Advance();
    return value;
  }

  // "a, b, c, d": up to four 16-bit parts, missing ones 0.
  std::array<uint16_t, 4> VersionParts() {
    std::array<uint16_t, 4> parts{};
    for (size_t i = 0; i < 4; ++i) {
      const uint32_t part = ExpectNumber("version number");
      if (part > 0xFFFF) Fail("version part out of range");
      parts[i] = static_cast<uint16_t>(part);
      if (token_.kind != Token::kComma) break;
      Advance();
    }
    return parts;
  }

  std::vector<uint8_t> VersionInfo() {
    FixedFileInfo fixed;
    while (token_.kind == Token::kWord) {
      const std::string statement = token_.text;
      Advance();
      if (statement == "FILEVERSION")
        fixed.file_version = VersionParts();
      else if (statement == "PRODUCTVERSION")
        fixed.product_version = VersionParts();
      else if (statement == "FILEFLAGSMASK")
        fixed.flags_mask = ExpectNumber("number");
      else if (statement == "FILEFLAGS")
        fixed.flags = ExpectNumber("number");
      else if (statement == "FILEOS")
        fixed.os = ExpectNumber("number");
      else if (statement == "FILETYPE")
        fixed.file_type = ExpectNumber("number");
      else if (statement == "FILESUBTYPE")
        fixed.file_subtype = ExpectNumber("number");
      else
        Fail("unknown VERSIONINFO statement '" + statement + "'");
    }
    return BuildVersionResource(fixed, BlockItems());
  }

  // BEGIN { BLOCK "key" BEGIN ... END | VALUE "key" [, values] } END
  std::vector<VersionNode> BlockItems() {
    Expect(Token::kBegin, "BEGIN");
    std::vector<VersionNode> items;
    while (token_.kind != Token::kEndBlock) {
      if (IsWord("BLOCK")) {
        Advance();
        std::string key = ExpectString("block name");
        items.push_back(VersionNode::Block(std::move(key), BlockItems()));
      } else if (IsWord("VALUE")) {
        Advance();
        items.push_back(Value());
      } else {
        Fail("BLOCK, VALUE or END expected");
      }
    }
    Advance();
    return items;
  }

  VersionNode Value() {
    std::string key = ExpectString("value name");
    std::optional<std::string> text;
    ByteWriter binary;
    while (token_.kind == Token::kComma) {
      Advance();
      if (token_.kind == Token::kString) {
        if (binary.Size() > 0) Fail("a value of strings and numbers together is not supported");
        text = text.value_or("") + token_.text;
        Advance();
      } else if (token_.kind == Token::kNumber) {
        if (text) Fail("a value of strings and numbers together is not supported");
        if (token_.long_number) {
          binary.U32(token_.number);
        } else {
          if (token_.number > 0xFFFF) Fail("number does not fit 16 bits (write it with an L)");
          binary.U16(static_cast<uint16_t>(token_.number));
        }
        Advance();
      } else {
        Fail("string or number expected");
      }
    }
    if (binary.Size() > 0) return VersionNode::Binary(std::move(key), binary.Take());
    if (text) return VersionNode::Text(std::move(key), *text);
    return VersionNode::Block(std::move(key), {});
  }

  Tokenizer tokens_;
  Token token_;
  uint16_t language_ = platform::kLanguageEnglishUs;
};

}  // namespace

std::vector<Resource> ParseResourceScript(const std::string& content, const std::string& file_name) {
  return ScriptParser(content, file_name).Parse();
}

}  // namespace qv::rescomp
