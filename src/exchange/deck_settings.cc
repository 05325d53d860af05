#include "exchange/deck_settings.h"

#include "config/settings_snapshot.h"
#include "exchange/response_envelope.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"

namespace qv {

namespace {

// The catalogue's message that is its one insertion string.

bool IsCharSetNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

}  // namespace

bool IsPlainCharSetName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!IsCharSetNameCharacter(c)) return false;
  }
  return true;
}

void CheckCharSetSetting() {
  if (IsPlainCharSetName(Config->CharSet)) return;
  const std::string message =
      "Invalid character set name for 'CharSet': \"" + Config->CharSet + "\" (letters, digits and -_.: only)";
  EventLog->WriteEvent(eltError, 0, QV_MSG_TEXT, message);
  throw ESettingError(message);
}

DeckCharset ConfiguredDeckCharset() {
  return DeckCharsetOf(Config->CharSet);
}

std::string DeckTitle() {
  return PageText(Config->DeckHeader, ConfiguredDeckCharset());
}

std::string DeckResponse(std::string_view body) {
  return BuildResponse(Config->CharSet, DeckTitle(), body);
}

}  // namespace qv
