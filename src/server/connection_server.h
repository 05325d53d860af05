// TSocketSrv: the service's connection server. It listens on the configured port, serves every
// accepted connection by a request thread (TSrvThread) while fewer than MaxConnections run, refuses
// the others, counts the running request threads and reports socket errors of client connections. A
// stop or pause lets the requests that arrived whole finish their answers for StopTimeOut. It keeps the
// spacing of failed logons (LogonThrottle) and the verified logons (LogonCache) for its life.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "exchange/logon_cache.h"
#include "exchange/logon_throttle.h"
#include "net/server_socket.h"
#include "platform/threads/sync.h"

namespace qv {

class TSocketSrv : public net::TServerSocket {
 public:
  // Inactive, on the Port and ListenAddress of the settings snapshot, with the server's own handlers.
  TSocketSrv();
  // Deactivates the server first (which ends every request thread), then frees the lock.
  ~TSocketSrv() override;

  // Switches listening on or off. On: "Socket listen on Port:" + port goes to the trace once the
  // socket listens; an error (the port in use, say) passes on and writes nothing.
  void SetActive(bool value);

  // Request threads started and not yet ended.
  std::atomic<int32_t> RequestThreadCount{0};

 private:
  // The thread provider: a request thread for the connection, or none at the connection limit.
  std::unique_ptr<net::TServerClientThread> GetThread(net::TServerClientWinSocket& client_socket);
  void ThreadEnd(net::TServerClientThread& thread);
  void ClientError(net::TCustomWinSocket& socket, net::TErrorEvent error_event, int32_t& error_code);
  // A request thread that could not be started: not counted any more, reported as a socket error.
  void ThreadStartError(net::TServerClientThread& thread, const std::string& message);

  std::unique_ptr<platform::CriticalSection> client_error_lock_;
  // Installed in LogonThrottle while the server exists: what the request handlers remember of failed
  // logons between requests.
  TLogonThrottle logon_throttle_;
  std::optional<ProcessWide<TLogonThrottle>::Installation> logon_throttle_slot_;
  // Installed in LogonCache while the server exists, when LogonCacheSeconds is above 0.
  std::optional<TLogonCache> logon_cache_;
  std::optional<ProcessWide<TLogonCache>::Installation> logon_cache_slot_;
};

// The name of a socket operation kind as the client-error reports show it ("Send", "Receive" ...);
// empty for a kind outside the six.
const char* ErrorEventName(int32_t error_event);

}  // namespace qv
