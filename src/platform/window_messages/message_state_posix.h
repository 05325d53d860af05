// The process-wide state behind the window-message functions on POSIX: the message queue of each
// thread, the windows and window classes, and the bookkeeping of messages sent between threads.
// Internal to the POSIX platform layer.
//
// Locking: UserState::mutex (shared for lookups and posting, exclusive for changes of the tables) is
// taken before a queue's mutex; no code holds two queue mutexes at once, and no lock is held while a
// window procedure runs. A post looks the window up and queues under the shared lock, so a window
// being destroyed either gets the message before it goes (and drops it with its queue entries) or is
// gone already (ERROR_INVALID_WINDOW_HANDLE). Window handles count up and are never reused, so a
// handle kept after its window went never reaches another window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/window_messages/window_messages.h"

namespace qv::platform::posix {

struct MessageQueue;

// A message sent from one thread to a window of another, waiting for its answer.
struct SentMessage {
  Msg msg;
  std::shared_ptr<MessageQueue> sender;  // the waiting thread's queue; its mutex guards the answer
  bool answered = false;
  bool failed = false;  // the window was gone before it handled the message
  LResult result = 0;
};

struct MessageQueue {
  explicit MessageQueue(uint32_t id) : thread_id(id) {}
  const uint32_t thread_id;
  std::mutex mutex;
  std::condition_variable changed;  // a message arrived, a sent message was answered, or it closed
  std::deque<Msg> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;  // sent by other threads, not yet handled
  bool quit_posted = false;
  int quit_code = 0;
  bool closed = false;  // its thread has ended or was abandoned
};

struct WindowClassRecord {
  WndClass record;
  uint16_t atom = 0;
  int window_count = 0;
};

struct WindowRecord {
  WindowHandle handle = 0;
  uint32_t owner_thread = 0;
  std::shared_ptr<MessageQueue> queue;
  std::shared_ptr<WindowClassRecord> window_class;
  WindowProc proc = nullptr;
  std::atomic<intptr_t> user_data{0};
  bool destroying = false;  // touched only by the owning thread
};

// Orders names as the system compares them: ignoring letter case.
struct IgnoreCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct UserState {
  std::shared_mutex mutex;  // guards the tables below
  std::unordered_map<WindowHandle, std::shared_ptr<WindowRecord>> windows;
  std::vector<std::shared_ptr<WindowClassRecord>> classes;
  std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>> queues;  // by thread id
  WindowHandle next_window = 0x10010;
  uint16_t next_atom = 0xC000;

  std::mutex registered_mutex;  // guards the registered message ids
  std::map<std::string, uint32_t, IgnoreCaseLess> registered;
  uint32_t next_message = 0xC000;
};

// The state lives until the process has ended (a thread given up may still use it at exit).
UserState& User();

// The calling thread's queue, created on first use. A queue that was closed stays closed.
std::shared_ptr<MessageQueue> CurrentQueue();

// A live window, or nothing.
std::shared_ptr<WindowRecord> FindWindow(WindowHandle window);

// Answers a sent message once; later answers are ignored.
void Answer(SentMessage& message, LResult result, bool failed);

// Removes a window from the tables and drops what is queued for it (with the state's lock taken
// exclusively by the caller); sent messages still waiting for it are returned to be failed.
std::vector<std::shared_ptr<SentMessage>> RemoveWindowLocked(const std::shared_ptr<WindowRecord>& window);

// The calling thread ends: its windows are destroyed (they receive WM_DESTROY and WM_NCDESTROY) and its
// queue is closed; messages sent to it and not yet handled are answered with a failure.
void EndThreadMessaging();
// The calling thread's system thread goes on to run another thread object: the queue of the one that
// ended is closed (when EndThreadMessaging has not closed it yet) and let go, so that the next one gets
// a queue of its own.
void ForgetThreadQueue();
// ... and the time and position of the last retrieved message start afresh (message_queue_posix.cc).
void ForgetLastMessage();
// A thread is given up (Thread::Abandon), from another thread: its windows are removed without
// messages and its queue is closed, which wakes a message retrieval that waits on it.
void AbandonThreadMessaging(uint32_t thread_id);

}  // namespace qv::platform::posix
