#include "tools/mailbox_name.h"

#include <cstdio>

#include "platform/text/code_page.h"

namespace qv::tools {

namespace {

// Control characters, and the bytes Windows-1252 leaves undefined (read as the C1 controls).
bool IsUntypable(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 ||
         byte == 0x9D;
}

// "%FC" for 0xFC.
std::string Escape(unsigned char byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%%%02X", byte);
  return text;
}

}  // namespace

MailboxNameCheck CheckMailboxName(std::string_view name) {
  MailboxNameCheck check;
  if (!platform::IsValidUtf8(name)) {
    check.refusal = "the name is not UTF-8 text";
    return check;
  }
  const std::string single_byte = platform::Utf8ToWindows1252(name);
  if (platform::Windows1252ToUtf8(single_byte) != name) {
    check.refusal =
        "the name holds a character that Windows-1252 lacks, and the service reads the names "
        "phones send as Windows-1252";
    return check;
  }
  for (const char c : single_byte) {
    if (IsUntypable(static_cast<unsigned char>(c))) {
      check.refusal = "no phone can send a control character";
      return check;
    }
  }
  for (const char c : single_byte) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) continue;
    const std::string character = platform::Windows1252ToUtf8(std::string(1, c));
    check.note = "phones must send the characters beyond ASCII in Windows-1252 (\"" + character + "\" as " +
                 Escape(byte) + "), and those are matched in their exact letter case";
    break;
  }
  return check;
}

}  // namespace qv::tools
