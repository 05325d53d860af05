// The request handler: the logon form, the logon with the account check, the error card and the
// choice of page, with their events and trace lines, compared byte for byte.
#include "exchange/request_handler.h"

#include <gtest/gtest.h>

#include "e2e/service_decks.h"
#include "exchange/fake_library.h"
#include "exchange/pages_fixture.h"
#include "exchange/response_envelope.h"
#include "logging/password_mask.h"
#include "net/server_client_thread.h"
#include "net/server_socket.h"
#include "platform/errors/win_error.h"
#include "platform/sockets/tcp_socket.h"
#include "support/text_helpers.h"
#include "support/win_error_text.h"
#include "testing/wml_check.h"

namespace qv::testing {
namespace {

const std::string kHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n";

using RequestHandlerTest = OwnedMailboxTest;

TEST_F(RequestHandlerTest, WithoutAMailboxTheAnswerIsTheLogonForm) {
  const std::string response = Respond("", "any password", "CO", "3");
  EXPECT_EQ(response, kHeader + ServiceDeck(kLogonFormBody));
  EXPECT_EQ(response.size(), 481u);
  EXPECT_TRUE(ReadAllEvents().empty());
  const std::string trace = StopTrace();
  // The form's link carries "P=$(P)", which the trace shows masked like any password.
  EXPECT_TRUE(HasTraceEntry(trace, "MaxChar: 1000Char:481Body: \r\n" + MaskPasswords(response))) << trace;
  EXPECT_EQ(CountOf(response, "P=$(P)"), 1u);
  EXPECT_EQ(trace.find("Login"), std::string::npos);
}

TEST_F(RequestHandlerTest, AWrongPasswordGivesTheErrorCardAndEvent122) {
  const std::string response = Respond("jdoe", "wrong", "", "");
  EXPECT_EQ(response, kHeader + ServiceDeck(kErrorCardBody));
  EXPECT_EQ(response.size(), 410u);
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventID, 122u);
  EXPECT_EQ(events[0].EventType, 1);  // error
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"", "jdoe"}));
  const std::string trace = StopTrace();
  EXPECT_NE(trace.find(" Request rejected: Could not logon you MailBox: jdoe\r\n"), std::string::npos)
      << trace;
  EXPECT_EQ(trace.find("Login successful"), std::string::npos);
}

TEST_F(RequestHandlerTest, TheRightPasswordOpensTheCalendar) {
  auto handler_object = std::make_unique<TWCExchange>(nullptr);
  TWCExchange& handler = *handler_object;
  handler.Mailbox = "jdoe";
  handler.Password = "secret";
  const std::string response = handler.GetResponse();
  EXPECT_EQ(handler.Position, "0");  // the list page sets an empty position to 0
  ASSERT_NE(handler.LogonToken, nullptr);
  EXPECT_EQ(handler.LogonToken->UserSid(), owner_);
  EXPECT_TRUE(handler.LoggedOn);
  EXPECT_EQ(response,
            kHeader + ServiceDeck("** " + DayText(today_ + 1) +
                                  " **<br/><a href=\"?U=jdoe&amp;P=secret&amp;E=CO&amp;X=0\">09:00 Team "
                                  "meeting</a><br/>"));
  EXPECT_TRUE(ReadAllEvents().empty());
  const std::string id = handler.SessionId();
  handler_object.reset();
  ASSERT_EQ(id.size(), 8u);
  EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
  const std::string trace = StopTrace();
  for (const std::string& line :
       {"Exchange Session start: $" + id, "Exchange Session: $" + id + " Logon succesfull: jdoe",
        std::string("Login successful"), std::string("GetCalendarAppointmentList"),
        std::string("CDO GetDefaultFolder"), "Exchange Session end: $" + id}) {
    EXPECT_TRUE(HasTraceEntry(trace, line)) << line << "\n" << trace;
  }
}

TEST_F(RequestHandlerTest, OnlyTheExactPageKindCOSelectsTheAppointment) {
  const std::string detail = Respond("jdoe", "secret", "CO", "0");
  EXPECT_NE(detail.find("Subject:<br/>Team meeting<br/>Location:<br/>Room 4<br/>"), std::string::npos)
      << detail;
  for (const char* kind : {"co", "Co", "CA", "", "XY"}) {
    const std::string page = Respond("jdoe", "secret", kind, "0");
    EXPECT_NE(page.find(">09:00 Team meeting</a><br/>"), std::string::npos) << kind << "\n" << page;
    EXPECT_EQ(page.find("Subject:"), std::string::npos) << kind;
  }
}

TEST_F(RequestHandlerTest, AMailboxTheStoreDoesNotKnowLogsOnAsUnknownAndIsRefused) {
  const std::string response = Respond("nobody", "secret", "", "");
  EXPECT_EQ(response, kHeader + ServiceDeck(kErrorCardBody));
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventID, 122u);
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"", "nobody"}));
}

TEST_F(RequestHandlerTest, AnOwnerNoAuthorityKnowsIsReportedAndRefused) {
  store_->AddMailbox("orphan", "Orphan", kOwnerSid);  // S-1-5-21-1-2-3-1001: no such machine
  const std::string response = Respond("orphan", "secret", "", "");
  EXPECT_EQ(response, kHeader + ServiceDeck(kErrorCardBody));
  const std::string error_text = GetWinErrorText(static_cast<int32_t>(platform::ERROR_NONE_MAPPED));
  const auto events = ReadAllEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].EventID, 50u);
  EXPECT_EQ(events[0].EventType, 1);
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"GetStackAddress", error_text}));
  EXPECT_EQ(events[1].EventID, 122u);
  EXPECT_EQ(events[1].Strings, (std::vector<std::string>{"", "orphan"}));
  const std::string trace = StopTrace();
  EXPECT_TRUE(HasTraceEntry(trace, "Exception! " + error_text + "\r\n\tTWCExchange at GetStackAddress\r\n\t" +
                                       "LastError: " + error_text + " sSID: " + HexText(kOwnerSid) +
                                       " sBufUserName:  sBufDomain: "))
      << trace;
  EXPECT_TRUE(HasTraceEntry(trace, "Exception! atGetStackAddress " + error_text)) << trace;
}

TEST_F(RequestHandlerTest, TheAccountFailureIsTracedAtTheDetailInForce) {
  store_->AddMailbox("orphan", "Orphan", kOwnerSid);
  const std::string error_text = GetWinErrorText(static_cast<int32_t>(platform::ERROR_NONE_MAPPED));
  const std::string short_report = "Exception! " + error_text + "\r\n\tTWCExchange at GetStackAddress";
  StartTrace(1);
  Respond("orphan", "secret", "", "");
  std::string trace = StopTrace();
  EXPECT_TRUE(HasTraceEntry(trace, short_report)) << trace;
  EXPECT_EQ(trace.find("LastError"), std::string::npos);
  EXPECT_EQ(trace.find("Exception! at"), std::string::npos);  // the exception's own line is level 2
  StartTrace(2);
  Respond("orphan", "secret", "", "");
  trace = StopTrace();
  EXPECT_TRUE(HasTraceEntry(trace, short_report)) << trace;
  EXPECT_TRUE(HasTraceEntry(trace, "Exception! atGetStackAddress " + error_text)) << trace;
  StartTrace(4);
  Respond("orphan", "secret", "", "");
  trace = StopTrace();
  EXPECT_EQ(trace.find("TWCExchange at"), std::string::npos) << trace;
}

TEST_F(RequestHandlerTest, TheResponseIsTracedOnlyAtDetailThree) {
  StartTrace(2);
  const std::string response = Respond("jdoe", "secret", "", "");
  const std::string trace = StopTrace();
  EXPECT_TRUE(HasTraceEntry(trace, "Login successful")) << trace;
  EXPECT_EQ(trace.find("MaxChar: "), std::string::npos);
  StartTrace(3);
  const std::string again = Respond("jdoe", "secret", "", "", 1400);
  // The links' passwords are masked.
  const std::string masked = MaskPasswords(again);
  EXPECT_EQ(masked.find("secret"), std::string::npos);
  EXPECT_TRUE(HasTraceEntry(StopTrace(),
                            "MaxChar: 1400Char:" + std::to_string(again.size()) + "Body: \r\n" + masked));
}

TEST_F(RequestHandlerTest, TheOwnersSidArrivesAsHexadecimalPairs) {
  TWCExchange handler(nullptr);
  handler.Password = "secret";
  EXPECT_TRUE(handler.CheckNtAccount(HexText(owner_)));
  // Lower case digits read alike, and an odd last digit is ignored.
  std::string lower = HexText(owner_);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(handler.CheckNtAccount(lower + "F"));
  handler.Password = "Secret";
  EXPECT_FALSE(handler.CheckNtAccount(HexText(owner_)));
  try {
    handler.CheckNtAccount("0105ZZ");
    FAIL() << "no error raised";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "'$ZZ' is not a valid integer value");
  }
  EXPECT_TRUE(EventsWithId(50).empty());  // a wrong password is no exception
}

TEST_F(RequestHandlerTest, TheProfileInformationIsTheServerALineBreakAndTheMailbox) {
  auto session = std::make_shared<FakeSession>();
  session->owner_sid_hex = HexText(owner_);
  platform::CoRegisterClass(cdo::CLSID_Session, [session] { return session; });
  {
    TWCExchange handler(nullptr);
    handler.Mailbox = "jdoe";
    handler.Password = "secret";
    std::string reason;
    EXPECT_TRUE(handler.LogonMailbox(&reason));
    EXPECT_EQ(session->profile_info, "127.0.0.1\r\njdoe");
    EXPECT_EQ(session->logoffs, 0);
  }
  EXPECT_EQ(session->logoffs, 1);  // logged off with the handler
}

TEST_F(RequestHandlerTest, ALogonThatRaisesLeavesTheResponseAndIsNotLoggedOff) {
  auto session = std::make_shared<FakeSession>();
  session->fail_logon = true;
  platform::CoRegisterClass(cdo::CLSID_Session, [session] { return session; });
  {
    TWCExchange handler(nullptr);
    handler.Mailbox = "jdoe";
    EXPECT_THROW(handler.GetResponse(), EOleException);
    EXPECT_FALSE(handler.LoggedOn);
  }
  EXPECT_EQ(session->logons, 1);
  EXPECT_EQ(session->logoffs, 0);
  EXPECT_TRUE(ReadAllEvents().empty());
}

TEST_F(RequestHandlerTest, WithoutTheLibraryThereIsNoHandler) {
  platform::CoRevokeClass(cdo::CLSID_Session);
  EXPECT_THROW(TWCExchange handler(nullptr), EOleException);
  EXPECT_EQ(StopTrace().find("Exchange Session start"), std::string::npos);
}

TEST_F(RequestHandlerTest, MailboxAndPasswordWithMarkupCharactersStayInsideTheirLinks) {
  store_->AddMailbox("o'h$", "O'Hara", AddAccount("ohara", "p<w\"$&"));
  Import("o'h$", IcalEvent("x", today_ + 2 + 0.5, today_ + 2 + 0.6, "Lunch"));
  const std::string response = Respond("o'h$", "p<w\"$&", "CA", "0");
  const std::string deck = response.substr(kHeader.size());
  EXPECT_NE(deck.find("<a href=\"?U=o%27h%24&amp;P=p%3Cw%22%24%26&amp;E=CO&amp;X=0\">"), std::string::npos)
      << deck;
  if (!qv::testing::SkipOnWindows(qv::testing::kGatewayOnLinuxOnly)) {
    const WmlCheck check = CheckWmlDeck(deck);
    EXPECT_TRUE(check.accepted) << deck;
    EXPECT_TRUE(check.messages.empty()) << deck;
  }
  // The error card names neither.
  EXPECT_EQ(Respond("o'h$", "wrong", "CA", "0"), kHeader + ServiceDeck(kErrorCardBody));
}

// A connection thread that answers with the handler's response for a wrong password.
class RefusedLogonThread : public net::TServerClientThread {
 public:
  using TServerClientThread::TServerClientThread;

 protected:
  void ClientExecute() override {
    TWCExchange handler(this);
    handler.Mailbox = "jdoe";
    handler.Password = "wrong";
    ClientSocket()->SendText(handler.GetResponse());
  }
};

TEST_F(RequestHandlerTest, Event122NamesTheClientOfTheRequestThread) {
  net::TServerSocket server;
  server.SetAddress("127.0.0.1");
  server.SetPort(0);
  server.OnGetThread = [](net::TServerSocket&, net::TServerClientWinSocket& socket) {
    return std::make_unique<RefusedLogonThread>(&socket);
  };
  server.SetActive(true);
  platform::TcpSocket client;
  ASSERT_TRUE(client.Connect("127.0.0.1", server.LocalPort(), 10000));
  std::string received;
  size_t count = 0;
  while (client.Receive(10000, 1024, &received, &count) && count > 0) {
  }
  server.SetActive(false);
  EXPECT_EQ(received, kHeader + ServiceDeck(kErrorCardBody));
  const auto events = EventsWithId(122);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Strings, (std::vector<std::string>{"127.0.0.1", "jdoe"}));
}

TEST_F(RequestHandlerTest, TheLogonFormAndTheErrorCardPassTheGatewaysCompiler) {
  QV_SKIP_REST_ON_WINDOWS(qv::testing::kGatewayOnLinuxOnly);
  for (const std::string& response : {Respond("", "", "", ""), Respond("jdoe", "wrong", "", "")}) {
    const WmlCheck check = CheckWmlDeck(response.substr(kHeader.size()));
    EXPECT_TRUE(check.accepted) << response;
    EXPECT_TRUE(check.messages.empty()) << response;
  }
}

}  // namespace
}  // namespace qv::testing
