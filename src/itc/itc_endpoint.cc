#include "itc/itc_endpoint.h"

#include <memory>

#include "itc/guarded_handler_call.h"
#include "itc/itc_directory.h"
#include "itc/itc_message_block.h"
#include "itc/single_write_multi_read.h"
#include "platform/errors/last_error.h"
#include "platform/errors/unhandled_exception.h"
#include "platform/threads/thread.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

const char kItcWindowClass[] = "VeskItcWindowClass";

// The directory and its lock, created by the first endpoint and released at module end.
struct ItcGlobals {
  platform::CriticalSection DirectoryCreationLock;  // guards only the lazy creation below
  std::unique_ptr<TItcDirectory> ItcDirectory;
  std::unique_ptr<TSingleWriteMultiRead> DirectoryLock;
};

ItcGlobals& Globals() {
  static ItcGlobals globals;
  return globals;
}

std::atomic<uint32_t> itc_message_id{0};
std::atomic<uint32_t> itc_disconnect_message_id{0};

using ReadGuard = TSingleWriteMultiRead::ReadGuard;
using WriteGuard = TSingleWriteMultiRead::WriteGuard;

// Hands one ITC event to the endpoint; the block is released afterwards, also when a handler fails.
void DispatchItcMessage(TVeskItc& endpoint, platform::WParam first, platform::LParam second) {
  if (second == 0) return;  // the ieTerminate wake-up
  void* const block = reinterpret_cast<void*>(second);
  ItcMessageBlockOwner owner(block);
  const std::string sender_name = ItcMessageBlock::SenderName(block);
  const uint32_t size = ItcMessageBlock::DataSize(block);
  const void* const data = size > 0 ? ItcMessageBlock::Data(block) : nullptr;
  const auto type = static_cast<uint8_t>(first & 0xFF);
  switch (type) {
    case ieMessage:
      endpoint.DoMessage(sender_name, data, size);
      break;
    case ieConnect:
    case ieDisconnect:
      endpoint.DoConnectEvent(sender_name, static_cast<TenItcEventType>(type));
      break;
    case ieTerminate:
      break;
    default:
      throw EAssertionFailed("unhandled EventType: " + std::to_string(type));
  }
}

// Releases the blocks still queued for a window that is going away; they would never be dispatched.
void ReleaseQueuedBlocks(platform::WindowHandle window) {
  const uint32_t id = itc_message_id;
  if (id == 0) return;  // a 0..0 filter would take every message
  platform::Msg msg;
  while (platform::PeekMessage(&msg, window, id, id, platform::PM_REMOVE))
    ItcMessageBlock::Free(reinterpret_cast<void*>(msg.lparam));
}

}  // namespace

uint32_t ItcMessageId() {
  return itc_message_id;
}
uint32_t ItcDisconnectMessageId() {
  return itc_disconnect_message_id;
}

TVeskItc* FindItcEndpoint(const std::string& name) {
  ItcGlobals& globals = Globals();
  if (!globals.ItcDirectory || !globals.DirectoryLock) return nullptr;
  ReadGuard read(*globals.DirectoryLock);
  return globals.ItcDirectory->Find(name);
}

TVeskItc::TVeskItc() {
  // Registering the same text twice gives the same id, so this needs no lock.
  if (itc_message_id == 0) itc_message_id = platform::RegisterWindowMessage("VeskItcMessageId");
  if (itc_disconnect_message_id == 0)
    itc_disconnect_message_id = platform::RegisterWindowMessage("VeskItcDisconnectMessageId");
  ItcGlobals& globals = Globals();
  platform::CriticalSectionLock creation(globals.DirectoryCreationLock);
  if (!globals.ItcDirectory) globals.ItcDirectory = std::make_unique<TItcDirectory>();
  if (!globals.DirectoryLock) globals.DirectoryLock = std::make_unique<TSingleWriteMultiRead>();
}

TVeskItc::TVeskItc(const std::string& name) : TVeskItc() {
  SetName(name);
}

TVeskItc::~TVeskItc() {
  if (connected_) {
    try {
      Disconnect();
    } catch (...) {
      // A failing disconnect must not stop the destruction.
    }
  }
}

void TVeskItc::CheckDirectory() const {
  const ItcGlobals& globals = Globals();
  if (!globals.ItcDirectory || !globals.DirectoryLock)
    throw eItcException("Vesk ITC Error: Directory or its Semaphore is nil");
}

std::string TVeskItc::Name() const {
  ItcGlobals& globals = Globals();
  if (!globals.DirectoryLock) return name_;
  ReadGuard read(*globals.DirectoryLock);
  return name_;
}

void TVeskItc::SetName(const std::string& name) {
  if (name.size() > kMaxNameLength) throw eItcException("Vesk ITC Error: Name too long");
  CheckDirectory();
  ItcGlobals& globals = Globals();
  WriteGuard write(*globals.DirectoryLock);
  if (name == name_) return;
  // Only this endpoint's own entry moves: an unconnected endpoint may share its name with another
  // endpoint's entry, which must stay where it is.
  if (globals.ItcDirectory->Find(name_) == this && !globals.ItcDirectory->Rename(name_, name, this))
    throw eItcException("Vesk ITC Error: Could not register myself to the dictionary");
  name_ = name;
}

platform::WindowHandle TVeskItc::CreateItcWindow() {
  platform::WndClass window_class;
  window_class.style = 0;
  window_class.window_proc = ItcWindowProc;
  window_class.instance = platform::GetModuleInstance();
  window_class.class_name = kItcWindowClass;
  platform::WndClass existing;
  if (platform::GetClassInfo(window_class.instance, kItcWindowClass, &existing)) {
    if (existing.window_proc != ItcWindowProc) {
      platform::UnregisterClass(kItcWindowClass, window_class.instance);
      platform::RegisterClass(window_class);
    }
  } else {
    // Another thread may register it at the same moment; the window creation below tells.
    platform::RegisterClass(window_class);
  }
  const platform::WindowHandle window =
      platform::CreateWindowEx(0, kItcWindowClass, "", 0, 0, 0, 0, 0, 0, 0, window_class.instance, nullptr);
  if (window != 0)
    platform::SetWindowLongPtr(window, platform::GWLP_USERDATA, reinterpret_cast<intptr_t>(this));
  platform::SetLastError(0);
  return window;
}

void TVeskItc::Connect() {
  platform::CriticalSectionLock lock(Lock);
  CheckDirectory();
  if (connected_) return;
  if (name_.empty()) throw eItcException("Vesk ITC Error: Name has not been set before Connect");
  if (window_ == 0) {
    window_ = CreateItcWindow();
    if (window_ == 0) throw eItcException("Vesk ITC Error: Window could not be created");
  }
  bool added = false;
  try {
    ItcGlobals& globals = Globals();
    WriteGuard write(*globals.DirectoryLock);
    added = globals.ItcDirectory->Add(name_, this);
  } catch (...) {
    added = false;
  }
  if (!added) {
    platform::DestroyWindow(window_);
    window_ = 0;
    throw eItcException("Vesk ITC Error: Could not register myself to the dictionary");
  }
  connected_ = true;
  if (announce_) Broadcast(ieConnect);
}

void TVeskItc::Disconnect() {
  platform::CriticalSectionLock lock(Lock);
  if (!connected_) return;
  connected_ = false;
  CheckDirectory();
  std::string failure;
  if (announce_) Broadcast(ieDisconnect);
  try {
    ItcGlobals& globals = Globals();
    WriteGuard write(*globals.DirectoryLock);
    globals.ItcDirectory->Remove(name_, this);
  } catch (...) {
    failure = "Vesk ITC Error: Could not remove myself from the directory";
  }
  if (window_ != 0) {
    platform::SetLastError(0);
    // Only the owning thread may destroy the window: it does so inside its message retrieval.
    if (platform::SendMessage(window_, itc_disconnect_message_id, 0, 0) != 0)
      failure = "Vesk ITC Error: Could not send WM_VeskItcDisconnect message to my window! LastError: " +
                HexErrorText(platform::GetLastError());
    platform::SetLastError(0);
    window_ = 0;
  }
  if (!failure.empty()) throw eItcException(failure);
}

void TVeskItc::ConnectAs(const std::string& name) {
  platform::CriticalSectionLock lock(Lock);
  if (connected_) Disconnect();
  SetName(name);
  Connect();
}

void TVeskItc::SendTo(const std::string& destination, const void* data, uint32_t size) {
  CheckDirectory();
  platform::CriticalSectionLock lock(Lock);
  if (!connected_) throw eItcException("Vesk ITC Error: SendTo called but not connected!");
  ReadGuard read(*Globals().DirectoryLock);
  PostToName(destination, ieMessage, data, size);
}

void TVeskItc::SendToSelf(const void* data, uint32_t size) {
  SendTo(Name(), data, size);
}

void TVeskItc::PostToName(const std::string& destination, TenItcEventType type, const void* data,
                          uint32_t size) {
  TVeskItc* const receiver = Globals().ItcDirectory->Find(destination);
  if (receiver == nullptr) throw eItcException("Vesk ITC Error: Destination name not found in directory");
  void* const block = ItcMessageBlock::Allocate(name_, data, size);
  if (block == nullptr) throw eItcException("Vesk ITC Error: Allocate heap memory failed");
  ItcMessageBlockOwner owner(block);
  // The receiver leaves the directory under the writer lock before its window goes, so the window
  // read here under the reader lock is alive.
  const platform::WindowHandle window = receiver->window_;
  if (!platform::PostMessage(window, itc_message_id, type, reinterpret_cast<platform::LParam>(block))) {
    const uint32_t error = platform::GetLastError();
    throw eItcInvalidHandle("Vesk ITC Error: PostMessage failed. WinErr: " + HexErrorText(error) + ".");
  }
  owner.Release();  // the receiving side releases it now
  platform::SetLastError(0);
}

void TVeskItc::Broadcast(TenItcEventType type) {
  try {
    CheckDirectory();
    ItcGlobals& globals = Globals();
    ReadGuard read(*globals.DirectoryLock);
    for (const TItcDirectory::Entry& entry : globals.ItcDirectory->Entries()) {
      try {
        platform::CriticalSectionLock lock(Lock);
        PostToName(entry.Name, type, nullptr, 0);
      } catch (...) {
        // One unreachable endpoint does not stop the others from hearing.
      }
    }
  } catch (...) {
    // A broadcast never fails.
  }
}

void TVeskItc::DoConnectEvent(const std::string& name, TenItcEventType type) {
  CallGuarded(
      OnConnectEvent, [this] { HandleException(); }, *this, name, type);
}

void TVeskItc::DoMessage(const std::string& sender_name, const void* data, uint32_t size) {
  CallGuarded(
      OnMessage, [this] { HandleException(); }, *this, sender_name, data, size);
}

void TVeskItc::DoWindowMessage(const platform::Msg& message, bool& handled) {
  CallGuarded(
      OnWindowMessage, [this] { HandleException(); }, *this, message, handled);
}

void TVeskItc::HandleException() {
  // A thread given up by its owner must not touch this endpoint any more.
  if (platform::CurrentThreadAbandoned()) return;
  DeliverCurrentException(OnException, *this);
}

void DeliverCurrentException(const TItcExceptionEvent& on_exception, TVeskItc& sender) {
  const std::exception_ptr current = std::current_exception();
  try {
    std::rethrow_exception(current);
  } catch (const Exception& exception) {
    if (on_exception) {
      try {
        on_exception(sender, exception);
      } catch (...) {
        // What the exception handler raises goes nowhere.
      }
      return;
    }
  } catch (...) {
  }
  platform::ShowUnhandledException(current);
}

platform::LResult ItcWindowProc(platform::WindowHandle window, uint32_t message, platform::WParam wparam,
                                platform::LParam lparam) {
  // Absent while the window is being created and for windows that no endpoint has claimed.
  auto* const endpoint =
      reinterpret_cast<TVeskItc*>(platform::GetWindowLongPtr(window, platform::GWLP_USERDATA));
  const uint32_t itc_id = itc_message_id;
  const uint32_t disconnect_id = itc_disconnect_message_id;
  if (itc_id != 0 && message == itc_id) {
    if (endpoint != nullptr)
      DispatchItcMessage(*endpoint, wparam, lparam);
    else
      ItcMessageBlock::Free(reinterpret_cast<void*>(lparam));
    return 0;
  }
  if (disconnect_id != 0 && message == disconnect_id) {
    platform::DestroyWindow(window);
    platform::SetLastError(0);
    platform::ReplyMessage(0);
    return 0;
  }
  if (message == platform::WM_NCDESTROY) ReleaseQueuedBlocks(window);
  bool handled = false;
  if (endpoint != nullptr) {
    platform::Msg record;
    record.hwnd = window;
    record.message = message;
    record.wparam = wparam;
    record.lparam = lparam;
    record.time = static_cast<uint32_t>(platform::GetMessageTime());
    const uint32_t position = platform::GetMessagePos();
    record.pt.x = static_cast<int16_t>(position & 0xFFFF);
    record.pt.y = static_cast<int16_t>(position >> 16);
    endpoint->DoWindowMessage(record, handled);
  }
  if (!handled) return platform::DefWindowProc(window, message, wparam, lparam);
  return 0;
}

}  // namespace qv
