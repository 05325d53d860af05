// Reads a compiled WML deck (WBXML, as a WAP gateway sends it to the phone) back into WML markup and
// its texts, so that tests can check what a phone receives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::testing {

// The bytes are not a WBXML document that this reader understands.
QV_EXCEPTION_CLASS(EWbxmlError, Exception);

struct WbxmlDeck {
  uint8_t version = 0;       // 0x01 is WBXML 1.1, 0x03 WBXML 1.3
  uint32_t public_id = 0;    // 0x04 is "-//WAPFORUM//DTD WML 1.1//EN"
  uint32_t charset = 0;      // IANA MIBenum: 4 iso-8859-1, 106 UTF-8; 0 unknown
  std::string string_table;  // the document's string table as it stands
  // The elements as WML markup, from <wml> on: attributes in their document order, texts escaped
  // (&amp; &lt; &gt; &quot; and $$ for a dollar sign), character entities as &#N;, and variables
  // with their conversion spelt out: $(name:e) escaped, $(name:u) unescaped, $(name:n) unchanged.
  std::string markup;
  // The character data between the tags, each run of text whole and unescaped (variables as in
  // markup), in document order; attribute values are not texts.
  std::vector<std::string> texts;

  // Whether one of the texts contains the piece.
  bool HasText(std::string_view piece) const;
};

// Decodes a WBXML document of WML (tag and attribute code page 0). Raises EWbxmlError when the bytes
// end early, use an index outside the string table or carry a token that WML does not know.
WbxmlDeck DecodeWbxmlDeck(std::string_view bytes);

}  // namespace qv::testing
