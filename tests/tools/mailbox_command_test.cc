#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "exchange/calendar_store_driver.h"
#include "exchange/messaging_library.h"
#include "platform/accounts/accounts.h"
#include "platform/accounts/local_accounts.h"
#include "store/calendar_store.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"
#include "tools/tool_command_fixture.h"

namespace qv::tools {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class MailboxCommandTest : public ToolCommandTest {
 protected:
  void SetUp() override {
    QV_SKIP_REST_UNDER_WINE(qv::testing::kWineKeepsNoAccounts);
    ASSERT_TRUE(platform::NetUserAdd("alice", "Alice-Pass1"));
    ASSERT_TRUE(platform::LookupAccountName("alice", &alice_, &domain_));
  }

  qv::testing::TestStateDir state_dir_;
  platform::Sid alice_;
  std::string domain_;
};

TEST_F(MailboxCommandTest, AddedMailboxLogsOnWithItsOwnersAccount) {
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "alice", "--display", "J\xC3\xBCrgen Doe"}), 0)
      << err_.str();
  EXPECT_EQ(out_.str(), "Added mailbox \"jdoe\" (J\xC3\xBCrgen Doe), owned by " + domain_ + "\\alice (" +
                            platform::SidToText(alice_) + ").\n");

  // What the request handler will do: log on, read the owner's account field, find the account.
  ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
  RegisterCalendarStoreDriver();
  auto session = cdo::CreateSession();
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, "127.0.0.1\r\nJDOE");
  auto user = session->CurrentUser();
  EXPECT_EQ(user->Name(), "J\xFCrgen Doe");
  const std::string hex = user->Fields(cdo::PR_EMS_AB_ASSOC_NT_ACCOUNT)->Value();
  platform::Sid sid;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    sid.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  std::string name, domain;
  ASSERT_TRUE(platform::LookupAccountSid(sid, &name, &domain));
  EXPECT_EQ(name, "alice");
  std::unique_ptr<platform::AccessToken> token;
  EXPECT_TRUE(platform::LogonUser(name, domain, "Alice-Pass1", platform::LogonType::kNetwork, &token));
  session->Logoff();
  platform::CoUninitialize();
}

TEST_F(MailboxCommandTest, ListsAndDeletesMailboxes) {
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_EQ(out_.str(), "No mailboxes.\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "--owner=" + domain_ + "\\alice", "--", "-odd-"}), 0) << err_.str();
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "alice"}), 0) << err_.str();
  CalendarStore().Import("jdoe",
                         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nDTSTART:20240301T090000\r\n"
                         "END:VEVENT\r\nEND:VCALENDAR\r\n",
                         false);
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  const std::string owner = domain_ + "\\alice (" + platform::SidToText(alice_) + ")";
  EXPECT_EQ(out_.str(),
            "NAME   DISPLAY NAME  EVENTS  OWNER\n"
            "-odd-  -odd-         0       " +
                owner +
                "\n"
                "jdoe   jdoe          1       " +
                owner + "\n");
  EXPECT_EQ(RunTool({"mailbox", "delete", "JDOE"}), 0);
  EXPECT_EQ(out_.str(), "Deleted mailbox \"JDOE\" with its calendar.\n");
  EXPECT_FALSE(CalendarStore().FindMailbox("jdoe"));
  // The account gone, the mailbox still lists with the SID.
  ASSERT_TRUE(platform::NetUserDel("alice"));
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr(platform::SidToText(alice_) + " (unknown account)\n"));
}

TEST_F(MailboxCommandTest, NamesNoPhoneCouldSendAreRefusedAndOthersBeyondAsciiSayHowTheyMatch) {
  const std::string lacking =
      "qvanctl mailbox: cannot add \"\xC5\x81ukasz\": the name holds a character that "
      "Windows-1252 lacks, and the service reads the names phones send as Windows-1252\n";
  EXPECT_EQ(RunTool({"mailbox", "add", "\xC5\x81ukasz", "--owner", "alice"}), 1);
  EXPECT_EQ(err_.str(), lacking);
  for (const std::string name : {"a\tb", "a\x7f", "\xC2\x81x", "line\nbreak"}) {
    EXPECT_EQ(RunTool({"mailbox", "add", name, "--owner", "alice"}), 1) << name;
    EXPECT_THAT(err_.str(), HasSubstr("\": no phone can send a control character\n")) << name;
  }
  EXPECT_EQ(RunTool({"mailbox", "add", "M\xFCller", "--owner", "alice"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr(": the name is not UTF-8 text\n"));
  EXPECT_TRUE(CalendarStore().ListMailboxes().empty());

  // Characters a phone can escape are no problem; one beyond ASCII gets a note.
  EXPECT_EQ(RunTool({"mailbox", "add", "a&b %c+d#e=f", "--owner", "alice"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), Not(HasSubstr("Note:")));
  EXPECT_EQ(RunTool({"mailbox", "add", "M\xC3\xBCller \xE2\x82\xAC", "--owner", "alice"}), 0) << err_.str();
  EXPECT_THAT(out_.str(),
              HasSubstr("\nNote: phones must send the characters beyond ASCII in Windows-1252 "
                        "(\"\xC3\xBC\" as %FC), and those are matched in their exact letter case.\n"));
  // As the note says: the Windows-1252 bytes find the mailbox.
  ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
  RegisterCalendarStoreDriver();
  auto session = cdo::CreateSession();
  session->Logon(std::nullopt, std::nullopt, false, true, 0, true, "127.0.0.1\r\nM\xFCller \x80");
  EXPECT_EQ(session->CurrentUser()->Name(), "M\xFCller \x80");
  session->Logoff();
  platform::CoUninitialize();
}

TEST_F(MailboxCommandTest, SetChangesTheDisplayNameTheOwnerAndTheCollection) {
  ASSERT_TRUE(platform::NetUserAdd("bob", "Bob-Pass1"));
  ASSERT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "alice"}), 0) << err_.str();
  ASSERT_EQ(RunTool({"calendar", "import", "jdoe", "-"},
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                    "DTSTART:20300101T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"),
            0)
      << err_.str();

  // A new owner and name: the calendar stays.
  EXPECT_EQ(RunTool({"mailbox", "set", "JDOE", "--display", "John Doe", "--owner", "bob"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), StartsWith("Changed mailbox \"jdoe\" (John Doe), owned by " + domain_ + "\\bob ("));
  std::optional<MailboxRecord> mailbox = CalendarStore().FindMailbox("jdoe");
  ASSERT_TRUE(mailbox.has_value());
  EXPECT_EQ(mailbox->display_name, "John Doe");
  EXPECT_EQ(CalendarStore().ListMailboxes().front().events, 1);

  // Bound to a collection: the imported calendar goes, the server's comes at the next logon.
  EXPECT_EQ(
      RunTool({"mailbox", "set", "jdoe", "--caldav", "https://dav.example.org/j/cal/", "--caldav-user", "j"}),
      0)
      << err_.str();
  EXPECT_EQ(
      out_.str(),
      "Changed mailbox \"jdoe\" (John Doe), showing the CalDAV collection https://dav.example.org/j/cal/ as "
      "j, collection found at the first logon.\nIts calendar was emptied: the next logon reads the "
      "collection.\n");
  mailbox = CalendarStore().FindMailbox("jdoe");
  ASSERT_TRUE(mailbox->caldav.has_value());
  EXPECT_EQ(mailbox->caldav->user, "j");
  EXPECT_EQ(CalendarStore().ListMailboxes().front().events, 0);

  // An owner for a bound mailbox is an unbinding, asked for by name.
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--owner", "alice"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("give --no-caldav with --owner to unbind it"));
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--no-caldav", "--owner", "alice"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Its calendar was emptied: fill it with qvanctl calendar import.\n"));
  mailbox = CalendarStore().FindMailbox("jdoe");
  EXPECT_FALSE(mailbox->caldav.has_value());
  EXPECT_EQ(mailbox->owner, alice_);

  // Mistakes and refusals.
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--no-caldav"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--caldav", "https://x/", "--owner", "bob"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--allow-http"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--owner", "nobody-9"}), 1);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--display", "Unknown"}), 1);
  EXPECT_EQ(RunTool({"mailbox", "set", "jdoe", "--caldav", "ftp://x/"}), 1);
  EXPECT_EQ(
      err_.str(),
      "qvanctl mailbox: cannot change \"jdoe\": The collection's URL must begin with https:// or http://\n");
  EXPECT_EQ(RunTool({"mailbox", "set", "nobody", "--display", "X"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl mailbox: cannot change \"nobody\": there is no such mailbox\n");
}

TEST_F(MailboxCommandTest, RefusalsAreOneLineWithANonZeroExitCode) {
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "no-such-user-9"}), 1);
  // The account named, not the system's sentence for a name without a SID.
  EXPECT_EQ(err_.str(),
            "qvanctl mailbox: cannot add \"jdoe\": there is no account named \"no-such-user-9\" (qvanctl "
            "account list shows this machine's)\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "alice", "--display", "Unknown"}), 1);
  EXPECT_EQ(err_.str(),
            "qvanctl mailbox: cannot add \"jdoe\": a mailbox shown as \"Unknown\" could never log on\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--owner", "alice"}), 0);
  EXPECT_EQ(RunTool({"mailbox", "add", "JDoe", "--owner", "alice"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl mailbox: The mailbox \"JDoe\" exists already\n");
  EXPECT_EQ(RunTool({"mailbox", "delete", "nobody"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl mailbox: cannot delete \"nobody\": there is no such mailbox\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "x"}), 2);
  EXPECT_EQ(err_.str(),
            "qvanctl mailbox: add needs --owner ACCOUNT or --caldav URL (try qvanctl mailbox --help)\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--owner"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "delete", "x", "--owner", "alice"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "list", "x"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "rename", "x"}), 2);
  EXPECT_EQ(RunTool({"mailbox"}), 2);
  EXPECT_EQ(RunTool({"mailbox", "--help"}), 0);
  EXPECT_THAT(out_.str(), StartsWith("Usage: qvanctl mailbox add NAME --owner ACCOUNT [--display TEXT]\n"));
}

// A bound mailbox: its binding in the store and the listing, the user defaulting to the mailbox's
// name, and the bindings refused (owner and collection both, a URL that is no http(s), the CalDAV
// options without a collection).
TEST_F(MailboxCommandTest, BindsAMailboxToACalDAVCollectionAndListsTheBinding) {
  EXPECT_EQ(RunTool({"mailbox", "add", "jdoe", "--caldav", "https://cal.example.org/dav/jdoe/work/"}), 0)
      << err_.str();
  EXPECT_EQ(out_.str(),
            "Added mailbox \"jdoe\" (jdoe), bound to the CalDAV address "
            "https://cal.example.org/dav/jdoe/work/ as jdoe, collection found at the first logon.\n");
  EXPECT_EQ(RunTool({"mailbox", "add", "anna", "--caldav", "http://10.0.0.5:5232/a/", "--caldav-user",
                     "anna.k", "--allow-http", "--display", "Anna K"}),
            0)
      << err_.str();
  const auto anna = CalendarStore().FindMailbox("ANNA");
  ASSERT_TRUE(anna && anna->caldav);
  EXPECT_EQ(anna->caldav->url, "http://10.0.0.5:5232/a/");
  EXPECT_EQ(anna->caldav->user, "anna.k");
  EXPECT_TRUE(anna->caldav->allow_http);
  EXPECT_EQ(anna->owner, "");
  EXPECT_EQ(RunTool({"mailbox", "list"}), 0);
  EXPECT_EQ(out_.str(),
            "NAME  DISPLAY NAME  EVENTS  OWNER\n"
            "anna  Anna K        0       CalDAV http://10.0.0.5:5232/a/ as anna.k (http allowed), collection "
            "found at the first logon\n"
            "jdoe  jdoe          0       CalDAV https://cal.example.org/dav/jdoe/work/ as jdoe, collection "
            "found at the first logon\n");

  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", "https://h/c/", "--owner", "alice"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("add takes --owner or --caldav, not both"));
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", "ftp://h/c/"}), 1);
  ExpectOneLineError("mailbox", "cannot add \"x\": The collection's URL must begin with https:// or http://");
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--owner", "alice", "--allow-http"}), 2);
  EXPECT_THAT(err_.str(),
              HasSubstr("--caldav-user, --calendar, --allow-http and --discover go with --caldav URL"));
  EXPECT_EQ(RunTool({"mailbox", "add", "x", "--caldav", "https://h/c/", "--caldav-user", ""}), 1);
  ExpectOneLineError("mailbox", "A CalDAV mailbox needs a user");
  EXPECT_FALSE(CalendarStore().FindMailbox("x"));
}

}  // namespace
}  // namespace qv::tools
