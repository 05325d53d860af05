#include "store/caldav/mirror_refresh.h"

#include <map>
#include <optional>
#include <set>

#include "store/calendar_import.h"
#include "store/calendar_rows.h"
#include "store/ical_reader.h"
#include "support/percent_encoding.h"

namespace qv::caldav {

namespace {

// Servers may write one member's href in different spellings (whole URL or path, escapes): the
// mirror keys members by the decoded path.
std::string MemberKey(const std::string& href) {
  return PercentDecode(HrefPath(href));
}

struct StoredMember {
  std::string etag;
  std::string uids;  // one a line
};

std::map<std::string, StoredMember> LoadMembers(platform::SqliteDatabase& database, int64_t mailbox_id) {
  auto query = database.Prepare("SELECT href, etag, uids FROM caldav_resources WHERE mailbox_id = ?1");
  query.Bind(1, mailbox_id);
  std::map<std::string, StoredMember> members;
  while (query.Step()) members[query.ColumnText(0)] = {query.ColumnText(1), query.ColumnText(2)};
  return members;
}

std::optional<std::string> LoadSyncToken(platform::SqliteDatabase& database, int64_t mailbox_id) {
  auto query = database.Prepare("SELECT caldav_sync_token FROM mailboxes WHERE id = ?1");
  query.Bind(1, mailbox_id);
  if (!query.Step() || query.IsNull(0)) return std::nullopt;
  return query.ColumnText(0);
}

// What a listing asks of the mirror: the members to fetch (by their href as written) and those gone.
struct Changes {
  std::vector<std::string> wanted;
  std::set<std::string> gone;  // keys
  std::string sync_token;
  std::optional<std::string> stored_token;  // the mailbox's token when the listing was asked for
};

// A listing of members with their ETags; `whole` when it lists every member, so that what it lacks is gone.
void Classify(const Multistatus& listing, const std::map<std::string, StoredMember>& stored, bool whole,
              Changes* changes) {
  std::set<std::string> listed;
  for (const DavResource& member : listing.resources) {
    if (member.collection) continue;
    const std::string key = MemberKey(member.href);
    if (member.status == 404) {
      changes->gone.insert(key);
      continue;
    }
    if (member.status != 200) continue;
    listed.insert(key);
    const auto found = stored.find(key);
    if (found == stored.end() || member.etag.empty() || found->second.etag != member.etag)
      changes->wanted.push_back(member.href);
  }
  if (whole) {
    for (const auto& [key, member] : stored)
      if (listed.count(key) == 0) changes->gone.insert(key);
  }
}

Changes AskForChanges(platform::SqliteDatabase& database, int64_t mailbox_id, CollectionClient& client,
                      const std::map<std::string, StoredMember>& stored, std::vector<std::string>* notes) {
  Changes changes;
  changes.stored_token = LoadSyncToken(database, mailbox_id);
  const std::optional<std::string>& token = changes.stored_token;
  if (token != kNoSyncCollection) {
    Multistatus listing;
    bool whole = !token || token->empty();
    auto outcome = client.SyncCollection(token.value_or(""), &listing);
    if (outcome == CollectionClient::SyncOutcome::kTokenRefused && !whole) {
      outcome = client.SyncCollection("", &listing);
      whole = true;
    }
    if (outcome == CollectionClient::SyncOutcome::kChanges) {
      Classify(listing, stored, whole, &changes);
      changes.sync_token = listing.sync_token.empty() ? kNoSyncCollection : listing.sync_token;
      notes->insert(notes->end(), listing.notes.begin(), listing.notes.end());
      return changes;
    }
  }
  const Multistatus listing = client.ListEtags();
  Classify(listing, stored, true, &changes);
  changes.sync_token = kNoSyncCollection;
  notes->insert(notes->end(), listing.notes.begin(), listing.notes.end());
  return changes;
}

// A member fetched: its calendars read, or why they could not be.
struct FetchedMember {
  std::string key;
  std::string href;
  std::string etag;
  std::vector<ical::Component> calendars;
  std::string uids;
};

std::string UidsOf(const std::vector<ical::Component>& calendars) {
  std::set<std::string> uids;
  for (const ical::Component& calendar : calendars)
    for (const ical::Component& component : calendar.components)
      if (component.name == "VEVENT") uids.insert(EventUid(component));
  std::string text;
  for (const std::string& uid : uids) text += uid + "\n";
  return text;
}

class MirrorWriter {
 public:
  MirrorWriter(platform::SqliteDatabase& database, int64_t mailbox_id, MirrorReport* report)
      : database_(database),
        mailbox_id_(mailbox_id),
        report_(*report),
        drop_event_(database.Prepare("DELETE FROM events WHERE mailbox_id = ?1 AND uid = ?2")),
        drop_member_(database.Prepare("DELETE FROM caldav_resources WHERE mailbox_id = ?1 AND href = ?2")),
        keep_member_(database.Prepare("INSERT OR REPLACE INTO caldav_resources (mailbox_id, href, etag, "
                                      "uids) VALUES (?1, ?2, ?3, ?4)")) {}

  // The events a member brought, gone with it or before its new version.
  void DropEventsOf(const std::string& key, const std::map<std::string, StoredMember>& stored) {
    const auto found = stored.find(key);
    if (found == stored.end()) return;
    size_t at = 0;
    const std::string& uids = found->second.uids;
    while (at < uids.size()) {
      const size_t end = uids.find('\n', at);
      drop_event_.Reset();
      drop_event_.Bind(1, mailbox_id_).Bind(2, std::string_view(uids).substr(at, end - at)).Run();
      at = end + 1;
    }
  }

  void Remove(const std::string& key) {
    drop_member_.Reset();
    drop_member_.Bind(1, mailbox_id_).Bind(2, key).Run();
    ++report_.removed;
  }

  // All members in one import, which numbers the appointments once; when one of them is refused,
  // each in one of its own, so that only that one is left out.
  void Store(std::vector<FetchedMember>& members) {
    std::vector<ical::Component> all;
    for (const FetchedMember& member : members)
      all.insert(all.end(), member.calendars.begin(), member.calendars.end());
    if (!TryImport(all, nullptr)) {
      for (FetchedMember& member : members)
        if (!TryImport(member.calendars, &member)) member.uids.clear();
    }
    for (const FetchedMember& member : members) Keep(member);
  }

  void Keep(const FetchedMember& member) {
    keep_member_.Reset();
    keep_member_.Bind(1, mailbox_id_).Bind(2, member.key).Bind(3, member.etag).Bind(4, member.uids).Run();
    ++report_.stored;
  }

 private:
  // False when the import refused the calendars; a member's refusal is noted.
  bool TryImport(const std::vector<ical::Component>& calendars, const FetchedMember* member) {
    try {
      platform::SqliteDatabase::Transaction savepoint(database_);
      const ImportReport imported = ImportCalendars(database_, mailbox_id_, calendars, false, {});
      savepoint.Commit();
      for (const ImportReport::Entry& entry : imported.skipped)
        report_.notes.push_back((entry.uid.empty() ? std::string() : "UID " + entry.uid + ": ") + entry.text);
      return true;
    } catch (const ical::EIcalFormatError& error) {
      if (member != nullptr) report_.notes.push_back(member->href + ": " + error.what());
      return false;
    }
  }

  platform::SqliteDatabase& database_;
  const int64_t mailbox_id_;
  MirrorReport& report_;
  platform::SqliteStatement drop_event_;
  platform::SqliteStatement drop_member_;
  platform::SqliteStatement keep_member_;
};

}  // namespace

MirrorReport RefreshMirror(platform::SqliteDatabase& database, int64_t mailbox_id, CollectionClient& client) {
  MirrorReport report;
  const std::map<std::string, StoredMember> stored = LoadMembers(database, mailbox_id);
  Changes changes = AskForChanges(database, mailbox_id, client, stored, &report.notes);

  std::vector<FetchedMember> fetched;
  std::vector<FetchedMember> malformed;
  if (!changes.wanted.empty()) {
    const Multistatus answer = client.Multiget(changes.wanted);
    report.notes.insert(report.notes.end(), answer.notes.begin(), answer.notes.end());
    std::set<std::string> answered;
    for (const DavResource& member : answer.resources) {
      const std::string key = MemberKey(member.href);
      if (member.status == 404) {
        changes.gone.insert(key);
      } else if (member.status != 200 || !member.calendar_data) {
        continue;
      } else {
        FetchedMember fetched_member{key, member.href, member.etag, {}, {}};
        try {
          fetched_member.calendars = ical::ReadCalendarFile(*member.calendar_data);
          fetched_member.uids = UidsOf(fetched_member.calendars);
          fetched.push_back(std::move(fetched_member));
        } catch (const ical::EIcalFormatError& error) {
          report.notes.push_back(member.href + ": " + error.what());
          malformed.push_back(std::move(fetched_member));
        }
      }
      answered.insert(key);
    }
    // A change that did not come is asked for again next time: the token stays.
    for (const std::string& href : changes.wanted)
      if (answered.count(MemberKey(href)) == 0) changes.sync_token.clear();
  }

  const bool new_token = !changes.sync_token.empty() && changes.sync_token != changes.stored_token;
  if (fetched.empty() && malformed.empty() && changes.gone.empty() && !new_token) return report;

  platform::SqliteDatabase::Transaction transaction(database);
  MirrorWriter writer(database, mailbox_id, &report);
  for (const std::string& key : changes.gone) {
    if (stored.count(key) == 0) continue;
    writer.DropEventsOf(key, stored);
    writer.Remove(key);
  }
  for (const FetchedMember& member : fetched) writer.DropEventsOf(member.key, stored);
  for (const FetchedMember& member : malformed) {
    writer.DropEventsOf(member.key, stored);
    writer.Keep(member);
  }
  if (!fetched.empty()) writer.Store(fetched);
  if (!changes.gone.empty() || !malformed.empty()) NumberAppointments(database, mailbox_id);
  if (new_token)
    database.Prepare("UPDATE mailboxes SET caldav_sync_token = ?2 WHERE id = ?1")
        .Bind(1, mailbox_id)
        .Bind(2, changes.sync_token)
        .Run();
  transaction.Commit();
  return report;
}

}  // namespace qv::caldav
