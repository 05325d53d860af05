// Mailboxes without registration: with the setting CalDAVCollectionTemplate (an address such as
// https://dav.example.org/ or https://dav.example.org/calendars/{mailbox}/work/), a mailbox name
// that is not in the store is taken as the user of that server, and its calendar is found at the
// template's address with "{mailbox}" replaced by the name, percent-encoded. The store keeps such a
// mailbox (made at its first accepted logon, collection_logon.h) with its mirror, marked as the
// template's; when the template changes, the mailbox follows it, and when it is off, the template's
// mailboxes are not opened. So machines with the same settings serve the same population, whatever
// each has seen before.
#pragma once

#include <optional>
#include <string>

#include "store/calendar_store.h"

namespace qv::caldav {

// Checks CalDAVCollectionTemplate once the event log can report it: one that is not an http or https
// address (or holds a control character) raises ESettingError (deck_settings.h) after an error event
// with the same text, which stops the start.
void CheckCollectionTemplateSetting();

// The template's address for a mailbox name (UTF-8).
std::string TemplateAddress(const std::string& collection_template, const std::string& mailbox);

// The mailbox the phone's name opens: the store's own, else one the template makes (id 0 until its
// first accepted logon stores it) for a name that can be a user of HTTP Basic authentication (no
// colon, no control character); none when neither has it. A template's mailbox of an earlier
// template is bound to the present one (its mirror emptied).
std::optional<MailboxRecord> OpenMailbox(CalendarStore& store, const std::string& mailbox,
                                         const std::string& collection_template);

}  // namespace qv::caldav
