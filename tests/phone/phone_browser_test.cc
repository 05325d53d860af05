// The phone viewer in a real browser (Debian's chromium, headless, driven through chromedriver) in
// front of the service program, with the mailbox and the calendar that the end-to-end tests browse:
// the logon form, the logon, the list and its next page, an appointment, and a calendar text that
// holds a script. Each page's screenshot is kept in the build directory (phone-screenshots/). The
// first list page's is also the README's picture, docs/phone.png, written by the same step when the
// environment asks for it (QV_UPDATE_README_SCREENSHOT=1 ctest -R PhoneInBrowser): the picture shows
// today's dates, so an ordinary run leaves the source tree as it is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "e2e/phone_calendar.h"
#include "phone/phone_viewer.h"
#include "phone/web_driver.h"
#include "platform/process/environment.h"
#include "testing/quorvane_fixture.h"

namespace qv::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

constexpr const char* kPhoneMailbox = "demo";
constexpr const char* kPhonePassword = "phone123";

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << path;
}

// The texts of the entries of a list page: its links, but those that turn the page.
std::vector<std::string> EntryLabels(WebBrowser& browser) {
  std::vector<std::string> labels;
  for (const WebElement& link : browser.All(".card a")) {
    const std::string label = link.Text();
    if (label != "<<" && label != ">>") labels.push_back(label);
  }
  return labels;
}

class PhoneInBrowser : public QuorvaneTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartServiceWithCalendar(kPhoneMailbox, kPhonePassword, calendar_.Ics(),
                                                     calendar_.Appointments().size()));
    viewer_.emplace(
        "127.0.0.1", 0,
        phone::ViewerSettings{phone::ServiceUrl("http://127.0.0.1:" + std::to_string(port_) + "/"), 1400});
    browser_.emplace(sandbox_.Path());
  }

  std::string ViewerUrl(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(viewer_->Port()) + target;
  }

  // Keeps the window's picture as NAME.png in the build directory, and where readme is set and the
  // environment asks for it, as the README's picture too.
  void KeepScreenshot(const std::string& name, bool readme = false) {
    const std::string picture = browser_->Screenshot();
    ASSERT_EQ(picture.substr(0, 4), "\x89PNG");
    ASSERT_NO_FATAL_FAILURE(WriteBytes(std::filesystem::path(QV_SCREENSHOT_DIR) / (name + ".png"), picture));
    if (readme && platform::GetEnvironmentVariable("QV_UPDATE_README_SCREENSHOT").has_value()) {
      ASSERT_NO_FATAL_FAILURE(WriteBytes(QV_README_SCREENSHOT, picture));
    }
  }

  PhoneCalendar calendar_;
  std::optional<phone::PhoneViewer> viewer_;
  std::optional<WebBrowser> browser_;  // goes first: the browser may still be talking to the viewer
};

TEST_F(PhoneInBrowser, LogsOnThroughTheFormAndBrowsesTheListItsNextPageAndAnAppointment) {
  WebBrowser& browser = *browser_;
  browser.Open(ViewerUrl("/"));
  const WebElement mailbox = browser.One("form input[name=U]");
  const WebElement password = browser.One("form input[name=P]");
  EXPECT_EQ(mailbox.Property("type"), "text");
  EXPECT_EQ(password.Property("type"), "password");
  ASSERT_NO_FATAL_FAILURE(KeepScreenshot("1-logon-form"));

  mailbox.Type(kPhoneMailbox);
  password.Type(kPhonePassword);
  browser.Follow(browser.One("form button"));
  // The address mirrors the query that the logon form's link makes, as a phone makes it.
  EXPECT_EQ(browser.Url(), ViewerUrl("/?U=demo&P=phone123&"));
  const std::vector<std::string> first_page = EntryLabels(browser);
  ASSERT_THAT(first_page, SizeIs(::testing::Ge(3u)));
  for (size_t i = 0; i < first_page.size(); ++i) EXPECT_EQ(first_page[i], calendar_.ListLabel(i)) << i;
  EXPECT_THAT(browser.PageText(), HasSubstr(calendar_.DayHeader(0)));
  EXPECT_THAT(browser.PageText(), HasSubstr("A well-formed WML 1.1 deck."));
  ASSERT_NO_FATAL_FAILURE(KeepScreenshot("2-list", true));

  // ">>" goes on with the first appointment the page did not show.
  browser.Follow(browser.Link(">>"));
  EXPECT_EQ(browser.Url(), ViewerUrl("/?U=demo&P=phone123&E=CA&X=" + std::to_string(first_page.size())));
  const std::vector<std::string> next_page = EntryLabels(browser);
  ASSERT_FALSE(next_page.empty());
  EXPECT_EQ(next_page.front(), calendar_.ListLabel(first_page.size()));
  ASSERT_NO_FATAL_FAILURE(KeepScreenshot("3-next-page"));

  // An appointment's link opens its page.
  const size_t shown = first_page.size();
  browser.Follow(browser.Link(next_page.front()));
  EXPECT_EQ(browser.Url(), ViewerUrl("/?U=demo&P=phone123&E=CO&X=" + std::to_string(shown)));
  const std::string card = browser.One(".card").Text();
  for (const std::string& text : calendar_.DetailTexts(shown)) EXPECT_THAT(card, HasSubstr(text));
  ASSERT_NO_FATAL_FAILURE(KeepScreenshot("4-appointment"));
}

TEST_F(PhoneInBrowser, AScriptInACalendarTextShowsAsTextAndNeverRuns) {
  const DateTimeParts today = DecodeDateTime(Date());
  char start[32];
  std::snprintf(start, sizeof start, "%04d%02d%02dT080000", today.year, today.month, today.day);
  const std::string script = "<script>document.title='owned'</script>";
  CalendarStore().Import(kPhoneMailbox,
                         std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quorvane//Test//EN\r\n"
                                     "BEGIN:VEVENT\r\nUID:script@example.org\r\nDTSTART:") +
                             start + "\r\nDURATION:PT1H\r\nSUMMARY:" + script + "\r\nDESCRIPTION:Before " +
                             script + " after\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                         false);
  WebBrowser& browser = *browser_;
  browser.Open(ViewerUrl("/?U=demo&P=phone123&"));
  // The earliest appointment: its label is the time and the subject's first ten characters.
  const std::vector<std::string> labels = EntryLabels(browser);
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), "8:00 AM <script>do");
  browser.Follow(browser.Link(labels.front()));

  const std::string card = browser.One(".card").Text();
  EXPECT_THAT(card, HasSubstr(script));
  EXPECT_THAT(card, HasSubstr("Before " + script + " after"));
  EXPECT_EQ(browser.Title(), "Quorvane phone: Quorvane");
  EXPECT_THAT(browser.All("script"), IsEmpty());
  EXPECT_THAT(browser.Source(), Not(HasSubstr("<script")));
  ASSERT_NO_FATAL_FAILURE(KeepScreenshot("5-script-as-text"));
}

}  // namespace
}  // namespace qv::testing
