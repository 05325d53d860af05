// Window messages through the system's USER functions. Every window class of ours is registered with
// one window procedure of the layer, which finds the window's own procedure in the window's extra
// bytes, hands WM_NCCREATE and WM_CREATE our CreateStruct, and keeps a C++ exception that a procedure
// raises until the call of ours that ran the procedure (DispatchMessage, SendMessage, GetMessage ...)
// returns, where it is raised again: no exception ever crosses the system's frames.
//
// The windows are message-only windows (their parent is HWND_MESSAGE): hidden, out of reach of
// broadcasts, and possible without a desktop (a service's session, or Wine without a display).
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "platform/text/text_compare.h"
#include "platform/text/wide_text_win32.h"
#include "platform/threads/thread_windows_win32.h"
#include "platform/window_messages/window_messages.h"

#include "platform/os/unique_handle_win32.h"
#include "platform/os/windows_api_win32.h"

namespace qv::platform {

namespace {

struct ClassKey {
  ModuleInstance instance;
  std::string folded_name;
  bool operator<(const ClassKey& other) const {
    return instance != other.instance ? instance < other.instance : folded_name < other.folded_name;
  }
};

struct ClassTable {
  std::mutex mutex;
  std::map<ClassKey, WndClass> classes;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}

// The window procedure of the window being created on this thread, until the window holds it.
thread_local WindowProc creating_proc = nullptr;
// What the layer keeps per thread: the windows the thread made and an exception a window procedure
// raised, waiting for the call of ours that ran the procedure. It lives in a fiber-local slot, whose
// callback runs when the thread leaves, while it can still destroy its windows (their procedures get
// WM_DESTROY and WM_NCDESTROY on it, as on Linux). Not in a C++ thread_local object: with MinGW's
// thread-local storage, a thread of the C++ library has its storage freed before the destructors of
// its thread_local objects run.
struct ThreadState {
  std::set<HWND> windows;
  std::exception_ptr pending_exception;
};

void WINAPI ThreadLeaves(void* data);

DWORD StateSlot() {
  static const DWORD slot = ::FlsAlloc(ThreadLeaves);
  return slot;
}

// The calling thread's state, or nullptr when it has none (or is leaving). Keeps the thread's last
// error, which FlsGetValue clears, for the callers that have just set it.
ThreadState* ExistingState() {
  if (StateSlot() == FLS_OUT_OF_INDEXES) return nullptr;
  const DWORD error = ::GetLastError();
  auto* state = static_cast<ThreadState*>(::FlsGetValue(StateSlot()));
  ::SetLastError(error);
  return state;
}

// The calling thread's state, made on first use; nullptr only when the system has no slot to give.
ThreadState* State() {
  ThreadState* state = ExistingState();
  if (state != nullptr || StateSlot() == FLS_OUT_OF_INDEXES) return state;
  const DWORD error = ::GetLastError();
  auto made = std::make_unique<ThreadState>();
  const bool kept = ::FlsSetValue(StateSlot(), made.get());
  ::SetLastError(error);
  if (!kept) return nullptr;
  return made.release();  // owned by the slot: ThreadLeaves takes it back
}

void DestroyWindowsOf(ThreadState& state) {
  const std::set<HWND> windows = state.windows;
  for (const HWND window : windows) {
    if (::IsWindow(window) && ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId())
      ::DestroyWindow(window);
  }
  state.windows.clear();
  state.pending_exception = nullptr;  // nobody is left to take it
}

void WINAPI ThreadLeaves(void* data) {
  const std::unique_ptr<ThreadState> state(static_cast<ThreadState*>(data));
  if (state) DestroyWindowsOf(*state);
}

constexpr int kProcSlot = 0;  // the window's extra bytes hold its procedure

HWND SystemWindow(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

WindowHandle OurWindow(HWND window) {
  return reinterpret_cast<WindowHandle>(window);
}

void RaisePending() {
  ThreadState* state = ExistingState();
  if (state != nullptr && state->pending_exception)
    std::rethrow_exception(std::exchange(state->pending_exception, nullptr));
}

Msg FromSystem(const MSG& system) {
  Msg msg;
  msg.hwnd = OurWindow(system.hwnd);
  msg.message = system.message;
  msg.wparam = system.wParam;
  msg.lparam = system.lParam;
  msg.time = system.time;
  msg.pt.x = system.pt.x;
  msg.pt.y = system.pt.y;
  return msg;
}

MSG ToSystem(const Msg& msg) {
  MSG system = {};
  system.hwnd = SystemWindow(msg.hwnd);
  system.message = msg.message;
  system.wParam = msg.wparam;
  system.lParam = msg.lparam;
  system.time = msg.time;
  system.pt.x = msg.pt.x;
  system.pt.y = msg.pt.y;
  return system;
}

std::string ClassNameOf(const CREATESTRUCTW& create) {
  if (IS_INTRESOURCE(create.lpszClass)) return std::string();  // an atom, not a name
  return win32::Narrow(create.lpszClass);
}

// The messages our windows know: their life cycle and the messages of programs (WM_USER and up,
// registered ones included). The system's others (sizing, activation ...) get the system's answers,
// as windows without input, painting or timers would never see them.
bool ForOurProcedure(UINT message) {
  return message == WM_NULL || message == WM_CREATE || message == WM_DESTROY || message == WM_CLOSE ||
         message == WM_QUIT || message == WM_NCCREATE || message == WM_NCDESTROY || message >= WM_USER;
}

LRESULT CALLBACK LayerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!ForOurProcedure(message)) return ::DefWindowProcW(window, message, wparam, lparam);
  auto proc = reinterpret_cast<WindowProc>(::GetWindowLongPtrW(window, kProcSlot));
  if (proc == nullptr) {
    proc = creating_proc;
    if (proc == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
    ::SetWindowLongPtrW(window, kProcSlot, reinterpret_cast<LONG_PTR>(proc));
  }
  ThreadState* state = ExistingState();
  if (message == WM_NCDESTROY && state != nullptr) state->windows.erase(window);
  CreateStruct create;
  LPARAM passed = lparam;
  if ((message == WM_NCCREATE || message == WM_CREATE) && lparam != 0) {
    const auto& system = *reinterpret_cast<const CREATESTRUCTW*>(lparam);
    create.create_params = system.lpCreateParams;
    create.instance = reinterpret_cast<ModuleInstance>(system.hInstance);
    create.style = static_cast<uint32_t>(system.style);
    create.window_name = system.lpszName != nullptr ? win32::Narrow(system.lpszName) : std::string();
    create.class_name = ClassNameOf(system);
    passed = reinterpret_cast<LPARAM>(&create);
  }
  try {
    return proc(OurWindow(window), message, wparam, passed);
  } catch (...) {
    // Answered with 0 (which also refuses a creation); raised again when the system's call returns.
    if (state != nullptr && !state->pending_exception) state->pending_exception = std::current_exception();
    return 0;
  }
}

}  // namespace

namespace win32 {

void DestroyThreadWindows() {
  if (ThreadState* state = ExistingState()) DestroyWindowsOf(*state);
}

}  // namespace win32

ModuleInstance GetModuleInstance() {
  return reinterpret_cast<ModuleInstance>(::GetModuleHandleW(nullptr));
}

uint32_t RegisterWindowMessage(const std::string& name) {
  if (name.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::RegisterWindowMessageW(win32::Wide(name).c_str());
}

uint16_t RegisterClass(const WndClass& window_class) {
  if (window_class.window_proc == nullptr || window_class.class_name.empty() || window_class.instance == 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (window_class.class_extra != 0 || window_class.window_extra != 0) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  const std::wstring name = win32::Wide(window_class.class_name);
  WNDCLASSW system = {};
  system.style = window_class.style;
  system.lpfnWndProc = &LayerWindowProc;
  system.cbWndExtra = sizeof(LONG_PTR);
  system.hInstance = reinterpret_cast<HINSTANCE>(window_class.instance);
  system.lpszClassName = name.c_str();
  ClassTable& table = Classes();
  std::lock_guard<std::mutex> lock(table.mutex);
  const ATOM atom = ::RegisterClassW(&system);
  if (atom == 0) return 0;
  table.classes[ClassKey{window_class.instance, FoldTextCase(window_class.class_name)}] = window_class;
  return atom;
}

bool GetClassInfo(ModuleInstance instance, const std::string& class_name, WndClass* window_class) {
  ClassTable& table = Classes();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.classes.find(ClassKey{instance, FoldTextCase(class_name)});
  WNDCLASSW system;
  if (found == table.classes.end() ||
      !::GetClassInfoW(reinterpret_cast<HINSTANCE>(instance), win32::Wide(class_name).c_str(), &system)) {
    ::SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return false;
  }
  *window_class = found->second;
  return true;
}

bool UnregisterClass(const std::string& class_name, ModuleInstance instance) {
  ClassTable& table = Classes();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (!::UnregisterClassW(win32::Wide(class_name).c_str(), reinterpret_cast<HINSTANCE>(instance)))
    return false;
  table.classes.erase(ClassKey{instance, FoldTextCase(class_name)});
  return true;
}

WindowHandle CreateWindowEx(uint32_t ex_style, const std::string& class_name, const std::string& window_name,
                            uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                            uintptr_t menu, ModuleInstance instance, void* create_params) {
  if (parent != 0) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  WndClass window_class;
  if (!GetClassInfo(instance, class_name, &window_class)) {
    ::SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return 0;
  }
  // The state first: it keeps what the procedure may raise while the window is being made.
  ThreadState* const state = State();
  const WindowProc outer = std::exchange(creating_proc, window_class.window_proc);
  const HWND window = ::CreateWindowExW(
      ex_style, win32::Wide(class_name).c_str(), win32::Wide(window_name).c_str(), style, x, y, width, height,
      HWND_MESSAGE, reinterpret_cast<HMENU>(menu), reinterpret_cast<HINSTANCE>(instance), create_params);
  const DWORD error = ::GetLastError();
  creating_proc = outer;
  if (window != nullptr && state != nullptr) state->windows.insert(window);
  RaisePending();
  ::SetLastError(error);
  return OurWindow(window);
}

bool DestroyWindow(WindowHandle window) {
  if (!IsWindow(window)) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  const bool destroyed = ::DestroyWindow(SystemWindow(window)) != 0;
  RaisePending();
  return destroyed;
}

bool IsWindow(WindowHandle window) {
  return window != 0 && ::IsWindow(SystemWindow(window)) != 0;
}

uint32_t GetWindowThreadProcessId(WindowHandle window) {
  if (window == 0) return 0;
  return ::GetWindowThreadProcessId(SystemWindow(window), nullptr);
}

intptr_t SetWindowLongPtr(WindowHandle window, int index, intptr_t value) {
  if (index != GWLP_USERDATA) {
    ::SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  ::SetLastError(ERROR_SUCCESS);
  return ::SetWindowLongPtrW(SystemWindow(window), GWLP_USERDATA, value);
}

intptr_t GetWindowLongPtr(WindowHandle window, int index) {
  if (index != GWLP_USERDATA) {
    ::SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  ::SetLastError(ERROR_SUCCESS);
  return ::GetWindowLongPtrW(SystemWindow(window), GWLP_USERDATA);
}

bool PostMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return ::PostMessageW(SystemWindow(window), message, wparam, lparam) != 0;
}

bool PostThreadMessage(uint32_t thread_id, uint32_t message, WParam wparam, LParam lparam) {
  if (::PostThreadMessageW(thread_id, message, wparam, lparam) != 0) return true;
  // An identifier that names no thread (any more) says so in one way: Windows gives
  // ERROR_INVALID_THREAD_ID, Wine ERROR_INVALID_PARAMETER.
  if (::GetLastError() == ERROR_INVALID_PARAMETER) {
    const win32::UniqueHandle thread(::OpenThread(SYNCHRONIZE, FALSE, thread_id));
    const bool running = thread && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
    if (!running)
      ::SetLastError(ERROR_INVALID_THREAD_ID);
    else
      ::SetLastError(ERROR_INVALID_PARAMETER);
  }
  return false;
}

LResult SendMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  ::SetLastError(ERROR_SUCCESS);
  const LRESULT result = ::SendMessageW(SystemWindow(window), message, wparam, lparam);
  // A send that failed because the window went (or its thread ended) says so in one way.
  if (result == 0 && ::GetLastError() != ERROR_SUCCESS && !IsWindow(window))
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  RaisePending();
  return result;
}

bool ReplyMessage(LResult result) {
  return ::ReplyMessage(result) != 0;
}

bool InSendMessage() {
  return ::InSendMessage() != 0;
}

int GetMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max) {
  MSG system = {};
  const BOOL result = ::GetMessageW(&system, SystemWindow(window), filter_min, filter_max);
  RaisePending();
  if (result == -1) return -1;
  *msg = FromSystem(system);
  return result == 0 ? 0 : 1;
}

bool PeekMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max, uint32_t remove) {
  MSG system = {};
  const BOOL found = ::PeekMessageW(&system, SystemWindow(window), filter_min, filter_max, remove);
  RaisePending();
  if (!found) return false;
  *msg = FromSystem(system);
  return true;
}

bool TranslateMessage(const Msg* msg) {
  const MSG system = ToSystem(*msg);
  return ::TranslateMessage(&system) != 0;
}

LResult DispatchMessage(const Msg* msg) {
  if (msg->hwnd != 0 && IsWindow(msg->hwnd) &&
      GetWindowThreadProcessId(msg->hwnd) != ::GetCurrentThreadId()) {
    ::SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  const MSG system = ToSystem(*msg);
  const LRESULT result = ::DispatchMessageW(&system);
  RaisePending();
  return result;
}

LResult DefWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  // The creation messages carry our CreateStruct, which the system's procedure cannot read; a window
  // without a caption or scroll bars needs nothing of what it would do with them.
  if (message == WM_NCCREATE) return TRUE;
  if (message == WM_CREATE) return 0;
  const LRESULT result = ::DefWindowProcW(SystemWindow(window), message, wparam, lparam);
  RaisePending();
  return result;
}

void PostQuitMessage(int exit_code) {
  ::PostQuitMessage(exit_code);
}

int32_t GetMessageTime() {
  return ::GetMessageTime();
}

uint32_t GetMessagePos() {
  return ::GetMessagePos();
}

}  // namespace qv::platform
