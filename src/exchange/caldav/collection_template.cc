#include "exchange/caldav/collection_template.h"

#include "support/percent_encoding.h"

namespace qv::caldav {

std::string TemplateAddress(const std::string& collection_template, const std::string& mailbox) {
  static constexpr std::string_view kPlaceholder = "{mailbox}";
  std::string address;
  size_t at = 0;
  for (size_t found; (found = collection_template.find(kPlaceholder, at)) != std::string::npos;
       at = found + kPlaceholder.size())
    address += collection_template.substr(at, found - at) + PercentEncode(mailbox);
  return address + collection_template.substr(at);
}

std::optional<MailboxRecord> OpenMailbox(CalendarStore& store, const std::string& mailbox,
                                         const std::string& collection_template) {
  std::optional<MailboxRecord> found = store.FindMailbox(mailbox);
  const bool template_made = found && found->caldav && found->caldav->from_template;
  if (found && !template_made) return found;
  if (collection_template.empty() || mailbox.empty()) return std::nullopt;
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
