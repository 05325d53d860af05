// Security identifiers in their binary and text forms; the same layout on every platform.
#include <cstdio>

#include "platform/accounts/accounts.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"

namespace qv::platform {

namespace {

constexpr uint8_t kSidRevision = 1;
constexpr size_t kSidHeaderSize = 8;  // revision, count, 6 bytes of authority
constexpr uint64_t kAuthorityLimit = uint64_t{1} << 48;

uint8_t Byte(const Sid& sid, size_t index) {
  return static_cast<uint8_t>(sid[index]);
}

// Reads an unsigned decimal (or, with hex, 0x-prefixed hexadecimal) number that must be below limit.
// Only digits are accepted: no sign, no blank, no empty text.
bool ParseNumber(const std::string& text, bool allow_hex, uint64_t limit, uint64_t* value) {
  uint64_t base = 10;
  size_t start = 0;
  if (allow_hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start >= text.size()) return false;
  uint64_t result = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint64_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<uint64_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<uint64_t>(c - 'A' + 10);
    } else {
      return false;
    }
    if (result > (limit - 1 - digit) / base) return false;  // result * base + digit would reach limit
    result = result * base + digit;
  }
  *value = result;
  return true;
}

bool InvalidSid() {
  SetLastError(ERROR_INVALID_SID);
  return false;
}

}  // namespace

bool IsValidSid(const Sid& sid) {
  if (sid.size() < kSidHeaderSize || Byte(sid, 0) != kSidRevision) return false;
  const size_t count = Byte(sid, 1);
  return count <= kSidMaxSubAuthorities && sid.size() == kSidHeaderSize + 4 * count;
}

bool GetSidParts(const Sid& sid, uint64_t* identifier_authority, std::vector<uint32_t>* sub_authorities) {
  if (!IsValidSid(sid)) return InvalidSid();
  uint64_t authority = 0;
  for (size_t i = 2; i < kSidHeaderSize; ++i) authority = (authority << 8) | Byte(sid, i);
  std::vector<uint32_t> parts(Byte(sid, 1));
  for (size_t i = 0; i < parts.size(); ++i) {
    const size_t at = kSidHeaderSize + 4 * i;
    parts[i] = static_cast<uint32_t>(Byte(sid, at)) | static_cast<uint32_t>(Byte(sid, at + 1)) << 8 |
               static_cast<uint32_t>(Byte(sid, at + 2)) << 16 |
               static_cast<uint32_t>(Byte(sid, at + 3)) << 24;
  }
  *identifier_authority = authority;
  *sub_authorities = std::move(parts);
  return true;
}

Sid MakeSid(uint64_t identifier_authority, const std::vector<uint32_t>& sub_authorities) {
  if (sub_authorities.size() > kSidMaxSubAuthorities)
    throw ERangeError("A SID has at most 15 sub-authorities, not " + std::to_string(sub_authorities.size()));
  if (identifier_authority >= kAuthorityLimit)
    throw ERangeError("A SID's identifier authority must fit in 48 bits");
  Sid sid;
  sid.reserve(kSidHeaderSize + 4 * sub_authorities.size());
  sid.push_back(static_cast<char>(kSidRevision));
  sid.push_back(static_cast<char>(sub_authorities.size()));
  for (int shift = 40; shift >= 0; shift -= 8)
    sid.push_back(static_cast<char>(identifier_authority >> shift));
  for (const uint32_t part : sub_authorities)
    for (int shift = 0; shift < 32; shift += 8) sid.push_back(static_cast<char>(part >> shift));
  return sid;
}

std::string SidToText(const Sid& sid) {
  uint64_t authority = 0;
  std::vector<uint32_t> parts;
  if (!GetSidParts(sid, &authority, &parts)) return std::string();
  std::string text = "S-1-";
  if (authority <= UINT32_MAX) {
    text += std::to_string(authority);
  } else {
    char hex[32];
    std::snprintf(hex, sizeof(hex), "0x%012llX", static_cast<unsigned long long>(authority));
    text += hex;
  }
  for (const uint32_t part : parts) text += "-" + std::to_string(part);
  return text;
}

bool TextToSid(const std::string& text, Sid* sid) {
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return InvalidSid();
  std::vector<std::string> fields;
  size_t start = 2;
  for (;;) {
    const size_t dash = text.find('-', start);
    fields.push_back(text.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
    if (dash == std::string::npos) break;
    start = dash + 1;
  }
  // Revision, authority, then the sub-authorities.
  if (fields.size() < 2 || fields.size() - 2 > kSidMaxSubAuthorities) return InvalidSid();
  uint64_t revision = 0;
  uint64_t authority = 0;
  if (!ParseNumber(fields[0], false, 256, &revision) || revision != kSidRevision) return InvalidSid();
  if (!ParseNumber(fields[1], true, kAuthorityLimit, &authority)) return InvalidSid();
  std::vector<uint32_t> parts;
  for (size_t i = 2; i < fields.size(); ++i) {
    uint64_t part = 0;
    if (!ParseNumber(fields[i], false, uint64_t{UINT32_MAX} + 1, &part)) return InvalidSid();
    parts.push_back(static_cast<uint32_t>(part));
  }
  *sid = MakeSid(authority, parts);
  return true;
}

}  // namespace qv::platform
