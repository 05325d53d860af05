// Comparison ignoring case as the system compares names (CompareString, NORM_IGNORECASE, in the
// user's locale, character by character rather than by word). Texts the system calls equal but that
// differ in more than case (characters it gives no weight, such as the soft hyphen) are ordered by
// their folded forms, so that "equal" means exactly "the same but for case", as the interface says.
#include "platform/text/text_compare.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

std::string FoldTextCase(std::string_view text) {
  std::wstring wide = win32::Wide(text);
  if (!wide.empty()) ::CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return win32::Narrow(wide);
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  const std::wstring left = win32::Wide(a);
  const std::wstring right = win32::Wide(b);
  const int result =
      ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, left.data(),
                       static_cast<int>(left.size()), right.data(), static_cast<int>(right.size()));
  if (result == CSTR_LESS_THAN) return -1;
  if (result == CSTR_GREATER_THAN) return 1;
  const std::string folded_left = FoldTextCase(a);
  const std::string folded_right = FoldTextCase(b);
  return folded_left < folded_right ? -1 : (folded_left == folded_right ? 0 : 1);
}

}  // namespace qv::platform
