// The request thread's dispatch: one request handler per request header.
#include <string>

#include "exchange/request_handler.h"
#include "logging/request_log.h"
#include "logging/trace_writer.h"
#include "server/request_thread.h"

namespace qv {

// The handler lives for this request only and is freed on every path; a failure passes on to the
// thread body, and no response is sent. The request log gets the client's address as the connection
// was accepted: a stop or pause that closes the socket meanwhile must not leave the line without it.
// It masks the password as it stands in the GET line, escapes included.
std::string TSrvThread::HandleRequest(const std::string& sHeader) {
  TWCExchange exchange(this);
  SetRequestValues(sHeader, exchange);
  const std::string get_line = GetFirstLine(sHeader);
  const std::string& address = ClientSocket()->PeerAddress();
  RequestLog->LogRequest(address, get_line, GetParam(sHeader, "P"));
  if (TraceWriter->TraceDetailness >= 3) TraceWriter->Trace("Request from: " + address, 3);
  return exchange.GetResponse();
}

}  // namespace qv
