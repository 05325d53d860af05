#include "net/server_client_thread.h"

#include "platform/errors/unhandled_exception.h"

namespace qv::net {

using namespace platform;

namespace {

TServerSocket& ServerOf(TServerClientWinSocket* client_socket) {
  Assert(client_socket != nullptr, "A connection thread needs a client socket");
  return client_socket->ServerWinSocket();
}

}  // namespace

TServerClientThread::TServerClientThread(TServerClientWinSocket* client_socket)
    : server_(ServerOf(client_socket)), client_socket_(client_socket) {}

TServerClientThread::~TServerClientThread() {
  // A thread the server has taken over frees itself on its own thread after its end. One that was
  // started through the base class before it was taken over waits at the start of its body: it is
  // let go and waited for.
  if (Suspended() || ThreadID() == GetCurrentThreadId()) return;
  server_.Dismiss(*this);
  WaitFor();
}

bool TServerClientThread::BeginAnswer() {
  return server_.BeginAnswer(*this);
}

void TServerClientThread::Execute() {
  // Only a thread started through the base class can get here before the server has taken it over.
  if (!server_.WaitUntilServing(*this)) return;
  try {
    ClientExecute();
  } catch (...) {
    ShowUnhandledException(std::current_exception());
  }
  server_.EndConnection(*this);
}

}  // namespace qv::net
