// The thread that serves one connection of a TServerSocket (TServerClientThread).
//
// It is created suspended for the client socket that the server's OnGetThread handler was given and
// is handed to the server by that handler, which may start it itself; its body waits until the server
// has taken it over. The body, ClientExecute, runs once. When it returns (or raises, which is reported
// on standard error), the server closes and frees the client socket, calls OnThreadEnd on this thread,
// and the thread ends and frees itself. A thread is never reused for another connection.
#pragma once

#include "platform/server_socket.h"
#include "platform/thread.h"

namespace qv::platform {

class TServerClientThread : public Thread {
 public:
  explicit TServerClientThread(TServerClientWinSocket* client_socket);
  // A thread that was started but never taken over by the server is let go and waited for.
  ~TServerClientThread() override;

  // The connection's socket; null once the body has returned.
  TServerClientWinSocket* ClientSocket() const { return client_socket_; }
  TServerSocket& ServerSocket() const { return server_; }

 protected:
  // The thread body: serves the connection.
  virtual void ClientExecute() = 0;

 private:
  friend class TServerSocket;
  enum class Serving { kWaiting, kServing, kDismissed };

  void Execute() final;

  TServerSocket& server_;
  TServerClientWinSocket* client_socket_;
  Serving serving_ = Serving::kWaiting;  // guarded by the server's connection lock
};

}  // namespace qv::platform
