#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "itc/itc_endpoint.h"
#include "itc/itc_message_block.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "testing/message_pump.h"

namespace qv {
namespace {

using qv::testing::PumpMessagesUntil;
using qv::testing::PumpPendingMessages;

struct Received {
  std::string sender;
  std::string data;
  bool data_absent;
  uint32_t size;
  uint32_t thread;
};

// Collects what an endpoint's OnMessage receives.
class Inbox {
 public:
  void Attach(TVeskItc& endpoint) {
    endpoint.OnMessage = [this](TVeskItc&, const std::string& sender, const void* data, uint32_t size) {
      Received item{sender, data == nullptr ? "" : std::string(static_cast<const char*>(data), size),
                    data == nullptr, size, platform::GetCurrentThreadId()};
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(item);
    };
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
  }
  std::vector<Received> Items() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
  }

 private:
  std::mutex mutex_;
  std::vector<Received> items_;
};

// Expects the statement to raise an ITC exception of that class with exactly that message.
template <class E, class F>
void ExpectItcFailure(F&& statement, const std::string& message) {
  try {
    statement();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(VeskItc, NamesOfUpTo63CharactersAreAccepted) {
  TVeskItc endpoint("old");
  const std::string longest(63, 'n');
  endpoint.SetName(longest);
  EXPECT_EQ(endpoint.Name(), longest);
  ExpectItcFailure<eItcException>([&] { endpoint.SetName(std::string(64, 'n')); },
                                  "Vesk ITC Error: Name too long");
  EXPECT_EQ(endpoint.Name(), longest);
  EXPECT_THROW(TVeskItc(std::string(64, 'x')), eItcException);

  // The longest name travels whole as the sender name.
  endpoint.Connect();
  Inbox inbox;
  inbox.Attach(endpoint);
  endpoint.SendToSelf("x", 1);
  ASSERT_TRUE(PumpMessagesUntil([&] { return inbox.Count() == 1; }));
  EXPECT_EQ(inbox.Items()[0].sender, longest);
}

TEST(VeskItc, ConnectNeedsANameAndDoesNothingTheSecondTime) {
  TVeskItc unnamed;
  ExpectItcFailure<eItcException>([&] { unnamed.Connect(); },
                                  "Vesk ITC Error: Name has not been set before Connect");
  EXPECT_FALSE(unnamed.Connected());
  EXPECT_EQ(unnamed.Window(), 0u);
  unnamed.Disconnect();  // not connected: nothing happens

  TVeskItc endpoint("Twice");
  endpoint.Connect();
  const platform::WindowHandle window = endpoint.Window();
  EXPECT_NE(window, 0u);
  EXPECT_EQ(platform::GetWindowThreadProcessId(window), platform::GetCurrentThreadId());
  endpoint.Connect();
  EXPECT_EQ(endpoint.Window(), window);
  EXPECT_EQ(FindItcEndpoint("twice"), &endpoint);
  endpoint.Disconnect();
  EXPECT_FALSE(endpoint.Connected());
  EXPECT_EQ(endpoint.Window(), 0u);
  EXPECT_FALSE(platform::IsWindow(window));
  EXPECT_EQ(FindItcEndpoint("Twice"), nullptr);
  endpoint.Disconnect();
}

TEST(VeskItc, ANameTakenInAnotherLetterCaseIsRefused) {
  TVeskItc first("TraceWriter");
  first.Connect();
  TVeskItc second("tracewriter");
  ExpectItcFailure<eItcException>([&] { second.Connect(); },
                                  "Vesk ITC Error: Could not register myself to the dictionary");
  EXPECT_FALSE(second.Connected());
  EXPECT_EQ(second.Window(), 0u);
  EXPECT_EQ(FindItcEndpoint("TRACEWRITER"), &first);
}

TEST(VeskItc, SendingNeedsAConnectionAndAKnownDestination) {
  TVeskItc sender("Sender");
  ExpectItcFailure<eItcException>([&] { sender.SendTo("Sender", "a", 1); },
                                  "Vesk ITC Error: SendTo called but not connected!");
  sender.Connect();
  ExpectItcFailure<eItcException>([&] { sender.SendTo("Nobody", "a", 1); },
                                  "Vesk ITC Error: Destination name not found in directory");
  platform::Msg msg;
  EXPECT_FALSE(platform::PeekMessage(&msg, 0, 0, 0, platform::PM_NOREMOVE));  // nothing was posted
}

TEST(VeskItc, AMessageCarriesTheSenderNameAndACopyOfThePayload) {
  TVeskItc sender("From");
  TVeskItc receiver("To");
  Inbox inbox;
  inbox.Attach(receiver);
  sender.Connect();
  receiver.Connect();
  char buffer[] = "payload";
  sender.SendTo("TO", buffer, 7);
  buffer[0] = 'X';  // the block holds its own copy
  sender.SendTo("to", nullptr, 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return inbox.Count() == 2; }));
  const std::vector<Received> items = inbox.Items();
  EXPECT_EQ(items[0].sender, "From");
  EXPECT_EQ(items[0].data, "payload");
  EXPECT_EQ(items[0].size, 7u);
  EXPECT_TRUE(items[1].data_absent);  // size 0: no data address
  EXPECT_EQ(items[1].size, 0u);
}

TEST(VeskItc, ASendWithoutDataButWithASizeDeliversZeros) {
  TVeskItc endpoint("Zeros");
  std::vector<uint8_t> payload;
  bool absent = true;
  endpoint.OnMessage = [&](TVeskItc&, const std::string&, const void* data, uint32_t size) {
    absent = data == nullptr;
    if (data != nullptr)
      payload.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  };
  endpoint.Connect();
  // Leave a used block of the same size behind first, so a reused block would show its old bytes.
  const std::string filler(300, '\xFF');
  endpoint.SendToSelf(filler.data(), 300);
  PumpPendingMessages();
  endpoint.SendToSelf(nullptr, 300);
  PumpPendingMessages();
  ASSERT_FALSE(absent);
  ASSERT_EQ(payload.size(), 300u);
  for (size_t i = 0; i < payload.size(); ++i) ASSERT_EQ(payload[i], 0) << "byte " << i;
}

TEST(VeskItc, SendToSelfRunsTheHandlerOnlyAtTheNextDispatch) {
  TVeskItc endpoint("Self");
  Inbox inbox;
  inbox.Attach(endpoint);
  endpoint.Connect();
  endpoint.SendToSelf("one", 3);
  EXPECT_EQ(inbox.Count(), 0u);
  EXPECT_EQ(PumpPendingMessages(), 1);
  ASSERT_EQ(inbox.Count(), 1u);
  EXPECT_EQ(inbox.Items()[0].thread, platform::GetCurrentThreadId());
}

TEST(VeskItc, MessagesOfOneSenderArriveInOrderFromManyThreads) {
  TVeskItc receiver("Collector");
  Inbox inbox;
  inbox.Attach(receiver);
  receiver.Connect();
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([t] {
      TVeskItc sender("Sender" + std::to_string(t));
      sender.Connect();
      for (int i = 0; i < kEach; ++i) {
        const std::string text = std::to_string(i);
        sender.SendTo("Collector", text.data(), static_cast<uint32_t>(text.size()));
      }
      // Disconnecting on the owning thread: nothing is sent to this sender, so nothing is lost.
      sender.Disconnect();
    });
  ASSERT_TRUE(PumpMessagesUntil([&] { return inbox.Count() == kThreads * kEach; }));
  for (auto& sender : senders) sender.join();
  std::vector<int> next(kThreads, 0);
  for (const Received& item : inbox.Items()) {
    const int t = item.sender.back() - '0';
    EXPECT_EQ(item.data, std::to_string(next[t])) << item.sender;
    ++next[t];
  }
}

TEST(VeskItc, AHandlerThatRaisesReachesOnExceptionAndTheLoopGoesOn) {
  TVeskItc endpoint("Failing");
  std::vector<std::string> reports;
  int handled = 0;
  endpoint.OnMessage = [&](TVeskItc&, const std::string&, const void* data, uint32_t size) {
    ++handled;
    if (std::string(static_cast<const char*>(data), size) == "bad") throw eItcException("handler failed");
  };
  endpoint.OnException = [&](TVeskItc& sender, const Exception& e) {
    reports.push_back(std::string(e.ClassName()) + ": " + e.Message() + " from " + sender.Name());
  };
  endpoint.Connect();
  endpoint.SendToSelf("bad", 3);
  endpoint.SendToSelf("good", 4);
  EXPECT_EQ(PumpPendingMessages(), 2);
  EXPECT_EQ(handled, 2);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "eItcException: handler failed from Failing");

  // Whatever the exception handler raises goes nowhere.
  endpoint.OnException = [](TVeskItc&, const Exception&) { throw std::runtime_error("again"); };
  endpoint.SendToSelf("bad", 3);
  EXPECT_NO_THROW(PumpPendingMessages());
}

TEST(VeskItc, WithoutOnExceptionTheDefaultDisplayWritesALine) {
  TVeskItc endpoint("Unwatched");
  endpoint.OnMessage = [](TVeskItc&, const std::string&, const void*, uint32_t) {
    throw eItcException("nobody listens");
  };
  endpoint.Connect();
  endpoint.SendToSelf(nullptr, 0);
  ::testing::internal::CaptureStderr();
  PumpPendingMessages();
  const std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("Unhandled exception on thread"), std::string::npos) << shown;
  EXPECT_NE(shown.find("eItcException: nobody listens"), std::string::npos) << shown;
}

TEST(VeskItc, AnAnnouncingEndpointIsHeardByAllIncludingItself) {
  std::vector<std::string> heard;
  auto listen = [&](const std::string& who) {
    return [&heard, who](TVeskItc&, const std::string& name, TenItcEventType type) {
      heard.push_back(who + (type == ieConnect ? " +" : " -") + name);
    };
  };
  TVeskItc listener("Listener");
  listener.OnConnectEvent = listen("Listener");
  listener.Connect();
  TVeskItc herald("Herald");
  herald.OnConnectEvent = listen("Herald");
  herald.SetAnnounce(true);
  herald.Connect();
  PumpPendingMessages();
  EXPECT_EQ(heard, (std::vector<std::string>{"Herald +Herald", "Listener +Herald"}));  // directory order

  heard.clear();
  herald.Disconnect();  // its own notice is posted, then dropped with its window
  PumpPendingMessages();
  EXPECT_EQ(heard, (std::vector<std::string>{"Listener -Herald"}));
}

TEST(VeskItc, RenamingAConnectedEndpointMovesItsEntry) {
  TVeskItc endpoint("Before");
  TVeskItc other("Taken");
  endpoint.Connect();
  other.Connect();
  endpoint.SetName("After");
  EXPECT_EQ(FindItcEndpoint("Before"), nullptr);
  EXPECT_EQ(FindItcEndpoint("after"), &endpoint);
  endpoint.SetName("AFTER");  // only the letter case changes
  EXPECT_EQ(FindItcEndpoint("after"), &endpoint);
  ExpectItcFailure<eItcException>([&] { endpoint.SetName("TAKEN"); },
                                  "Vesk ITC Error: Could not register myself to the dictionary");
  EXPECT_EQ(endpoint.Name(), "AFTER");
  EXPECT_EQ(FindItcEndpoint("AFTER"), &endpoint);
  EXPECT_EQ(FindItcEndpoint("Taken"), &other);
}

TEST(VeskItc, RenamingAnUnconnectedEndpointLeavesAnotherEndpointsEntryAlone) {
  TVeskItc connected("Shared");
  connected.Connect();
  TVeskItc unconnected("SHARED");  // same name in another case, never connected
  unconnected.SetName("Elsewhere");
  EXPECT_EQ(FindItcEndpoint("Shared"), &connected);
  EXPECT_EQ(FindItcEndpoint("Elsewhere"), nullptr);
}

TEST(VeskItc, PostingToAnEndpointWhoseThreadHasEndedFailsWithInvalidHandle) {
  TVeskItc sender("Survivor");
  sender.Connect();
  auto orphan = std::make_unique<TVeskItc>("Orphan");
  std::thread([&] { orphan->Connect(); }).join();  // the thread ends and takes the window with it
  ExpectItcFailure<eItcInvalidHandle>(
      [&] { sender.SendTo("Orphan", "x", 1); },
      "Vesk ITC Error: PostMessage failed. WinErr: $578 (Invalid window handle.).");
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_WINDOW_HANDLE);
  orphan.reset();  // its disconnect finds the window gone and does not fail
  EXPECT_EQ(FindItcEndpoint("Orphan"), nullptr);
}

TEST(VeskItc, DisconnectFromAnotherThreadIsCarriedOutByTheOwner) {
  TVeskItc endpoint("Owned");
  endpoint.Connect();
  const platform::WindowHandle window = endpoint.Window();
  std::atomic<bool> done{false};
  std::thread other([&] {
    endpoint.Disconnect();
    done = true;
  });
  // The window can only go inside the owner's message retrieval.
  ASSERT_TRUE(PumpMessagesUntil([&] { return done.load(); }));
  other.join();
  EXPECT_FALSE(platform::IsWindow(window));
  EXPECT_FALSE(endpoint.Connected());
  EXPECT_EQ(FindItcEndpoint("Owned"), nullptr);
}

TEST(VeskItc, BlocksStillQueuedAtDisconnectAreReleasedUndelivered) {
  TVeskItc endpoint("Leaving");
  Inbox inbox;
  inbox.Attach(endpoint);
  endpoint.Connect();
  for (int i = 0; i < 3; ++i) endpoint.SendToSelf("pending", 7);
  endpoint.Disconnect();  // the leak checker of the sanitizer build sees any block left behind
  PumpPendingMessages();
  EXPECT_EQ(inbox.Count(), 0u);
}

TEST(VeskItc, ItcMessagesWithoutAnEndpointOrBlockCallNoHandler) {
  TVeskItc endpoint("Present");
  Inbox inbox;
  inbox.Attach(endpoint);
  endpoint.Connect();  // registers the window class
  const platform::WindowHandle bare = platform::CreateWindowEx(0, "VeskItcWindowClass", "", 0, 0, 0, 0, 0, 0,
                                                               0, platform::GetModuleInstance(), nullptr);
  ASSERT_NE(bare, 0u);
  void* block = ItcMessageBlock::Allocate("Present", "lost", 4);
  ASSERT_TRUE(
      platform::PostMessage(bare, ItcMessageId(), ieMessage, reinterpret_cast<platform::LParam>(block)));
  ASSERT_TRUE(platform::PostMessage(endpoint.Window(), ItcMessageId(), ieTerminate, 0));
  EXPECT_EQ(PumpPendingMessages(), 2);
  EXPECT_EQ(inbox.Count(), 0u);
  platform::DestroyWindow(bare);
}

TEST(VeskItc, AnUnknownEventTypeFailsAnAssertionInTheMessageLoop) {
  TVeskItc endpoint("Strict");
  endpoint.Connect();
  void* block = ItcMessageBlock::Allocate("Strict", nullptr, 0);
  platform::PostMessage(endpoint.Window(), ItcMessageId(), 9, reinterpret_cast<platform::LParam>(block));
  platform::Msg msg;
  ASSERT_TRUE(platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE));
  try {
    platform::DispatchMessage(&msg);
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "unhandled EventType: 9");
  }
}

TEST(VeskItc, OtherWindowMessagesReachOnWindowMessage) {
  std::vector<uint32_t> messages;  // outlives the endpoint, whose destruction still reports WM_DESTROY
  TVeskItc endpoint("Windowed");
  endpoint.OnWindowMessage = [&](TVeskItc&, const platform::Msg& message, bool& handled) {
    messages.push_back(message.message);
    handled = message.message == platform::WM_CLOSE;  // keep the window
  };
  endpoint.Connect();
  platform::PostMessage(endpoint.Window(), platform::WM_USER + 5, 0, 0);
  platform::PostMessage(endpoint.Window(), platform::WM_CLOSE, 0, 0);
  PumpPendingMessages();
  EXPECT_EQ(messages, (std::vector<uint32_t>{platform::WM_USER + 5, platform::WM_CLOSE}));
  EXPECT_TRUE(platform::IsWindow(endpoint.Window()));
  endpoint.Disconnect();
  EXPECT_EQ(messages.back(), platform::WM_NCDESTROY);
}

TEST(VeskItc, DestroyingAConnectedEndpointDisconnectsIt) {
  platform::WindowHandle window;
  {
    TVeskItc endpoint("Temporary");
    endpoint.Connect();
    window = endpoint.Window();
  }
  EXPECT_EQ(FindItcEndpoint("Temporary"), nullptr);
  EXPECT_FALSE(platform::IsWindow(window));
}

}  // namespace
}  // namespace qv
