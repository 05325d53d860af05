// ITC endpoints: threads of this process exchange messages by name. Connecting an endpoint creates a
// hidden window on the connecting thread and enters the endpoint in the process-wide directory; any
// thread can then send a byte payload to it by name. The payload travels in a heap block posted to the
// endpoint's window and reaches the handlers on the owning thread when its message loop dispatches it.
// A send never waits for the receiver.
//
// Locks: an endpoint's own (recursive) lock first, the directory lock second, everywhere. Senders
// share the directory lock as readers; connect, disconnect and rename take it as writer. Blocks still
// queued for an endpoint's window when it goes are released, never dispatched; those queued for a
// worker thread that was given up are lost with its queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/errors/exception.h"
#include "platform/threads/sync.h"
#include "platform/window_messages/window_messages.h"

namespace qv {

// The ITC event a message carries (the window message's first parameter).
enum TenItcEventType : uint8_t {
  ieMessage = 0,     // a data message
  ieConnect = 1,     // an endpoint has joined the directory (announcing endpoints only)
  ieDisconnect = 2,  // an endpoint is leaving the directory (announcing endpoints only)
  ieTerminate = 3,   // wake-up for an ITC worker thread; carries no block
};

QV_EXCEPTION_CLASS(eItcException, Exception);
// Posting to the destination's window failed.
QV_EXCEPTION_CLASS(eItcInvalidHandle, eItcException);

class TVeskItc;

// Handler properties; each is called with the sending endpoint first. An unset handler means the
// event is ignored.
using TItcConnectEvent = std::function<void(TVeskItc& sender, const std::string& name, TenItcEventType type)>;
// The data address is valid only during the call; it is nullptr when the size is 0.
using TItcMessageEvent =
    std::function<void(TVeskItc& sender, const std::string& sender_name, const void* data, uint32_t size)>;
// Setting handled suppresses the default processing of the message.
using TItcWindowMessageEvent =
    std::function<void(TVeskItc& sender, const platform::Msg& message, bool& handled)>;
using TItcExceptionEvent = std::function<void(TVeskItc& sender, const Exception& exception)>;

// Hands the exception being handled to `on_exception` with `sender` when it is one of ours (what the
// handler raises goes nowhere); without a handler, or for any other exception, the process's default
// display shows it. Callers on a thread its owner may have given up check that first.
void DeliverCurrentException(const TItcExceptionEvent& on_exception, TVeskItc& sender);

class TVeskItc {
 public:
  static constexpr size_t kMaxNameLength = 63;

  TVeskItc();
  explicit TVeskItc(const std::string& name);
  TVeskItc(const TVeskItc&) = delete;
  TVeskItc& operator=(const TVeskItc&) = delete;
  // Disconnects when connected, ignoring failures.
  virtual ~TVeskItc();

  // Changes the name; a connected endpoint's directory entry follows it. Raises eItcException for a
  // name of more than 63 characters, or when a connected endpoint is renamed to a name that another
  // endpoint holds; the old name stays then.
  void SetName(const std::string& name);
  // Joins the directory; the calling thread becomes the owner of the endpoint's window and must run a
  // message loop for anything to be delivered. Does nothing when connected.
  void Connect();
  // Leaves the directory and has the owning thread destroy the window (waiting until it has); callable
  // from any thread. Does nothing when not connected.
  void Disconnect();
  // Disconnect when connected, SetName, Connect, as one step.
  void ConnectAs(const std::string& name);
  // Posts a data message to the endpoint of that name (any letter case); callable from any thread once
  // connected. Without a data address the payload is size zero bytes.
  void SendTo(const std::string& destination, const void* data, uint32_t size);
  // SendTo with the endpoint's own name as the destination.
  void SendToSelf(const void* data, uint32_t size);

  std::string Name() const;
  bool Connected() const { return connected_; }
  platform::WindowHandle Window() const { return window_; }
  bool Announce() const { return announce_; }
  void SetAnnounce(bool announce) { announce_ = announce; }

  // Set these before connecting; they run on the owning thread, each through a copy of the handler.
  TItcConnectEvent OnConnectEvent;
  TItcMessageEvent OnMessage;
  TItcWindowMessageEvent OnWindowMessage;
  TItcExceptionEvent OnException;

  // Called on the owning thread for each event; they call the handlers and send what these raise to
  // HandleException.
  virtual void DoConnectEvent(const std::string& name, TenItcEventType type);
  virtual void DoMessage(const std::string& sender_name, const void* data, uint32_t size);
  virtual void DoWindowMessage(const platform::Msg& message, bool& handled);
  // Called while an exception is being handled: a system exception goes to OnException when it is set
  // (anything that raises is swallowed); everything else to the default exception display.
  virtual void HandleException();

 private:
  void CheckDirectory() const;
  platform::WindowHandle CreateItcWindow();
  void PostToName(const std::string& destination, TenItcEventType type, const void* data, uint32_t size);
  void Broadcast(TenItcEventType type);

  mutable platform::CriticalSection Lock;  // guards the connect and disconnect sequences; held while posting
  std::string name_;                       // written under the directory lock as writer
  std::atomic<bool> connected_{false};
  std::atomic<platform::WindowHandle> window_{0};
  std::atomic<bool> announce_{false};
};

// The window procedure of every endpoint window ("VeskItcWindowClass").
platform::LResult ItcWindowProc(platform::WindowHandle window, uint32_t message, platform::WParam wparam,
                                platform::LParam lparam);

// The registered ids "VeskItcMessageId" and "VeskItcDisconnectMessageId"; 0 until the first endpoint
// has been created.
uint32_t ItcMessageId();
uint32_t ItcDisconnectMessageId();

// The endpoint entered in the directory under that name (any letter case), or nullptr.
TVeskItc* FindItcEndpoint(const std::string& name);

}  // namespace qv
