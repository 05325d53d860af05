// The system's message texts (FormatMessage from the system's message table), on one line.
#include "platform/errors/win_error.h"
#include "platform/text/wide_text_win32.h"

#include "platform/os/windows_api_win32.h"

namespace qv::platform {

bool FormatSystemMessage(uint32_t code, std::string* text) {
  wchar_t buffer[1024];
  const DWORD flags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  const DWORD length = ::FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  DWORD kept = length;
  if (kept == 0) {
    // No English text on this system: the user's language then.
    kept = ::FormatMessageW(flags, nullptr, code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  }
  if (kept == 0) return false;
  // FORMAT_MESSAGE_MAX_WIDTH_MASK turns the line breaks into blanks; the end is trimmed.
  while (kept > 0 && (buffer[kept - 1] == L' ' || buffer[kept - 1] == L'\r' || buffer[kept - 1] == L'\n'))
    --kept;
  *text = win32::Narrow(std::wstring_view(buffer, kept));
  return true;
}

std::string SystemErrorText(uint32_t code) {
  std::string text;
  if (!FormatSystemMessage(code, &text)) return "error " + std::to_string(code);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

bool SystemErrorsAreWindows() {
  return true;
}

}  // namespace qv::platform
