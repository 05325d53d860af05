#include "platform/text/wide_text_win32.h"

#include "platform/text/code_page.h"

namespace qv::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

std::wstring Wide(std::string_view text) {
  const std::u16string wide = AnsiToWide(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view text) {
  return WideToAnsi(std::u16string(text.begin(), text.end()));
}

std::string NarrowBuffer(const wchar_t* buffer, size_t capacity) {
  size_t length = 0;
  while (length < capacity && buffer[length] != L'\0') ++length;
  return Narrow(std::wstring_view(buffer, length));
}

}  // namespace qv::platform::win32
