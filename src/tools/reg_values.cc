#include "tools/reg_values.h"

#include <cstdio>
#include <vector>

#include "config/registry_type_names.h"
#include "platform/registry/registry.h"
#include "platform/text/ascii_text.h"
#include "support/text_helpers.h"

namespace qv::tools {

using namespace platform;

namespace {

std::optional<uint32_t> ParseDword(const std::string& text) {
  uint64_t value = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 10) return std::nullopt;
    for (size_t i = 2; i < text.size(); ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(digit);
    }
    return static_cast<uint32_t>(value);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string UpToNul(const std::string& data) {
  return data.substr(0, data.find('\0'));
}

}  // namespace

uint32_t ParseAddType(const std::string& name) {
  const std::string upper = AsciiUpperCase(name);
  for (const uint32_t type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY})
    if (upper == RegistryTypeName(type)) return type;
  throw EValueDataError("unknown type \"" + name +
                        "\"; expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY");
}

std::string ParseAddData(uint32_t type, const std::string& text, const std::string& separator) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return text + '\0';
    case REG_DWORD: {
      const auto value = ParseDword(text);
      if (!value)
        throw EValueDataError(
            "REG_DWORD data must be a number from 0 to 4294967295, or 0x and up to eight "
            "hexadecimal digits, not \"" +
            text + "\"");
      return std::string{static_cast<char>(*value & 0xFF), static_cast<char>((*value >> 8) & 0xFF),
                         static_cast<char>((*value >> 16) & 0xFF), static_cast<char>(*value >> 24)};
    }
    case REG_BINARY: {
      std::string bytes;
      const bool even = text.size() % 2 == 0;
      for (size_t i = 0; even && i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) break;
        bytes += static_cast<char>(high * 16 + low);
      }
      if (bytes.size() * 2 != text.size())
        throw EValueDataError("REG_BINARY data must be pairs of hexadecimal digits (such as 0A1BFF), not \"" +
                              text + "\"");
      return bytes;
    }
    case REG_MULTI_SZ: {
      if (separator.empty()) throw EValueDataError("the REG_MULTI_SZ separator must not be empty");
      std::vector<std::string> strings;
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        strings.push_back(text.substr(start, end - start));
        start = end + separator.size();
      }
      std::string bytes;
      for (const std::string& string : strings) {
        if (string.empty())
          throw EValueDataError(
              "REG_MULTI_SZ data must not hold empty strings (two separators in a row): \"" + text + "\"");
        bytes += string + '\0';
      }
      return bytes + '\0';
    }
    default:
      throw EValueDataError("values of type " + RegistryTypeName(type) + " cannot be added");
  }
}

std::string ShowData(uint32_t type, const std::string& data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return UpToNul(data);
    case REG_MULTI_SZ: {
      std::string shown;
      size_t start = 0;
      while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        if (end == start) break;
        if (!shown.empty()) shown += "\\0";
        shown += data.substr(start, end - start);
        start = end + 1;
      }
      return shown;
    }
    case REG_DWORD:
      if (data.size() == 4) {
        const auto byte = [&](size_t i) {
          return static_cast<uint32_t>(static_cast<unsigned char>(data[i]));
        };
        // The decimal number as well: settings are thought of in decimal ("0x1f90 (8080)").
        const uint32_t number = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        char text[32];
        std::snprintf(text, sizeof(text), "0x%x (%u)", number, number);
        return text;
      }
      return HexText(data);
    default:
      return HexText(data);
  }
}

}  // namespace qv::tools
