// What the store keeps of a bound mailbox's address: the collection found there, whose change
// empties the mirror (a mirror of the address itself, as earlier versions took it, stays when the
// address is the collection); another address, which empties it too; the mailboxes of the collection
// template, dropped when unused for long but never a registered one; and a store of the third schema,
// whose bindings are found again at the next logon.
#include <gtest/gtest.h>

#include "platform/files/state_dir.h"
#include "store/calendar_fixture.h"
#include "store/calendar_import.h"
#include "store/ical_reader.h"
#include "support/date_time.h"

namespace qv::testing {
namespace {

class CalDAVBindingTest : public CalendarTest {
 protected:
  int64_t Bind(const std::string& name, const std::string& url, bool from_template = false) {
    CalDAVBinding binding{url, name, false};
    binding.from_template = from_template;
    store_->AddCalDAVMailbox(name, name, binding);
    return store_->FindMailbox(name)->id;
  }

  // A mirror as a refresh leaves it: an event, its resource and a sync token.
  void Mirror(int64_t id) {
    ImportCalendars(store_->Database(), id,
                    ical::ReadCalendarFile(Calendar("BEGIN:VEVENT\r\nUID:m\r\nDTSTART:20300101T090000\r\n"
                                                    "SUMMARY:Mirrored\r\nEND:VEVENT\r\n")),
                    false, {});
    store_->Database()
        .Prepare(
            "INSERT INTO caldav_resources (mailbox_id, href, etag, uids) VALUES (?1, '/c/m.ics', '1', 'm')")
        .Bind(1, id)
        .Run();
    store_->Database()
        .Prepare("UPDATE mailboxes SET caldav_sync_token = 't1' WHERE id = ?1")
        .Bind(1, id)
        .Run();
  }

  // Events, resources, and whether a token is kept.
  std::string MirrorOf(int64_t id) {
    auto query = store_->Database().Prepare(
        "SELECT (SELECT count(*) FROM events WHERE mailbox_id = ?1), (SELECT count(*) FROM appointments "
        "WHERE "
        "mailbox_id = ?1), (SELECT count(*) FROM caldav_resources WHERE mailbox_id = ?1), "
        "(SELECT caldav_sync_token IS NOT NULL FROM mailboxes WHERE id = ?1)");
    query.Bind(1, id);
    EXPECT_TRUE(query.Step());
    return std::to_string(query.ColumnInt64(0)) + " " + std::to_string(query.ColumnInt64(1)) + " " +
           std::to_string(query.ColumnInt64(2)) + " " + std::to_string(query.ColumnInt64(3));
  }
};

TEST_F(CalDAVBindingTest, AnotherCollectionOrAddressEmptiesTheMirror) {
  const int64_t id = Bind("anna", "https://dav.example.org/cal/");
  Mirror(id);
  ASSERT_EQ(MirrorOf(id), "1 1 1 1");
  // The address was the collection: what was mirrored of it stays.
  store_->SetCalDAVCollection(id, "https://dav.example.org/cal/");
  EXPECT_EQ(MirrorOf(id), "1 1 1 1");
  EXPECT_EQ(store_->FindMailbox("anna")->caldav->collection, "https://dav.example.org/cal/");
  store_->SetCalDAVCollection(id, "https://dav.example.org/cal/");
  EXPECT_EQ(MirrorOf(id), "1 1 1 1");
  store_->SetCalDAVCollection(id, "https://dav.example.org/anna/work/");
  EXPECT_EQ(MirrorOf(id), "0 0 0 0");
  EXPECT_EQ(store_->FindMailbox("anna")->caldav->collection, "https://dav.example.org/anna/work/");

  Mirror(id);
  store_->SetCalDAVAddress(id, "https://other.example.org/");
  EXPECT_EQ(MirrorOf(id), "0 0 0 0");
  const auto anna = store_->FindMailbox("anna");
  EXPECT_EQ(anna->caldav->url, "https://other.example.org/");
  EXPECT_EQ(anna->caldav->collection, "");
  // Another mailbox's mirror is not touched, nor is a mailbox of the store.
  const int64_t ben = Bind("ben", "https://dav.example.org/ben/");
  Mirror(ben);
  store_->SetCalDAVCollection(id, "https://other.example.org/anna/");
  EXPECT_EQ(MirrorOf(ben), "1 1 1 1");
  store_->SetCalDAVCollection(store_->FindMailbox("jdoe")->id, "https://x/");
  EXPECT_FALSE(store_->FindMailbox("jdoe")->caldav);

  CalDAVBinding broken{"https://dav.example.org/\r\nx", "c", false};
  EXPECT_THROW(store_->AddCalDAVMailbox("c", "c", broken), ECalendarStoreError);
}

TEST_F(CalDAVBindingTest, TemplateMailboxesUnusedForLongAreDroppedWithTheirMirrors) {
  const int64_t used = Bind("used", "https://dav.example.org/", true);
  const int64_t idle = Bind("idle", "https://dav.example.org/", true);
  const int64_t never = Bind("never", "https://dav.example.org/", true);
  const int64_t registered = Bind("registered", "https://dav.example.org/");
  Mirror(idle);
  const TDateTime now = Now();
  store_->NoteCalDAVUse(used, now);
  store_->NoteCalDAVUse(idle, now - 40);
  store_->NoteCalDAVUse(registered, now - 40);
  EXPECT_EQ(store_->DropIdleTemplateMailboxes(now - 30), 2u);
  EXPECT_TRUE(store_->FindMailbox("used"));
  EXPECT_TRUE(store_->FindMailbox("registered"));
  EXPECT_FALSE(store_->FindMailbox("idle"));
  EXPECT_FALSE(store_->FindMailbox("never"));
  EXPECT_EQ(MirrorOf(idle), "0 0 0 0");
  static_cast<void>(never);
  // A use noted again within the hour writes nothing; one later does.
  auto last_used = [this] {
    auto query = store_->Database().Prepare("SELECT caldav_last_used FROM mailboxes WHERE name = 'used'");
    EXPECT_TRUE(query.Step());
    return query.ColumnDouble(0);
  };
  store_->NoteCalDAVUse(used, now + 0.5 / 24);
  EXPECT_EQ(last_used(), now);
  store_->NoteCalDAVUse(used, now + 2.0 / 24);
  EXPECT_EQ(last_used(), now + 2.0 / 24);
  EXPECT_EQ(store_->DropIdleTemplateMailboxes(now + 1.5 / 24), 0u);
}

TEST_F(CalDAVBindingTest, BindingsOfTheThirdSchemaAreFoundAgain) {
  const int64_t id = Bind("anna", "https://dav.example.org/");
  Mirror(id);
  store_.reset();
  {
    platform::SqliteDatabase database(platform::PlatformStateFile(CalendarStore::kFileName),
                                      platform::SqliteDatabase::Mode::kReadWrite);
    database.Exec(
        "ALTER TABLE mailboxes DROP COLUMN caldav_calendar; ALTER TABLE mailboxes DROP COLUMN "
        "caldav_collection; "
        "ALTER TABLE mailboxes DROP COLUMN caldav_from_template; ALTER TABLE mailboxes DROP COLUMN "
        "caldav_last_used; PRAGMA user_version = 3");
  }
  store_ = std::make_unique<CalendarStore>();
  auto version = store_->Database().Prepare("PRAGMA user_version");
  ASSERT_TRUE(version.Step());
  EXPECT_EQ(version.ColumnInt64(0), 4);
  const auto anna = store_->FindMailbox("anna");
  ASSERT_TRUE(anna && anna->caldav);
  EXPECT_EQ(anna->caldav->url, "https://dav.example.org/");
  EXPECT_EQ(anna->caldav->collection, "");
  EXPECT_FALSE(anna->caldav->from_template);
  EXPECT_EQ(MirrorOf(id), "1 1 1 1");
}

}  // namespace
}  // namespace qv::testing
