// The thread that serves one connection of a TServerSocket (TServerClientThread).
//
// It is created suspended for the client socket that the server's OnGetThread handler was given and
// is handed to the server by that handler. The server starts it when it takes it over, so a thread
// never runs for a connection the server does not know, and a handler that fails after creating (and
// "starting") a thread can simply let it go. The body, ClientExecute, runs once. When it returns (or raises,
// which is reported on standard error), the server closes and frees the client socket, calls OnThreadEnd on
// this thread, and the thread ends and frees itself. A thread is never reused for another connection.
#pragma once

#include "net/server_socket.h"
#include "platform/threads/thread.h"

namespace qv::net {

class TServerClientThread : public platform::Thread {
 public:
  explicit TServerClientThread(TServerClientWinSocket* client_socket);
  // A thread that its server never took over has never run and is simply freed.
  ~TServerClientThread() override;

  // The server starts the thread when it takes it over; Resume called before that (as a thread
  // provider does) leaves the start to the server, and afterwards the thread runs already.
  void Resume() {}

  // The connection's socket; null once the body has returned.
  TServerClientWinSocket* ClientSocket() const { return client_socket_; }
  TServerSocket& ServerSocket() const { return server_; }

 protected:
  // The thread body: serves the connection.
  virtual void ClientExecute() = 0;
  // Called by the body once it holds a whole request, before it starts the answer: from then on a
  // deactivation of the server lets it finish its answer (for the server's StopTimeOut) instead of
  // ending it at once. False when a deactivation has ended the thread already: it must not answer.
  bool BeginAnswer();

 private:
  friend class TServerSocket;
  enum class Serving { kWaiting, kServing, kDismissed };

  void Execute() final;

  TServerSocket& server_;
  TServerClientWinSocket* client_socket_;
  Serving serving_ = Serving::kWaiting;  // guarded by the server's connection lock
};

}  // namespace qv::net
