#include "server/connection_server.h"

#include <algorithm>
#include <string>

#include "config/settings_snapshot.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "net/listen_addresses.h"
#include "server/request_thread.h"

namespace qv {

namespace {

// Event ids of the message catalogue.

}  // namespace

const char* ErrorEventName(int32_t error_event) {
  static constexpr const char* kNames[] = {"General", "Send", "Receive", "Connect", "Disconnect", "Accept"};
  if (error_event < 0 || error_event >= static_cast<int32_t>(std::size(kNames))) return "";
  return kNames[error_event];
}

TSocketSrv::TSocketSrv()
    : client_error_lock_(std::make_unique<platform::CriticalSection>()),
      logon_throttle_(Config->LogonFailureLimit, Config->LogonRetryDelay, Config->LogonRetryDelayMax) {
  logon_throttle_slot_.emplace(LogonThrottle, logon_throttle_);
  if (Config->LogonCacheSeconds > 0) {
    logon_cache_.emplace(Config->LogonCacheSeconds);
    logon_cache_slot_.emplace(LogonCache, *logon_cache_);
  }
  SetServerType(net::stThreadBlocking);
  SetPort(Config->Port);
  SetAddresses(net::SplitListenAddresses(Config->ListenAddress));
  // A negative time counts as none.
  SetStopTimeOut(static_cast<uint32_t>(std::max(Config->StopTimeOut, 0)));
  OnGetThread = [this](net::TServerSocket&, net::TServerClientWinSocket& client_socket) {
    return GetThread(client_socket);
  };
  OnThreadEnd = [this](net::TServerSocket&, net::TServerClientThread& thread) { ThreadEnd(thread); };
  OnClientError = [this](net::TServerSocket&, net::TCustomWinSocket& socket, net::TErrorEvent error_event,
                         int32_t& error_code) { ClientError(socket, error_event, error_code); };
  OnThreadStartError = [this](net::TServerSocket&, net::TServerClientThread& thread,
                              const std::string& message) { ThreadStartError(thread, message); };
}

TSocketSrv::~TSocketSrv() {
  // The handlers use this object's members: every request thread must be gone before they are.
  net::TServerSocket::SetActive(false);
  client_error_lock_.reset();
}

void TSocketSrv::SetActive(bool value) {
  net::TServerSocket::SetActive(value);
  if (value) TraceWriter->Trace("Socket listen on Port:" + std::to_string(Port()), 2);
}

std::unique_ptr<net::TServerClientThread> TSocketSrv::GetThread(net::TServerClientWinSocket& client_socket) {
  const int32_t max_connections = Config->MaxConnections;
  if (RequestThreadCount >= max_connections) {
    client_socket.Close();
    EventLog->WriteEvent(eltWarning, 0, QV_MSG_REQUEST_REJECTED, std::to_string(max_connections));
    TraceWriter->Trace("Thread not started max. Connection reached!", 3);
    return nullptr;
  }
  auto thread = std::make_unique<TSrvThread>(&client_socket);
  ++RequestThreadCount;
  thread->Resume();  // the platform starts it when it takes it over
  if (TraceWriter->TraceDetailness >= 3)
    TraceWriter->Trace("Thread started: " + std::to_string(thread->ThreadID()), 3);
  return thread;
}

void TSocketSrv::ThreadEnd(net::TServerClientThread& thread) {
  if (TraceWriter->TraceDetailness >= 3)
    TraceWriter->Trace("Thread terminated: " + std::to_string(thread.ThreadID()), 3);
  --RequestThreadCount;
}

void TSocketSrv::ThreadStartError(net::TServerClientThread&, const std::string& message) {
  --RequestThreadCount;
  const std::string text = "Thread not started: " + message;
  EventLog->WriteEvent(eltError, 0, QV_MSG_SOCKET_ERROR, text);
  TraceWriter->Trace(text, 1);
}

void TSocketSrv::ClientError(net::TCustomWinSocket& socket, net::TErrorEvent error_event,
                             int32_t& error_code) {
  platform::CriticalSectionLock lock(*client_error_lock_);
  // Without tracing the error is not reported here and raises in the thread that met it.
  if (TraceWriter->TraceDetailness == 0) return;
  const std::string kind = ErrorEventName(error_event);
  const std::string code = "Client Error: " + std::to_string(error_code);
  const std::string address = "RemoteAddress: " + socket.RemoteAddress();
  TraceWriter->Trace(code + " / " + address + "ErrorEvent: " + kind, 2);
  EventLog->WriteEvent(eltWarning, 0, QV_MSG_CLIENT_SOCKET_ERROR, code, address, "ErrorEvent: " + kind);
  error_code = 0;
}

}  // namespace qv
