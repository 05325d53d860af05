#include "platform/server_client_thread.h"

namespace qv::platform {

namespace {

TServerSocket& ServerOf(TServerClientWinSocket* client_socket) {
  Assert(client_socket != nullptr, "A connection thread needs a client socket");
  return client_socket->ServerWinSocket();
}

}  // namespace

TServerClientThread::TServerClientThread(TServerClientWinSocket* client_socket)
    : server_(ServerOf(client_socket)), client_socket_(client_socket) {}

TServerClientThread::~TServerClientThread() {
  // A thread the server has taken over frees itself on its own thread after its end.
  if (Suspended() || ThreadID() == GetCurrentThreadId()) return;
  server_.Dismiss(*this);
  WaitFor();
}

void TServerClientThread::Execute() {
  if (!server_.WaitUntilServing(*this)) return;
  try {
    ClientExecute();
  } catch (...) {
    TServerSocket::ReportUnhandledException(std::current_exception());
  }
  server_.EndConnection(*this);
}

}  // namespace qv::platform
