// Window classes, windows, their user-data slot and the default window procedure.
#include <mutex>
#include <shared_mutex>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/text/text_compare.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/message_state_posix.h"
#include "platform/window_messages/window_messages.h"

namespace qv::platform {

using posix::User;
using posix::UserState;
using posix::WindowClassRecord;
using posix::WindowRecord;

namespace {

constexpr ModuleInstance kProgramInstance = 0x00400000;

// The class of that name of a module, with the state's lock held.
std::shared_ptr<WindowClassRecord> FindClassLocked(ModuleInstance instance, const std::string& name) {
  for (const auto& window_class : User().classes)
    if (window_class->record.instance == instance &&
        CompareTextIgnoreCase(window_class->record.class_name, name) == 0)
      return window_class;
  return nullptr;
}

// Removes a window (already off the screen of its procedure) and fails what was sent to it.
void RemoveWindow(const std::shared_ptr<WindowRecord>& window) {
  std::vector<std::shared_ptr<posix::SentMessage>> unanswered;
  {
    UserState& user = User();
    std::unique_lock<std::shared_mutex> lock(user.mutex);
    unanswered = posix::RemoveWindowLocked(window);
  }
  for (const auto& message : unanswered) posix::Answer(*message, 0, true);
}

// Removes a window when a window procedure fails during creation or destruction.
class RemoveOnFailure {
 public:
  explicit RemoveOnFailure(std::shared_ptr<WindowRecord> window) : window_(std::move(window)) {}
  RemoveOnFailure(const RemoveOnFailure&) = delete;
  RemoveOnFailure& operator=(const RemoveOnFailure&) = delete;
  ~RemoveOnFailure() {
    if (window_) RemoveWindow(window_);
  }
  void Dismiss() { window_.reset(); }

 private:
  std::shared_ptr<WindowRecord> window_;
};

}  // namespace

ModuleInstance GetModuleInstance() {
  return kProgramInstance;
}

uint32_t RegisterWindowMessage(const std::string& name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UserState& user = User();
  std::lock_guard<std::mutex> lock(user.registered_mutex);
  const auto found = user.registered.find(name);
  if (found != user.registered.end()) return found->second;
  if (user.next_message > 0xFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const uint32_t id = user.next_message++;
  user.registered.emplace(name, id);
  return id;
}

uint16_t RegisterClass(const WndClass& window_class) {
  if (window_class.window_proc == nullptr || window_class.class_name.empty() || window_class.instance == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (window_class.class_extra != 0 || window_class.window_extra != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  UserState& user = User();
  std::unique_lock<std::shared_mutex> lock(user.mutex);
  if (FindClassLocked(window_class.instance, window_class.class_name)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto record = std::make_shared<WindowClassRecord>();
  record->record = window_class;
  record->atom = user.next_atom++;
  user.classes.push_back(record);
  return record->atom;
}

bool GetClassInfo(ModuleInstance instance, const std::string& class_name, WndClass* window_class) {
  UserState& user = User();
  std::shared_lock<std::shared_mutex> lock(user.mutex);
  const auto found = FindClassLocked(instance, class_name);
  if (!found) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return false;
  }
  *window_class = found->record;
  return true;
}

bool UnregisterClass(const std::string& class_name, ModuleInstance instance) {
  UserState& user = User();
  std::unique_lock<std::shared_mutex> lock(user.mutex);
  const auto found = FindClassLocked(instance, class_name);
  if (!found) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return false;
  }
  if (found->window_count > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return false;
  }
  std::erase(user.classes, found);
  return true;
}

WindowHandle CreateWindowEx(uint32_t ex_style, const std::string& class_name, const std::string& window_name,
                            uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                            uintptr_t menu, ModuleInstance instance, void* create_params) {
  if (parent != 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const std::shared_ptr<posix::MessageQueue> queue = posix::CurrentQueue();
  auto window = std::make_shared<WindowRecord>();
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (queue->closed) {
      SetLastError(ERROR_INVALID_THREAD_ID);
      return 0;
    }
  }
  {
    UserState& user = User();
    std::unique_lock<std::shared_mutex> lock(user.mutex);
    window->window_class = FindClassLocked(instance, class_name);
    if (!window->window_class) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return 0;
    }
    window->handle = user.next_window;
    user.next_window += 2;
    window->owner_thread = queue->thread_id;
    window->queue = queue;
    window->proc = window->window_class->record.window_proc;
    ++window->window_class->window_count;
    user.windows.emplace(window->handle, window);
  }
  RemoveOnFailure remove_on_failure(window);
  CreateStruct create;
  create.create_params = create_params;
  create.instance = instance;
  create.style = style;
  create.window_name = window_name;
  create.class_name = class_name;
  const LParam create_address = reinterpret_cast<LParam>(&create);
  if (window->proc(window->handle, WM_NCCREATE, 0, create_address) == 0) return 0;
  if (window->proc(window->handle, WM_CREATE, 0, create_address) == -1) {
    remove_on_failure.Dismiss();
    DestroyWindow(window->handle);
    return 0;
  }
  remove_on_failure.Dismiss();
  return window->handle;
}

bool DestroyWindow(WindowHandle handle) {
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  if (window->owner_thread != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (window->destroying) return true;  // asked again while its destruction is under way
  window->destroying = true;
  {
    RemoveOnFailure remove(window);
    window->proc(handle, WM_DESTROY, 0, 0);
    window->proc(handle, WM_NCDESTROY, 0, 0);
  }
  return true;
}

bool IsWindow(WindowHandle window) {
  return posix::FindWindow(window) != nullptr;
}

uint32_t GetWindowThreadProcessId(WindowHandle handle) {
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return window->owner_thread;
}

intptr_t SetWindowLongPtr(WindowHandle handle, int index, intptr_t value) {
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  const intptr_t previous = window->user_data.exchange(value);
  SetLastError(ERROR_SUCCESS);
  return previous;
}

intptr_t GetWindowLongPtr(WindowHandle handle, int index) {
  const std::shared_ptr<WindowRecord> window = posix::FindWindow(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return window->user_data.load();
}

LResult DefWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case WM_NCCREATE:
      return 1;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

}  // namespace qv::platform
