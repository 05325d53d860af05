// The calendar store: mailboxes and their appointments in an SQLite database of the platform state
// directory. The administrator's tool creates mailboxes and imports and exports calendars
// (iCalendar files); the messaging library's first driver reads the appointments from here.
//
// Each imported event keeps its iCalendar text; its occurrences are stored as appointments, those
// of open-ended recurring events up to a horizon that moves on when a later window is asked for.
// Texts are kept in UTF-8.
//
// The horizon: an import stores series up to today + 366 + 365 days. A window asked past an event's
// horizon extends every such event of the mailbox in one write transaction, to the latest start asked
// for plus 365 days, so a window that moves on day by day extends about once a year; what is behind
// is looked up again inside the transaction, so concurrent sessions extend once. Series are stored at
// most kMaxLookAheadDays ahead of today (plus the reserve): a window reaching further sees none of
// their later occurrences, and one without a latest start sees what is stored. An event that an
// extension would give more than kMaxOccurrencesPerEvent occurrences stops growing. Export writes the
// stored sources back: what came in goes out, unknown properties included.
//
// A mailbox may instead be bound to a calendar collection of a CalDAV server: the store then keeps a
// mirror of the collection in the same tables (one row per server resource in caldav_resources, with
// its ETag and the UIDs it brought), which exchange/caldav/ keeps current. Such a mailbox takes no
// import.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accounts/accounts.h"
#include "platform/sqlite/sqlite_database.h"
#include "store/information_store.h"
#include "support/date_time.h"

namespace qv {

// A refusal of the store the caller can act on: an unknown mailbox, a name already taken ...
QV_EXCEPTION_CLASS(ECalendarStoreError, Exception);

// Where a bound mailbox's calendar lives: the address the administrator gave (a server, a
// principal, a calendar home or the collection itself), the user that logs on to it, and whether
// plain http may go to a server other than this machine; the calendar wanted at a server or home
// (a display name or last path segment; empty: the server's default), and the collection found there
// (empty until the first logon finds it); whether the collection template made the mailbox.
struct CalDAVBinding {
  std::string url;
  std::string user;
  bool allow_http = false;
  // Initialized, so that a binding may still be written {url, user, allow_http}.
  std::string calendar{};
  std::string collection{};
  bool from_template = false;
};

struct MailboxRecord {
  int64_t id = 0;
  std::string name;                     // what the phone types, compared without regard to ASCII case
  std::string display_name;             // the user's name as the library reports it
  platform::Sid owner;                  // the owning account's SID, binary; empty for a bound mailbox
  std::optional<CalDAVBinding> caldav;  // set for a mailbox bound to a CalDAV collection
  int64_t events = 0;                   // set by ListMailboxes only
};

struct AppointmentRecord {
  int64_t id = 0;
  TDateTime start = 0;  // local time
  TDateTime end = 0;
  bool all_day = false;
  std::string subject;
  std::string location;
  std::string text;
  std::string uid;  // of its event
};

// The order of the pages: by start, then end, subject and UID, then id (see NumberAppointments).
bool ComesBefore(const AppointmentRecord& a, const AppointmentRecord& b);

struct ImportReport {
  struct Entry {
    int line = 0;     // where the entry begins
    std::string uid;  // empty when the entry has none
    std::string text;
  };
  size_t events = 0;           // events stored, one per UID
  size_t replaced = 0;         // of those, how many replaced an event of the same UID
  size_t occurrences = 0;      // appointments stored
  size_t recurring = 0;        // of the events stored, how many recur by a rule
  TDateTime horizon = 0;       // recurring events are stored up to this day, and extended when needed
  std::vector<Entry> skipped;  // entries not stored, with the reason
  std::vector<Entry> notes;    // entries stored, with what was made of a doubtful value
  std::map<std::string, size_t> ignored_components;  // VTODO, VJOURNAL ... by kind
};

// Called as an import goes on: events done out of all.
using ImportProgress = std::function<void(size_t done, size_t total)>;

class CalendarStore {
 public:
  static constexpr const char* kFileName = "calendar.db";
  // An event with more occurrences up to the horizon is skipped.
  static constexpr size_t kMaxOccurrencesPerEvent = 100000;
  // Recurring events are stored this many days beyond the latest start asked for.
  static constexpr double kHorizonReserveDays = 365;
  // The window that the calendar pages ask for, in days from today.
  static constexpr double kWindowDays = 365;
  // Occurrences of recurring events are stored at most this many days ahead of today (and the reserve).
  static constexpr double kMaxLookAheadDays = 3653;

  // Opens the machine's store, the one of the platform state directory, creating it when missing.
  // Creating it registers the maintenance program (StoreProgramFile) as the information store's
  // program, unless one is registered already; the store is made whatever the registration's outcome.
  // Opening an existing store never touches the registry, so a logon pays nothing for it.
  CalendarStore();
  // A store at another place: nothing is registered.
  explicit CalendarStore(const std::string& path);
  CalendarStore(const CalendarStore&) = delete;
  CalendarStore& operator=(const CalendarStore&) = delete;

  // Names are UTF-8. AddMailbox raises ECalendarStoreError for an empty or taken name, a name with a
  // line break, or a SID that is not well made.
  void AddMailbox(const std::string& name, const std::string& display_name, const platform::Sid& owner);
  // A mailbox bound to a CalDAV collection, which the server's users log on to; the same refusals
  // for the name, and for a URL that is neither http nor https or a user that is empty.
  void AddCalDAVMailbox(const std::string& name, const std::string& display_name,
                        const CalDAVBinding& binding);
  // The collection found at a bound mailbox's address; a collection other than the one mirrored so
  // far (or empty: to be found again) empties the mirror.
  void SetCalDAVCollection(int64_t mailbox_id, const std::string& collection);
  // Another address for a bound mailbox: the collection is to be found again, the mirror is emptied.
  void SetCalDAVAddress(int64_t mailbox_id, const std::string& url);
  // Notes that a mailbox the collection template made was used now (written once an hour at most).
  void NoteCalDAVUse(int64_t mailbox_id, TDateTime now);
  // Deletes the mailboxes the collection template made that were last used before the given time,
  // with their mirrors; how many.
  size_t DropIdleTemplateMailboxes(TDateTime used_before);
  // Changes what is given of a mailbox and keeps the rest. A new owner makes a bound mailbox an
  // owned one; a binding (to another collection or user, or to one at all) makes the mailbox show
  // that collection. Either way of changing what its calendar comes from empties the calendar (a
  // bound mailbox is read from its server at the next logon; an owned one takes an import) and gives
  // true. Raises ECalendarStoreError for an unknown mailbox, both an owner and a binding, a SID that
  // is not well made, and a binding AddCalDAVMailbox would refuse.
  struct MailboxChange {
    std::optional<std::string> display_name;
    std::optional<platform::Sid> owner;
    std::optional<CalDAVBinding> caldav;
  };
  bool ChangeMailbox(const std::string& name, const MailboxChange& change);
  bool DeleteMailbox(const std::string& name);
  std::optional<MailboxRecord> FindMailbox(const std::string& name);
  std::vector<MailboxRecord> ListMailboxes();

  // Imports an iCalendar file into a mailbox in one transaction: events replace those of the same
  // UID, and overridden instances that come without their event join the stored event of their UID;
  // with `replace` the mailbox's calendar is emptied first. A malformed file raises
  // ical::EIcalFormatError ("line N: reason") and leaves the store as it was; an unknown mailbox
  // raises ECalendarStoreError, and so does a mailbox bound to a CalDAV collection.
  ImportReport Import(const std::string& mailbox, std::string_view ics, bool replace,
                      const ImportProgress& progress = {});
  // The mailbox's calendar as an iCalendar file (UTF-8, CR LF, folded lines).
  std::string Export(const std::string& mailbox);

  // Makes sure that the occurrences of every recurring event of the mailbox that start before
  // `latest_start` (at most kMaxLookAheadDays ahead) are stored.
  void EnsureOccurrencesBefore(int64_t mailbox_id, TDateTime latest_start);

  platform::SqliteDatabase& Database() { return database_; }
  // How the maintenance program was registered, when this object created the machine's store.
  const std::optional<StoreProgramRegistration>& ProgramRegistration() const { return registration_; }

 private:
  CalendarStore(const std::string& path, bool machine_store);
  void CreateSchema();
  // A store of an earlier schema is brought up to this one, once, whichever process opens it.
  void UpgradeSchema(int64_t found);
  MailboxRecord RequireMailbox(const std::string& name);
  static void CheckBinding(const CalDAVBinding& binding);
  void InsertMailbox(const std::string& name, const std::string& display_name, const platform::Sid& owner,
                     const CalDAVBinding* binding);

  platform::SqliteDatabase database_;
  std::optional<StoreProgramRegistration> registration_;
};

// The duration class of an appointment: the smallest c with end - start <= 2^c days (0 for a day
// or less). The window finds the appointments that start before it and end inside it class by
// class, looking back 2^c days for class c.
int SpanClassOf(TDateTime start, TDateTime end);
constexpr int kSpanClasses = 24;

}  // namespace qv
