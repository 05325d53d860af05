// Text put into the viewer's HTML pages: whatever it holds, it stays text.
#pragma once

#include <string>
#include <string_view>

namespace qv::phone {

// The text with &, <, >, " and ' written as references, so that it can stand in an element's content
// or in a quoted attribute value and never becomes markup.
std::string HtmlEscape(std::string_view text);

}  // namespace qv::phone
