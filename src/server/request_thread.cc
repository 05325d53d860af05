#include "server/request_thread.h"

#include <exception>
#include <stdexcept>
#include <string>

#include "config/settings_snapshot.h"
#include "logging/password_mask.h"
#include "logging/trace_writer.h"
#include "net/socket_error.h"
#include "net/socket_stream.h"
#include "platform/clock/clock.h"
#include "server/request_errors.h"

namespace qv {

namespace {

constexpr int32_t kReadChunk = 10;  // bytes asked for by each read

// A read that fails because the peer dropped the connection reports the system code 64 (network name
// no longer available) or 233 (no process at the other end); the message shows it in decimal.
bool IsDroppedConnection(const std::string& message) {
  return message.find("64") != std::string::npos || message.find("233") != std::string::npos;
}

// Milliseconds left of the wait time-out counted from the connection's accept (INFINITE stays so):
// a client that sends a byte now and then holds its request thread no longer than a silent one.
uint32_t WaitLeft(uint32_t accepted_tick, uint32_t wait_timeout) {
  if (wait_timeout == platform::INFINITE) return wait_timeout;
  const uint32_t spent = platform::GetTickCount() - accepted_tick;  // modulo 2^32
  return spent >= wait_timeout ? 0 : wait_timeout - spent;
}

}  // namespace

// The working values of one run of the thread body, which the exception report prints.
struct TSrvThread::Reception {
  std::string sReadBuffer;      // the latest read
  std::string sIncomingData;    // received and not yet consumed
  std::string sIncomingHeader;  // the complete request header, once recognised
  std::string sResponse;        // the answer to send
  int32_t iReadTimeOut = 0;     // ms, one read
  int32_t iWaitTimeOut = 0;     // ms, the longest wait for the next data
  int32_t iReadCount = 0;       // bytes of the latest read
  // The latest read as the report shows it: a piece may hold part of a password whose "P=" came in an
  // earlier piece, which the trace could not tell from the piece alone.
  PasswordMask stream_mask;
  std::string sReadBufferShown;
};

TSrvThread::TSrvThread(net::TServerClientWinSocket* client_socket) : TServerClientThread(client_socket) {}

// The body ends the thread on every path: after the answer, on a wait that timed out, on a read that
// found nothing (a time-out or the peer's end), and on an error that ends the loop. It closes the
// socket itself on the time-out and error paths; after an answer the platform closes it.
void TSrvThread::ClientExecute() {
  Reception r;
  r.iReadTimeOut = Config->SocketTimeOut;
  r.iWaitTimeOut = Config->ServerTimeOut;
  try {
    Receive(r);
  } catch (...) {
    HandleOuterError(r, std::current_exception());
  }
}

void TSrvThread::Receive(Reception& r) {
  // Negative time-outs wrap around to very long ones (-1 is INFINITE), as on Windows.
  net::TWinSocketStream stream(*ClientSocket(), static_cast<uint32_t>(r.iReadTimeOut));
  const uint32_t accepted_tick = ClientSocket()->AcceptedTick();
  while (!Terminated() && ClientSocket()->Connected()) {
    try {
      // The whole request must come within the wait time-out of the accept; past it, the wait counts
      // as run out, also when more data is there.
      const uint32_t wait = WaitLeft(accepted_tick, static_cast<uint32_t>(r.iWaitTimeOut));
      if (wait == 0 || !stream.WaitForData(wait)) {
        TraceTimeOut();
        TerminateAndClose();
        continue;
      }
      if (Terminated() || !ClientSocket()->Connected()) continue;
      r.sReadBuffer.assign(kReadChunk, '\0');
      r.sReadBufferShown = r.sReadBuffer;
      r.iReadCount = stream.Read(r.sReadBuffer.data(), kReadChunk);
      if (r.iReadCount == 0) {
        TraceTimeOut();
        TerminateAndClose();
        continue;
      }
      r.sReadBuffer.resize(static_cast<size_t>(r.iReadCount));
      r.sReadBufferShown = r.stream_mask.Next(r.sReadBuffer);
      r.sIncomingData += r.sReadBuffer;
      if (ExtractHeader(r.sIncomingData, r.sIncomingHeader)) {
        // A stop or pause that came first has ended this thread: the request gets no answer.
        if (!BeginAnswer()) continue;
        if (TraceWriter->TraceDetailness >= 3) TraceWriter->Trace(r.sIncomingHeader + "\r\n", 3);
        r.sResponse = HandleRequest(r.sIncomingHeader);
        // One send; the count it reports is not looked at. The platform closes the connection when
        // the body returns, which marks the end of the response.
        ClientSocket()->SendText(r.sResponse);
        Terminate();
      }
    } catch (...) {
      HandleReadStepError(r);
    }
  }
}

void TSrvThread::HandleReadStepError(Reception&) {
  try {
    throw;
  } catch (const net::ESocketError& error) {
    TraceWriter->Trace("Socket error " + error.Message(), 3);
    TerminateAndClose();
    if (IsDroppedConnection(error.Message())) return;
    throw;
  } catch (const ERangeError& error) {
    TraceWriter->Trace("Socket error " + error.Message(), 3);
  } catch (const std::out_of_range& error) {
    TraceWriter->Trace(std::string("Socket error ") + error.what(), 3);
  } catch (...) {
    Terminate();
    throw;
  }
}

void TSrvThread::HandleOuterError(const Reception& r, std::exception_ptr error) {
  try {
    try {
      std::rethrow_exception(error);
    } catch (const WCException& reported) {
      // Reported where it was raised.
      TraceWriter->Trace("Socket error " + reported.Message(), 3);
      TerminateAndClose();
    } catch (...) {
      const std::string message = ErrorMessage(std::current_exception());
      ReportException(r, message);
      for (int i = 0; i < 2; ++i) {
        TraceWriter->Trace("Socket error " + message, 3);
        TerminateAndClose();
      }
    }
  } catch (...) {
    // Only a failure to build a text can get here; the thread ends all the same.
    TerminateAndClose();
  }
}

void TSrvThread::ReportException(const Reception& r, const std::string& message) {
  TraceExceptionReport(
      message, kRequestThreadClass,
      [&] {
        return "Thread ID: " + std::to_string(ThreadID()) +
               " ClientSocket: " + ClientSocket()->RemoteAddress() + ":" +
               std::to_string(ClientSocket()->RemotePort());
      },
      [&] {
        return "sReadBuffer: " + r.sReadBufferShown + " sIncomingData: " + r.sIncomingData +
               " sIncomingHeader: " + r.sIncomingHeader + " sResponse: " + r.sResponse +
               " iReadTimeOut: " + std::to_string(r.iReadTimeOut) +
               " iWaitTimeOut: " + std::to_string(r.iWaitTimeOut) +
               " iReadCount: " + std::to_string(r.iReadCount);
      });
}

void TSrvThread::TraceTimeOut() {
  if (TraceWriter->TraceDetailness < 3) return;
  TraceWriter->Trace("SocketTimeOut - Thread ID: " + std::to_string(ThreadID()) + " ClientSocket: " +
                         ClientSocket()->RemoteAddress() + ":" + std::to_string(ClientSocket()->RemotePort()),
                     3);
}

void TSrvThread::TerminateAndClose() {
  Terminate();
  ClientSocket()->Close();
}

}  // namespace qv
