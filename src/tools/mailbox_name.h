// Whether phones can send a mailbox name back as it is stored. The service takes the mailbox (U) of
// a request percent-decoded, reads its bytes as Windows-1252 and finds the mailbox by that name,
// ignoring the case of the letters A to Z only.
#pragma once

#include <string>
#include <string_view>

namespace qv::tools {

struct MailboxNameCheck {
  // Why no phone could ever log on to the name; empty when one can.
  std::string refusal;
  // How the name will be matched, for names with characters beyond ASCII; empty otherwise.
  std::string note;
};

// The check of a name as the tool gets it (UTF-8): refused when it is not UTF-8, holds a character
// that Windows-1252 lacks, or a control character.
MailboxNameCheck CheckMailboxName(std::string_view name);

}  // namespace qv::tools
