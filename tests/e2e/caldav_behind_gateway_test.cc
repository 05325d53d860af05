// The service program behind a real WAP gateway with its mailbox bound to a collection of a real
// Radicale: the phone logs on with the server's password, and the list it reads is the calendar on
// the server; a password the server refuses gives the error card and event 122.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e/phone_calendar.h"
#include "testing/caldav_server.h"
#include "testing/quorvane_fixture.h"
#include "testing/wap_gateway.h"
#include "testing/wap_phone.h"

namespace qv::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class CalDAVBehindGateway : public QuorvaneTest {
 protected:
  void SetUp() override {
    sandbox_.SetEnvironment("LC_ALL", "C");
    WriteSettings();
    server_.UploadFile(calendar_.Ics());
    CalendarStore store;
    ASSERT_TRUE(store.ProgramRegistration().has_value());
    store.AddCalDAVMailbox("demo", "Demo Calendar", {server_.CollectionUrl(), kCalDAVUser, false});
    Install();
    ASSERT_EQ(StartService(), platform::SERVICE_RUNNING) << FileText(OutputFile());
  }

  PhonePage LogOn(const std::string& password) {
    const PhonePage form = phone_.Open("http://127.0.0.1:" + std::to_string(port_) + "/");
    EXPECT_TRUE(CompiledCleanly(form.fetch));
    phone_.SetVariable("U", "demo");
    phone_.SetVariable("P", password);
    return phone_.Follow(form, "login");
  }

  CalDAVServer server_{CalDAVServerKind::kRadicale};
  PhoneCalendar calendar_;
  WapGateway gateway_;
  WapPhone phone_{gateway_};
};

TEST_F(CalDAVBehindGateway, APhoneReadsTheCalendarOnTheServerWithTheServersPassword) {
  const PhonePage refused = LogOn("not-the-password");
  ASSERT_TRUE(CompiledCleanly(refused.fetch)) << gateway_.WapboxLog();
  EXPECT_THAT(refused.deck.texts, ElementsAre("Could not logon you", "back"));

  const PhonePage list = LogOn(kCalDAVPassword);
  ASSERT_TRUE(CompiledCleanly(list.fetch)) << gateway_.WapboxLog();
  std::vector<std::string> entries = list.LinkLabels();
  std::erase_if(entries, [](const std::string& label) { return label == "<<" || label == ">>"; });
  ASSERT_GE(entries.size(), 3u);
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i], calendar_.ListLabel(i));
  const PhonePage detail = phone_.Follow(list, calendar_.ListLabel(0));
  ASSERT_TRUE(CompiledCleanly(detail.fetch)) << gateway_.WapboxLog();
  std::vector<std::string> texts = calendar_.DetailTexts(0);
  texts.insert(texts.end(), {">>", "CAL"});  // the first has nothing before it
  EXPECT_EQ(detail.deck.texts, texts);

  ASSERT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
  ASSERT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
  EXPECT_THAT(QvanEvents(), Contains("122 1: 127.0.0.1|demo"));
  EXPECT_EQ(CountOf(Trace(), " Login successful\r\n"), 2u);
}

}  // namespace
}  // namespace qv::testing
