#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/heap.h"
#include "platform/text/text_compare.h"
#include "platform/threads/sync.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "testing/platform_checks.h"

namespace qv::platform {
namespace {

using std::chrono::milliseconds;

// What the test window procedure saw: each message with the thread it ran on.
struct Seen {
  WindowHandle window;
  uint32_t message;
  WParam wparam;
  LParam lparam;
  uint32_t thread;
};

std::mutex seen_mutex;
std::vector<Seen> seen;
// Optional behaviour of the test procedure for one message id; runs on the window's thread.
std::function<LResult(WindowHandle, uint32_t, WParam, LParam)> special;
uint32_t special_message = 0;

LResult TestWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  {
    std::lock_guard<std::mutex> lock(seen_mutex);
    seen.push_back({window, message, wparam, lparam, GetCurrentThreadId()});
  }
  if (special && message == special_message) return special(window, message, wparam, lparam);
  if (message == WM_USER + 100) return static_cast<LResult>(wparam * 2);
  return DefWindowProc(window, message, wparam, lparam);
}

std::vector<uint32_t> SeenMessages(WindowHandle window) {
  std::lock_guard<std::mutex> lock(seen_mutex);
  std::vector<uint32_t> messages;
  for (const Seen& s : seen)
    if (s.window == window) messages.push_back(s.message);
  return messages;
}

class WindowMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(seen_mutex);
      seen.clear();
    }
    special = nullptr;
    special_message = 0;
    class_name_ = std::string("TestClass_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    WndClass window_class;
    window_class.window_proc = TestWindowProc;
    window_class.instance = GetModuleInstance();
    window_class.class_name = class_name_;
    ASSERT_NE(RegisterClass(window_class), 0);
  }

  WindowHandle NewWindow() {
    return CreateWindowEx(0, class_name_, "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
  }

  // Dispatches what is queued for the calling thread.
  static void DispatchAll() {
    Msg msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
  }

  std::string class_name_;
};

// Runs a message loop on a thread of its own until it retrieves WM_QUIT; the owned window is created
// on that thread first.
class LoopThread {
 public:
  explicit LoopThread(const std::string& class_name, Event* before_loop = nullptr)
      : thread_([this, class_name, before_loop] {
          window_ = CreateWindowEx(0, class_name, "", 0, 0, 0, 0, 0, 0, 0, GetModuleInstance(), nullptr);
          thread_id_ = GetCurrentThreadId();
          created_.Set();
          if (before_loop != nullptr) WaitForSingleObject(*before_loop, 10000);
          Msg msg;
          while (GetMessage(&msg, 0, 0, 0) > 0) DispatchMessage(&msg);
        }) {
    WaitForSingleObject(created_, 10000);
  }
  ~LoopThread() {
    if (thread_.joinable()) Stop();
  }
  void Stop() {
    PostThreadMessage(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  WindowHandle window() const { return window_; }
  uint32_t thread_id() const { return thread_id_; }

 private:
  Event created_{true, false};
  WindowHandle window_ = 0;
  uint32_t thread_id_ = 0;
  std::thread thread_;
};

TEST(RegisteredMessages, TheSameTextGivesTheSameIdInAnyCaseOnAnyThread) {
  const uint32_t id = RegisterWindowMessage("QvTestMessage");
  EXPECT_GE(id, 0xC000u);
  EXPECT_LE(id, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessage("QvTestMessage"), id);
  EXPECT_EQ(RegisterWindowMessage("QVTESTMESSAGE"), id);
  uint32_t other_thread_id = 0;
  std::thread([&] { other_thread_id = RegisterWindowMessage("qvtestmessage"); }).join();
  EXPECT_EQ(other_thread_id, id);
  EXPECT_NE(RegisterWindowMessage("QvOtherMessage"), id);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(WindowMessages, ClassesAreLookedUpIgnoringCaseAndKeptWhileTheyHaveWindows) {
  WndClass duplicate;
  duplicate.window_proc = TestWindowProc;
  duplicate.instance = GetModuleInstance();
  duplicate.class_name = "testclass_" + class_name_.substr(10);
  EXPECT_EQ(RegisterClass(duplicate), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

  WndClass found;
  ASSERT_TRUE(GetClassInfo(GetModuleInstance(), duplicate.class_name, &found));
  EXPECT_EQ(found.window_proc, &TestWindowProc);
  EXPECT_EQ(found.class_name, class_name_);
  EXPECT_FALSE(GetClassInfo(GetModuleInstance() + 1, class_name_, &found));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);

  const WindowHandle window = NewWindow();
  ASSERT_NE(window, 0u);
  EXPECT_FALSE(UnregisterClass(class_name_, GetModuleInstance()));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_TRUE(UnregisterClass(class_name_, GetModuleInstance()));
  EXPECT_FALSE(UnregisterClass(class_name_, GetModuleInstance()));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
  EXPECT_EQ(NewWindow(), 0u);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowMessages, AWindowLivesFromCreationToDestructionWithItsUserData) {
  const WindowHandle window = NewWindow();
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(GetWindowThreadProcessId(window), GetCurrentThreadId());
  EXPECT_EQ((SeenMessages(window)), (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE}));

  EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 0);
  EXPECT_EQ(SetWindowLongPtr(window, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(SetWindowLongPtr(window, GWLP_USERDATA, 5678), 1234);
  intptr_t from_other_thread = 0;
  std::thread([&] { from_other_thread = GetWindowLongPtr(window, GWLP_USERDATA); }).join();
  EXPECT_EQ(from_other_thread, 5678);
  EXPECT_EQ(GetWindowLongPtr(window, -4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);

  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ((SeenMessages(window)),
            (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(GetWindowLongPtr(window, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowMessages, PostedMessagesArriveInOrderWithTheirTime) {
  const WindowHandle window = NewWindow();
  const uint32_t before = GetTickCount();
  for (WParam i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessage(window, WM_USER + 1, i, -static_cast<LParam>(i)));
  ASSERT_TRUE(PostMessage(0, WM_USER + 2, 7, 0));  // a thread message
  for (WParam i = 1; i <= 3; ++i) {
    Msg msg;
    ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 1);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.wparam, i);
    EXPECT_EQ(msg.lparam, -static_cast<LParam>(i));
    EXPECT_GE(msg.time - before, 0u);
    EXPECT_LT(msg.time - before, 60000u);
    EXPECT_EQ(static_cast<uint32_t>(GetMessageTime()), msg.time);
    EXPECT_EQ(GetMessagePos(), 0u);
    DispatchMessage(&msg);
  }
  Msg thread_message;
  ASSERT_EQ(GetMessage(&thread_message, 0, 0, 0), 1);
  EXPECT_EQ(thread_message.hwnd, 0u);
  EXPECT_EQ(thread_message.wparam, 7u);
  EXPECT_EQ(DispatchMessage(&thread_message), 0);
  EXPECT_EQ(SeenMessages(window).size(), 5u);  // creation messages and the three posts
  DestroyWindow(window);
}

TEST_F(WindowMessages, PeekMessageFiltersByWindowAndRangeAndCanLeaveTheMessage) {
  const WindowHandle first = NewWindow();
  const WindowHandle second = NewWindow();
  PostMessage(first, WM_USER + 1, 1, 0);
  PostMessage(second, WM_USER + 5, 2, 0);
  PostMessage(0, WM_USER + 9, 3, 0);

  Msg msg;
  EXPECT_FALSE(PeekMessage(&msg, 0, WM_USER + 2, WM_USER + 4, PM_REMOVE));
  ASSERT_TRUE(PeekMessage(&msg, second, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wparam, 2u);
  ASSERT_TRUE(PeekMessage(&msg, 0, WM_USER + 5, WM_USER + 5, PM_REMOVE));  // still there
  EXPECT_EQ(msg.wparam, 2u);
  EXPECT_FALSE(PeekMessage(&msg, second, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessage(&msg, kThreadMessagesOnly, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wparam, 3u);
  ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, first);
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));

  // A filter window of another thread (or none at all) is refused.
  EXPECT_FALSE(PeekMessage(&msg, 0x7FFFFFF1, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(GetMessage(&msg, 0x7FFFFFF1, 0, 0), -1);
  DestroyWindow(first);
  DestroyWindow(second);
}

TEST_F(WindowMessages, TheQuitMessageComesAfterThePostedMessages) {
  const WindowHandle window = NewWindow();
  PostMessage(window, WM_USER + 1, 0, 0);
  PostQuitMessage(17);
  PostMessage(window, WM_USER + 2, 0, 0);
  Msg msg;
  ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_USER + 1);
  ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_USER + 2);
  ASSERT_EQ(GetMessage(&msg, 0, 0, 0), 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wparam, 17u);
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));  // taken once
  DestroyWindow(window);
}

TEST_F(WindowMessages, PostingToADestroyedWindowFailsAndWhatWasQueuedIsNeverDispatched) {
  const WindowHandle window = NewWindow();
  ASSERT_TRUE(PostMessage(window, WM_USER + 1, 0, 0));
  ASSERT_TRUE(DestroyWindow(window));
  SetLastError(0);
  EXPECT_FALSE(PostMessage(window, WM_USER + 1, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  Msg msg;
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  for (const uint32_t message : SeenMessages(window)) EXPECT_NE(message, WM_USER + 1);
  EXPECT_EQ(SendMessage(window, WM_USER + 100, 1, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowMessages, OnlyTheOwningThreadDestroysOrDispatchesToAWindow) {
  LoopThread owner(class_name_);
  bool destroyed = true;
  std::thread([&] { destroyed = DestroyWindow(owner.window()); }).join();
  EXPECT_FALSE(destroyed);
  EXPECT_FALSE(DestroyWindow(owner.window()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  Msg msg;
  msg.hwnd = owner.window();
  msg.message = WM_USER + 100;
  EXPECT_EQ(DispatchMessage(&msg), 0);
  EXPECT_EQ(GetLastError(), ERROR_WINDOW_OF_OTHER_THREAD);
  EXPECT_TRUE(IsWindow(owner.window()));
}

TEST_F(WindowMessages, SendMessageToAWindowOfThisThreadCallsItsProcedureAtOnce) {
  const WindowHandle window = NewWindow();
  EXPECT_EQ(SendMessage(window, WM_USER + 100, 21, 0), 42);
  EXPECT_FALSE(InSendMessage());
  EXPECT_FALSE(ReplyMessage(1));
  DestroyWindow(window);
}

TEST_F(WindowMessages, CrossThreadSendWaitsUntilTheOwnerRetrievesMessages) {
  Event enter_loop(true, false);
  LoopThread owner(class_name_, &enter_loop);
  std::atomic<bool> answered{false};
  LResult answer = 0;
  std::thread sender([&] {
    answer = SendMessage(owner.window(), WM_USER + 100, 50, 0);
    answered = true;
  });
  // The owner is not retrieving messages yet, so the sender waits.
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(answered);
  enter_loop.Set();
  sender.join();
  EXPECT_EQ(answer, 100);
  std::lock_guard<std::mutex> lock(seen_mutex);
  bool handled_on_owner = false;
  for (const Seen& s : seen)
    if (s.message == WM_USER + 100) handled_on_owner = s.thread == owner.thread_id();
  EXPECT_TRUE(handled_on_owner);
}

TEST_F(WindowMessages, ReplyMessageLetsTheSenderGoOnWhileTheProcedureRuns) {
  LoopThread owner(class_name_);
  Event finish(true, false);
  std::atomic<bool> was_in_send{false};
  special_message = WM_USER + 200;
  special = [&](WindowHandle, uint32_t, WParam, LParam) -> LResult {
    was_in_send = InSendMessage();
    ReplyMessage(7);
    WaitForSingleObject(finish, 10000);
    return 9;
  };
  EXPECT_EQ(SendMessage(owner.window(), WM_USER + 200, 0, 0), 7);
  EXPECT_TRUE(was_in_send);
  finish.Set();
  owner.Stop();
  special = nullptr;
}

TEST_F(WindowMessages, AWaitingSenderHandlesWhatIsSentToItsOwnWindows) {
  // The owner's procedure sends back to a window of the first sender while that sender waits.
  const WindowHandle mine = NewWindow();
  LoopThread owner(class_name_);
  special_message = WM_USER + 300;
  special = [mine](WindowHandle, uint32_t, WParam wparam, LParam) -> LResult {
    return SendMessage(mine, WM_USER + 100, wparam, 0) + 1;
  };
  EXPECT_EQ(SendMessage(owner.window(), WM_USER + 300, 10, 0), 21);
  owner.Stop();
  special = nullptr;
  std::lock_guard<std::mutex> lock(seen_mutex);
  bool handled_here = false;
  for (const Seen& s : seen)
    if (s.window == mine && s.message == WM_USER + 100) handled_here = s.thread == GetCurrentThreadId();
  EXPECT_TRUE(handled_here);
}

TEST_F(WindowMessages, AThreadsWindowsGoWhenItEnds) {
  WindowHandle window = 0;
  std::thread([&] { window = NewWindow(); }).join();
  ASSERT_NE(window, 0u);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  const std::vector<uint32_t> messages = SeenMessages(window);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[2], WM_DESTROY);
  EXPECT_EQ(messages[3], WM_NCDESTROY);
}

TEST_F(WindowMessages, ASenderWaitingForAThreadThatEndsGetsAFailure) {
  Event window_made(true, false);
  Event end_now(true, false);
  std::atomic<WindowHandle> window{0};
  std::thread owner([&] {
    window = NewWindow();
    window_made.Set();
    WaitForSingleObject(end_now, 10000);  // ends without ever retrieving messages
  });
  WaitForSingleObject(window_made, 10000);
  std::thread ender([&] {
    std::this_thread::sleep_for(milliseconds(50));
    end_now.Set();
  });
  SetLastError(0);
  EXPECT_EQ(SendMessage(window, WM_USER + 100, 5, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  owner.join();
  ender.join();
}

// Uses the message functions from its destructor, at the very end of its thread.
struct LateUser {
  ~LateUser() {
    if (answer == nullptr) return;
    *answer = SendMessage(window, WM_USER + 100, 1, 0);
    *posted_to_self = PostMessage(0, WM_USER, 0, 0);
    Msg msg;
    *peeked = PeekMessage(&msg, 0, 0, 0, PM_REMOVE);
  }
  WindowHandle window = 0;
  std::atomic<LResult>* answer = nullptr;
  std::atomic<bool>* posted_to_self = nullptr;
  std::atomic<bool>* peeked = nullptr;
};

TEST_F(WindowMessages, MessageCallsAfterAThreadsQueueHasGoneAreHarmless) {
  // On Windows the queue is the system's, and MinGW runs the destructors of a thread's thread_local
  // objects after it has freed their storage: LateUser cannot be used there.
  if (qv::testing::SkipOnWindows("message calls from thread_local destructors (unsafe with MinGW)"))
    GTEST_SKIP() << "on Windows";
  std::atomic<LResult> answer{-1};
  std::atomic<bool> posted_to_self{false};
  std::atomic<bool> peeked{true};
  std::thread([&] {
    // Made before the thread's queue exists, so destroyed after it.
    static thread_local LateUser late;
    late.answer = &answer;
    late.posted_to_self = &posted_to_self;
    late.peeked = &peeked;
    late.window = NewWindow();
  }).join();
  EXPECT_EQ(answer, 0);  // the window went with its thread
  EXPECT_TRUE(posted_to_self);
  EXPECT_FALSE(peeked);  // nothing is retrieved from a queue that has gone
}

TEST(ProcessHeap, AllocatesZeroedBlocksOnRequest) {
  const HeapHandle heap = GetProcessHeap();
  auto* dirty = static_cast<uint8_t*>(HeapAlloc(heap, 0, 256));
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0xAB, 256);
  ASSERT_TRUE(HeapFree(heap, 0, dirty));
  auto* zeroed = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 256));
  ASSERT_NE(zeroed, nullptr);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(zeroed[i], 0) << i;
  EXPECT_TRUE(HeapFree(heap, 0, zeroed));
  void* empty = HeapAlloc(heap, 0, 0);
  EXPECT_NE(empty, nullptr);
  EXPECT_TRUE(HeapFree(heap, 0, empty));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  EXPECT_EQ(HeapAlloc(heap + 1, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(TextCompare, IgnoresTheCaseOfTheCodePagesLetters) {
  EXPECT_EQ(CompareTextIgnoreCase("Writer", "wRITER"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("\xC9t\xE9", "\xE9T\xC9"), 0);  // Été / éTÉ
  EXPECT_EQ(CompareTextIgnoreCase("\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"), 0);
  EXPECT_NE(CompareTextIgnoreCase("\xD7", "\xF7"), 0);  // multiplication and division signs are no letters
  EXPECT_LT(CompareTextIgnoreCase("abc", "ABD"), 0);
  EXPECT_GT(CompareTextIgnoreCase("b", "A"), 0);
  EXPECT_LT(CompareTextIgnoreCase("ab", "ABC"), 0);
  EXPECT_GT(CompareTextIgnoreCase("abc", "AB"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("", ""), 0);
}

}  // namespace
}  // namespace qv::platform
