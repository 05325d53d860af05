#include "tools/reg_file_writer.h"

#include <cstdio>

#include "platform/registry/registry.h"

namespace qv::tools {

namespace {

constexpr const char* kLineEnd = "\r\n";
// Hexadecimal data is wrapped before this column, as the registry editor does.
constexpr size_t kLineWidth = 77;

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

bool IsPlainText(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

std::string HexData(const std::string& prefix, const std::string& data) {
  std::string text = prefix;
  size_t line_length = text.size();
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof(byte), "%02x", static_cast<unsigned char>(data[i]));
    const bool last = i + 1 == data.size();
    if (line_length + 3 > kLineWidth) {
      text += "\\";
      text += kLineEnd;
      text += "  ";
      line_length = 2;
    }
    text += byte;
    if (!last) text += ',';
    line_length += last ? 2 : 3;
  }
  return text;
}

void CheckName(const std::string& name, const char* what) {
  if (name.find_first_of("\r\n") != std::string::npos)
    throw ERegFileError(std::string("the ") + what + " \"" + name.substr(0, name.find_first_of("\r\n")) +
                        "...\" holds a line break, which a .reg file cannot carry");
}

std::string ValueLine(const RegFileValue& value) {
  CheckName(value.name, "value name");
  const std::string name = value.name.empty() ? "@" : Quoted(value.name);
  if (value.remove) return name + "=-";
  if (value.type == platform::REG_SZ && IsPlainText(value.data))
    return name + "=" + Quoted(value.data.substr(0, value.data.size() - 1));
  if (value.type == platform::REG_DWORD && value.data.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = number << 8 | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
    char text[16];
    std::snprintf(text, sizeof(text), "dword:%08x", number);
    return name + "=" + text;
  }
  if (value.type == platform::REG_BINARY) return HexData(name + "=hex:", value.data);
  char type[24];
  std::snprintf(type, sizeof(type), "=hex(%x):", value.type);
  return HexData(name + type, value.data);
}

}  // namespace

std::string FormatRegFile(const RegFile& file) {
  std::string text = "REGEDIT4";
  text += kLineEnd;
  for (const RegFileKey& key : file.keys) {
    CheckName(key.path, "key");
    text += kLineEnd;
    text += (key.remove ? "[-" : "[") + key.path + "]" + kLineEnd;
    for (const RegFileValue& value : key.values) text += ValueLine(value) + kLineEnd;
  }
  text += kLineEnd;
  return text;
}

}  // namespace qv::tools
