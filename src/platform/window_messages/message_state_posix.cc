#include "platform/window_messages/message_state_posix.h"

#include <algorithm>
#include <new>

#include "platform/text/text_compare.h"
#include "platform/threads/thread.h"

namespace qv::platform::posix {

namespace {

// Set once the thread's queue holder is gone. Trivially destructible, so it stays readable to the very
// end of the thread (the main thread's static destructors run after its thread_local ones).
thread_local bool holder_destroyed = false;

// Holds the calling thread's queue; when the thread ends, its windows and queue go with it.
struct QueueHolder {
  QueueHolder() = default;
  QueueHolder(const QueueHolder&) = delete;
  QueueHolder& operator=(const QueueHolder&) = delete;
  ~QueueHolder() {
    if (queue) EndThreadMessaging();
    holder_destroyed = true;
  }
  std::shared_ptr<MessageQueue> queue;
};

thread_local QueueHolder holder;

// Closes a thread's queue and removes what is left of its windows.
void CloseQueue(uint32_t thread_id, const std::shared_ptr<MessageQueue>& queue) {
  std::vector<std::shared_ptr<SentMessage>> unanswered;
  {
    UserState& user = User();
    std::unique_lock<std::shared_mutex> lock(user.mutex);
    std::vector<std::shared_ptr<WindowRecord>> owned;
    for (const auto& entry : user.windows)
      if (entry.second->owner_thread == thread_id) owned.push_back(entry.second);
    for (const auto& window : owned) {
      auto failed = RemoveWindowLocked(window);
      unanswered.insert(unanswered.end(), failed.begin(), failed.end());
    }
    if (queue) {
      const auto found = user.queues.find(thread_id);
      if (found != user.queues.end() && found->second == queue) user.queues.erase(found);
      std::lock_guard<std::mutex> queue_lock(queue->mutex);
      queue->closed = true;
      unanswered.insert(unanswered.end(), queue->sent.begin(), queue->sent.end());
      queue->sent.clear();
      queue->posted.clear();
      queue->quit_posted = false;
    }
  }
  for (const auto& message : unanswered) Answer(*message, 0, true);
  if (queue) queue->changed.notify_all();
}

}  // namespace

bool IgnoreCaseLess::operator()(const std::string& a, const std::string& b) const {
  return CompareTextIgnoreCase(a, b) < 0;
}

UserState& User() {
  // Built in place and never destroyed: a thread that was given up may still post at process exit.
  alignas(UserState) static unsigned char storage[sizeof(UserState)];
  static UserState* const state = ::new (storage) UserState();
  return *state;
}

std::shared_ptr<MessageQueue> CurrentQueue() {
  if (holder_destroyed) {
    // Called while the thread is ending, after its queue went: a closed queue of its own.
    auto closed = std::make_shared<MessageQueue>(GetCurrentThreadId());
    closed->closed = true;
    return closed;
  }
  if (!holder.queue) {
    auto queue = std::make_shared<MessageQueue>(GetCurrentThreadId());
    UserState& user = User();
    std::unique_lock<std::shared_mutex> lock(user.mutex);
    user.queues[queue->thread_id] = queue;
    holder.queue = std::move(queue);
  }
  return holder.queue;
}

std::shared_ptr<WindowRecord> FindWindow(WindowHandle window) {
  UserState& user = User();
  std::shared_lock<std::shared_mutex> lock(user.mutex);
  const auto found = user.windows.find(window);
  if (found == user.windows.end()) return nullptr;
  return found->second;
}

void Answer(SentMessage& message, LResult result, bool failed) {
  {
    std::lock_guard<std::mutex> lock(message.sender->mutex);
    if (message.answered) return;
    message.answered = true;
    message.result = result;
    message.failed = failed;
  }
  message.sender->changed.notify_all();
}

std::vector<std::shared_ptr<SentMessage>> RemoveWindowLocked(const std::shared_ptr<WindowRecord>& window) {
  std::vector<std::shared_ptr<SentMessage>> unanswered;
  UserState& user = User();
  if (user.windows.erase(window->handle) == 0) return unanswered;
  --window->window_class->window_count;
  MessageQueue& queue = *window->queue;
  std::lock_guard<std::mutex> lock(queue.mutex);
  const WindowHandle handle = window->handle;
  std::erase_if(queue.posted, [handle](const Msg& msg) { return msg.hwnd == handle; });
  for (auto it = queue.sent.begin(); it != queue.sent.end();) {
    if ((*it)->msg.hwnd == handle) {
      unanswered.push_back(*it);
      it = queue.sent.erase(it);
    } else {
      ++it;
    }
  }
  return unanswered;
}

void EndThreadMessaging() {
  if (holder_destroyed) return;
  const std::shared_ptr<MessageQueue> queue = holder.queue;
  if (!queue) return;
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (queue->closed) return;
  }
  // The window procedures may still post, send or even create windows while they are destroyed; a
  // few rounds settle that, and whatever is left is removed without messages.
  for (int round = 0; round < 4; ++round) {
    std::vector<WindowHandle> owned;
    {
      UserState& user = User();
      std::shared_lock<std::shared_mutex> lock(user.mutex);
      for (const auto& entry : user.windows)
        if (entry.second->owner_thread == queue->thread_id) owned.push_back(entry.first);
    }
    if (owned.empty()) break;
    for (const WindowHandle window : owned) {
      try {
        DestroyWindow(window);
      } catch (...) {
        // A failing window procedure must not stop the thread's end.
      }
    }
  }
  CloseQueue(queue->thread_id, queue);
}

void ForgetThreadQueue() {
  if (holder_destroyed) return;
  if (holder.queue) EndThreadMessaging();  // a queue still open is closed, as the holder would close it
  holder.queue.reset();
}

void AbandonThreadMessaging(uint32_t thread_id) {
  std::shared_ptr<MessageQueue> queue;
  {
    UserState& user = User();
    std::shared_lock<std::shared_mutex> lock(user.mutex);
    const auto found = user.queues.find(thread_id);
    if (found != user.queues.end()) queue = found->second;
  }
  CloseQueue(thread_id, queue);
}

}  // namespace qv::platform::posix
