// Posting, sending, retrieving and dispatching window messages.
#include <mutex>
#include <shared_mutex>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/message_state_posix.h"
#include "platform/window_messages/window_messages.h"

namespace qv::platform {

using posix::MessageQueue;
using posix::SentMessage;
using posix::User;
using posix::UserState;
using posix::WindowRecord;

namespace {

// The message the calling thread last retrieved (for GetMessageTime and GetMessagePos).
thread_local uint32_t last_message_time = 0;
thread_local Point last_message_position;

// The message sent from another thread that the calling thread is handling now, innermost first.
struct SentFrame {
  std::shared_ptr<SentMessage> message;
  SentFrame* outer;
};
thread_local SentFrame* current_sent = nullptr;

class SentFrameScope {
 public:
  explicit SentFrameScope(std::shared_ptr<SentMessage> message) : frame_{std::move(message), current_sent} {
    current_sent = &frame_;
  }
  SentFrameScope(const SentFrameScope&) = delete;
  SentFrameScope& operator=(const SentFrameScope&) = delete;
  ~SentFrameScope() { current_sent = frame_.outer; }

 private:
  SentFrame frame_;
};

Msg NewMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  Msg msg;
  msg.hwnd = window;
  msg.message = message;
  msg.wparam = wparam;
  msg.lparam = lparam;
  msg.time = GetTickCount();
  return msg;
}

void Enqueue(MessageQueue& queue, const Msg& msg) {
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.posted.push_back(msg);
  }
  queue.changed.notify_all();
}

// Runs a message that another thread sent to one of the calling thread's windows, and answers it.
// A window procedure that fails still answers the sender (with 0); the failure goes on to the caller.
void HandleSentMessage(const std::shared_ptr<SentMessage>& message) {
  SentFrameScope scope(message);
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(message->msg.hwnd);
  if (!window || window->owner_thread != GetCurrentThreadId()) {
    posix::Answer(*message, 0, true);
    return;
  }
  LResult result = 0;
  try {
    result = window->proc(message->msg.hwnd, message->msg.message, message->msg.wparam, message->msg.lparam);
  } catch (...) {
    posix::Answer(*message, 0, false);
    throw;
  }
  posix::Answer(*message, result, false);
}

bool Matches(const Msg& msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max) {
  if (window == kThreadMessagesOnly) {
    if (msg.hwnd != 0) return false;
  } else if (window != 0 && msg.hwnd != window) {
    return false;
  }
  if (filter_min == 0 && filter_max == 0) return true;
  return msg.message >= filter_min && msg.message <= filter_max;
}

bool QuitInRange(uint32_t filter_min, uint32_t filter_max) {
  return (filter_min == 0 && filter_max == 0) || (WM_QUIT >= filter_min && WM_QUIT <= filter_max);
}

enum class Retrieved { kMessage, kQuit, kNothing, kFailed };

// The common part of GetMessage and PeekMessage.
Retrieved Retrieve(Msg* out, WindowHandle window, uint32_t filter_min, uint32_t filter_max, bool wait,
                   bool remove) {
  const std::shared_ptr<MessageQueue> queue = posix::CurrentQueue();
  if (window != 0 && window != kThreadMessagesOnly) {
    const std::shared_ptr<WindowRecord> record = posix::FindWindow(window);
    if (!record || record->owner_thread != queue->thread_id) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return Retrieved::kFailed;
    }
  }
  std::unique_lock<std::mutex> lock(queue->mutex);
  for (;;) {
    while (!queue->sent.empty()) {
      const std::shared_ptr<SentMessage> message = queue->sent.front();
      queue->sent.pop_front();
      lock.unlock();
      HandleSentMessage(message);
      lock.lock();
    }
    if (queue->closed) {
      if (!wait) return Retrieved::kNothing;
      *out = Msg();
      out->message = WM_QUIT;
      return Retrieved::kQuit;
    }
    for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
      if (!Matches(*it, window, filter_min, filter_max)) continue;
      *out = *it;
      if (remove) queue->posted.erase(it);
      last_message_time = out->time;
      last_message_position = out->pt;
      return out->message == WM_QUIT ? Retrieved::kQuit : Retrieved::kMessage;
    }
    if (queue->quit_posted && QuitInRange(filter_min, filter_max)) {
      *out = Msg();
      out->message = WM_QUIT;
      out->wparam = static_cast<WParam>(queue->quit_code);
      out->time = GetTickCount();
      if (remove) queue->quit_posted = false;
      last_message_time = out->time;
      last_message_position = out->pt;
      return Retrieved::kQuit;
    }
    if (!wait) return Retrieved::kNothing;
    queue->changed.wait(lock);
  }
}

}  // namespace

bool PostMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (window == 0) {
    Enqueue(*posix::CurrentQueue(), NewMessage(0, message, wparam, lparam));
    return true;
  }
  UserState& user = User();
  // The window is looked up and the message queued under the shared lock, so a window that is being
  // destroyed either gets the message before it goes (which then drops it) or is already gone.
  std::shared_lock<std::shared_mutex> lock(user.mutex);
  const auto found = user.windows.find(window);
  if (found == user.windows.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  Enqueue(*found->second->queue, NewMessage(window, message, wparam, lparam));
  return true;
}

bool PostThreadMessage(uint32_t thread_id, uint32_t message, WParam wparam, LParam lparam) {
  UserState& user = User();
  std::shared_lock<std::shared_mutex> lock(user.mutex);
  const auto found = user.queues.find(thread_id);
  if (found == user.queues.end()) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return false;
  }
  Enqueue(*found->second, NewMessage(0, message, wparam, lparam));
  return true;
}

LResult SendMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  const std::shared_ptr<MessageQueue> own_queue = posix::CurrentQueue();
  std::shared_ptr<WindowRecord> target;
  std::shared_ptr<SentMessage> sent;
  {
    UserState& user = User();
    std::shared_lock<std::shared_mutex> lock(user.mutex);
    const auto found = user.windows.find(window);
    if (found == user.windows.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    target = found->second;
    if (target->owner_thread != own_queue->thread_id) {
      sent = std::make_shared<SentMessage>();
      sent->msg = NewMessage(window, message, wparam, lparam);
      sent->sender = own_queue;
      {
        std::lock_guard<std::mutex> queue_lock(target->queue->mutex);
        target->queue->sent.push_back(sent);
      }
      target->queue->changed.notify_all();
    }
  }
  if (!sent) return target->proc(window, message, wparam, lparam);

  // Wait for the answer, handling what other threads send to this thread meanwhile.
  std::unique_lock<std::mutex> lock(own_queue->mutex);
  for (;;) {
    if (sent->answered) {
      if (sent->failed) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return sent->result;
    }
    if (!own_queue->sent.empty()) {
      const std::shared_ptr<SentMessage> incoming = own_queue->sent.front();
      own_queue->sent.pop_front();
      lock.unlock();
      HandleSentMessage(incoming);
      lock.lock();
      continue;
    }
    if (CurrentThreadAbandoned()) {  // its owner gave this thread up: nobody will wake it any more
      SetLastError(ERROR_INVALID_THREAD_ID);
      return 0;
    }
    own_queue->changed.wait(lock);
  }
}

bool ReplyMessage(LResult result) {
  if (current_sent == nullptr) return false;
  posix::Answer(*current_sent->message, result, false);
  return true;
}

bool InSendMessage() {
  return current_sent != nullptr;
}

int GetMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max) {
  switch (Retrieve(msg, window, filter_min, filter_max, true, true)) {
    case Retrieved::kMessage:
      return 1;
    case Retrieved::kQuit:
      return 0;
    default:
      return -1;
  }
}

bool PeekMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max, uint32_t remove) {
  const Retrieved result = Retrieve(msg, window, filter_min, filter_max, false, (remove & PM_REMOVE) != 0);
  return result == Retrieved::kMessage || result == Retrieved::kQuit;
}

bool TranslateMessage(const Msg* msg) {
  return false;
}

LResult DispatchMessage(const Msg* msg) {
  if (msg->hwnd == 0) return 0;
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(msg->hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window->owner_thread != GetCurrentThreadId()) {
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  return window->proc(msg->hwnd, msg->message, msg->wparam, msg->lparam);
}

void PostQuitMessage(int exit_code) {
  const std::shared_ptr<MessageQueue> queue = posix::CurrentQueue();
  std::lock_guard<std::mutex> lock(queue->mutex);
  queue->quit_posted = true;
  queue->quit_code = exit_code;
}

int32_t GetMessageTime() {
  return static_cast<int32_t>(last_message_time);
}

uint32_t GetMessagePos() {
  return (static_cast<uint32_t>(static_cast<uint16_t>(last_message_position.y)) << 16) |
         static_cast<uint16_t>(last_message_position.x);
}

namespace posix {

void ForgetLastMessage() {
  last_message_time = 0;
  last_message_position = Point{};
  current_sent = nullptr;
}

}  // namespace posix

}  // namespace qv::platform
