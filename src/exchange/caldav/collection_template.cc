#include "exchange/caldav/collection_template.h"

#include <algorithm>

#include "config/settings_snapshot.h"
#include "exchange/deck_settings.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "platform/text/ascii_text.h"
#include "support/percent_encoding.h"

namespace qv::caldav {

void CheckCollectionTemplateSetting() {
  const std::string& value = Config->CalDAVCollectionTemplate;
  if (value.empty()) return;
  const std::string lower = AsciiLowerCase(value);
  const bool control = std::any_of(value.begin(), value.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  if ((lower.starts_with("https://") || lower.starts_with("http://")) && !control) return;
  const std::string message = "Invalid address for 'CalDAVCollectionTemplate': \"" + value +
                              "\" (an https:// or http:// address, {mailbox} for the mailbox's name)";
  EventLog->WriteEvent(eltError, 0, QV_MSG_TEXT, message);
  throw ESettingError(message);
}

std::string TemplateAddress(const std::string& collection_template, const std::string& mailbox) {
  static constexpr std::string_view kPlaceholder = "{mailbox}";
  std::string address;
  size_t at = 0;
  for (size_t found; (found = collection_template.find(kPlaceholder, at)) != std::string::npos;
       at = found + kPlaceholder.size())
    address += collection_template.substr(at, found - at) + PercentEncode(mailbox);
  return address + collection_template.substr(at);
}

namespace {

// HTTP Basic authentication takes no colon in a user's name (RFC 7617), and no phone types a control
// character: such a name is no user of the template's server.
bool MayBeUser(const std::string& name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

}  // namespace

std::optional<MailboxRecord> OpenMailbox(CalendarStore& store, const std::string& mailbox,
                                         const std::string& collection_template) {
  std::optional<MailboxRecord> found = store.FindMailbox(mailbox);
  const bool template_made = found && found->caldav && found->caldav->from_template;
  if (found && !template_made) return found;
  if (collection_template.empty() || !MayBeUser(mailbox)) return std::nullopt;
  if (found) {
    const std::string address = TemplateAddress(collection_template, found->caldav->user);
    if (found->caldav->url != address) {
      store.SetCalDAVAddress(found->id, address);
      found->caldav->url = address;
      found->caldav->collection.clear();
    }
    return found;
  }
  MailboxRecord record;
  record.name = mailbox;
  record.display_name = mailbox;
  CalDAVBinding& binding = record.caldav.emplace();
  binding.url = TemplateAddress(collection_template, mailbox);
  binding.user = mailbox;
  binding.from_template = true;
  return record;
}

}  // namespace qv::caldav
