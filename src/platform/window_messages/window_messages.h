// Window messages in the manner of the Windows USER functions: per-thread message queues, registered
// message ids, window classes with a window procedure, hidden windows owned by the thread that created
// them (with a user-data slot), posted and sent messages, and the message loop calls.
//
// A thread gets its queue on its first call here. Posted messages wait in the queue of the window's
// thread until it retrieves them (GetMessage, PeekMessage) and dispatches them to the window procedure.
// A message sent from another thread is handled by the window's thread inside its next message
// retrieval (or while it waits in a SendMessage of its own); the sender waits until it is answered.
// When a thread ends, its windows are destroyed and its queue goes with it. The windows are never
// shown: there is no input, painting or timer here, so there is no cursor either (positions are 0, 0).
// A window procedure may raise a C++ exception: it passes through DispatchMessage (or the retrieval
// that ran a sent message, whose sender is answered 0 first) to the caller's loop.
#pragma once

#include <cstdint>
#include <string>

namespace qv::platform {

using WindowHandle = uintptr_t;    // HWND; 0 is no window
using ModuleInstance = uintptr_t;  // HINSTANCE
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;
using WindowProc = LResult (*)(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

constexpr uint32_t WM_NULL = 0x0000;
constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_NCCREATE = 0x0081;
constexpr uint32_t WM_NCDESTROY = 0x0082;
constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_APP = 0x8000;

// PeekMessage: leave the message in the queue, or take it out.
constexpr uint32_t PM_NOREMOVE = 0x0000;
constexpr uint32_t PM_REMOVE = 0x0001;

// The window's user-data slot for Get/SetWindowLongPtr (GWLP_USERDATA).
constexpr int GWLP_USERDATA = -21;

// A window filter of GetMessage / PeekMessage that takes only the messages posted to the thread itself.
constexpr WindowHandle kThreadMessagesOnly = static_cast<WindowHandle>(-1);

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

// A queued message (MSG): the window, the message and its parameters, the tick count when it was
// posted and the cursor position then.
struct Msg {
  WindowHandle hwnd = 0;
  uint32_t message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
  uint32_t time = 0;
  Point pt;
};

// A window class record (WNDCLASS). Windows here have no extra bytes, icon, cursor, brush or menu;
// those members are kept so the record maps onto the Windows one.
struct WndClass {
  uint32_t style = 0;
  WindowProc window_proc = nullptr;
  int class_extra = 0;
  int window_extra = 0;
  ModuleInstance instance = 0;
  uintptr_t icon = 0;
  uintptr_t cursor = 0;
  uintptr_t background = 0;
  std::string menu_name;
  std::string class_name;
};

// What WM_NCCREATE and WM_CREATE carry in their second parameter (a pointer to this, CREATESTRUCT).
struct CreateStruct {
  void* create_params = nullptr;
  ModuleInstance instance = 0;
  uint32_t style = 0;
  std::string window_name;
  std::string class_name;
};

// The instance handle of the program's own module (HInstance).
ModuleInstance GetModuleInstance();

// A message id in 0xC000..0xFFFF that is the same for every caller of the same text (letter case
// does not matter) for the life of the process; 0 on failure (an empty text: ERROR_INVALID_PARAMETER).
uint32_t RegisterWindowMessage(const std::string& name);

// Window classes belong to a module instance; names compare ignoring case. RegisterClass returns the
// class atom, 0 on failure (ERROR_CLASS_ALREADY_EXISTS; ERROR_INVALID_PARAMETER without a procedure,
// class name or instance; ERROR_NOT_SUPPORTED with extra bytes). GetClassInfo fails with
// ERROR_CLASS_DOES_NOT_EXIST; UnregisterClass with ERROR_CLASS_DOES_NOT_EXIST or, while windows of the
// class exist, ERROR_CLASS_HAS_WINDOWS.
uint16_t RegisterClass(const WndClass& window_class);
bool GetClassInfo(ModuleInstance instance, const std::string& class_name, WndClass* window_class);
bool UnregisterClass(const std::string& class_name, ModuleInstance instance);

// Creates a window of a registered class, owned by the calling thread (CreateWindowEx). It receives
// WM_NCCREATE (refusing it with 0 fails the creation) and WM_CREATE (refusing it with -1 fails the
// creation). Only top-level windows exist: a parent must be 0. Returns 0 on failure
// (ERROR_CANNOT_FIND_WND_CLASS, ERROR_INVALID_WINDOW_HANDLE for a parent).
WindowHandle CreateWindowEx(uint32_t ex_style, const std::string& class_name, const std::string& window_name,
                            uint32_t style, int x, int y, int width, int height, WindowHandle parent,
                            uintptr_t menu, ModuleInstance instance, void* create_params);

// Destroys a window of the calling thread: it receives WM_DESTROY and WM_NCDESTROY, then its handle is
// dead for good and the messages still queued for it are dropped. A window of another thread fails
// with ERROR_ACCESS_DENIED, an unknown one with ERROR_INVALID_WINDOW_HANDLE.
bool DestroyWindow(WindowHandle window);
bool IsWindow(WindowHandle window);
// The thread that owns a window; 0 for an unknown window.
uint32_t GetWindowThreadProcessId(WindowHandle window);

// The user-data slot, from any thread. Only GWLP_USERDATA is known (others: ERROR_INVALID_INDEX).
// SetWindowLongPtr returns the previous value; both return 0 and set the last error on failure.
intptr_t SetWindowLongPtr(WindowHandle window, int index, intptr_t value);
intptr_t GetWindowLongPtr(WindowHandle window, int index);

// Queues a message for the window's thread and returns at once. Window 0 posts to the calling thread
// itself (a thread message). Fails with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist
// or no longer exists.
bool PostMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
// Queues a thread message; ERROR_INVALID_THREAD_ID for a thread without a queue.
bool PostThreadMessage(uint32_t thread_id, uint32_t message, WParam wparam, LParam lparam);

// Calls the window procedure and returns its answer. For a window of another thread the message is
// handled on that thread when it next retrieves messages, and the caller waits for the answer,
// handling messages sent to its own windows meanwhile. A window that does not exist, or is destroyed
// (or whose thread ends) before it handles the message, gives 0 with ERROR_INVALID_WINDOW_HANDLE.
LResult SendMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
// Answers the message sent from another thread that is being handled now, so its sender goes on at
// once; the window procedure's own answer is then ignored. False when no such message is being handled.
bool ReplyMessage(LResult result);
// True while a message sent from another thread is being handled.
bool InSendMessage();

// Waits for a posted message for a window of the calling thread (or a thread message) within the
// filter: window 0 takes every one of the thread, kThreadMessagesOnly only thread messages; the range
// min..max of message ids, 0..0 for all. Messages sent by other threads are handled meanwhile. Returns
// a positive value for a message, 0 for WM_QUIT, -1 on failure (ERROR_INVALID_WINDOW_HANDLE for a
// filter window that is not the thread's).
int GetMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max);
// Handles the messages sent by other threads, then looks for a posted message within the filter
// without waiting; with PM_REMOVE it is taken out of the queue.
bool PeekMessage(Msg* msg, WindowHandle window, uint32_t filter_min, uint32_t filter_max, uint32_t remove);
// Turns key messages into character messages; there are none here, so it only returns false.
bool TranslateMessage(const Msg* msg);
// Calls the window procedure of the message's window and returns its answer; 0 for a thread message
// or a window that no longer exists; a window of another thread fails with ERROR_WINDOW_OF_OTHER_THREAD.
LResult DispatchMessage(const Msg* msg);
// The default answer: TRUE for WM_NCCREATE, WM_CLOSE destroys the window, 0 otherwise.
LResult DefWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);

// Has the calling thread's message retrieval report WM_QUIT (with the exit code as its first
// parameter) once no other posted message is waiting.
void PostQuitMessage(int exit_code);

// The time (tick count) and cursor position (x in the low word, y in the high word) of the message
// the calling thread last retrieved.
int32_t GetMessageTime();
uint32_t GetMessagePos();

}  // namespace qv::platform
