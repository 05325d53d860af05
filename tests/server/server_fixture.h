// Shared pieces of the request server's tests: the process-wide objects made from settings in a
// fresh state directory (short time-outs), a connection server on 127.0.0.1, clients over loopback,
// and what the trace, the request log and the event log hold afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/errors/last_error.h"
#include "platform/event_log/event_log.h"
#include "platform/sockets/tcp_socket.h"
#include "server/connection_server.h"
#include "store/calendar_store_pool.h"
#include "testing/event_log_testing.h"
#include "testing/file_texts.h"
#include "testing/loopback_client.h"
#include "testing/message_pump.h"
#include "testing/process_objects_fixture.h"

namespace qv::testing {

// The settings a test runs with; the time-outs are short so that silent clients end soon.
struct ServerSettings {
  int32_t max_connections = 20;
  int32_t server_timeout_ms = 3000;
  int32_t socket_timeout_ms = 1000;
  int32_t trace_detailness = 3;
  bool logging = true;
  int32_t port = 0;  // 0: a free port picked by the system
  int32_t logon_cache_seconds = 300;
  int32_t logon_failure_limit = 5;
};

// The process-wide objects of one test, as the service program makes them, from its settings in a
// fresh state directory: the snapshot, the event log, the trace writer and the request log installed,
// the thread in the multithreaded apartment and the calendar store as the messaging library.
class ServerEnvironment {
 public:
  explicit ServerEnvironment(const ServerSettings& settings = {})
      : objects_({{"Port", static_cast<uint32_t>(settings.port)},
                  {"ServerTimeOut", static_cast<uint32_t>(settings.server_timeout_ms)},
                  {"SocketTimeOut", static_cast<uint32_t>(settings.socket_timeout_ms)},
                  {"MaxConnections", static_cast<uint32_t>(settings.max_connections)},
                  {"TraceDetailness", static_cast<uint32_t>(settings.trace_detailness)},
                  {"logging", settings.logging ? 1u : 0u},
                  {"LogonCacheSeconds", static_cast<uint32_t>(settings.logon_cache_seconds)},
                  {"LogonFailureLimit", static_cast<uint32_t>(settings.logon_failure_limit)}}) {}

  const std::string& StateDirectory() { return objects_.State().Path(); }
  // Puts a file that is no database where the calendar store was: every logon's store then fails to
  // open. The kept connections are closed first, since Windows deletes no file that is open.
  bool SpoilCalendarStore() {
    CalendarStorePool::CloseWaiting();
    const std::string path = StateDirectory() + "/calendar.db";
    for (const char* suffix : {"", "-wal", "-shm"}) platform::DeleteFile(path + suffix);
    return platform::WriteWholeFile(path, std::string(4096, 'x'));
  }
  std::string TraceFile() const { return ProcessObjectsFixture::TraceFile(); }
  std::string LogFile() const { return ProcessObjectsFixture::LogFile(); }

  // The trace as written so far.
  std::string Trace() const { return FileText(TraceFile()); }
  // Waits until the trace holds the text at least count times.
  bool WaitForTrace(const std::string& text, size_t count = 1) const {
    return WaitForFile(
        TraceFile(), [&](const std::string& trace) { return CountOf(trace, text) >= count; }, kPatience);
  }
  // Waits until the request log holds the number of lines.
  bool WaitForRequestLines(size_t count) const {
    return WaitForFile(
        LogFile(), [&](const std::string& log) { return SplitLines(log).size() >= count; }, kPatience);
  }
  std::vector<std::string> RequestLines() const { return SplitLines(FileText(LogFile())); }

  // Waits until the event log holds at least count events of the id; the events of that id, oldest first.
  // (A refused client sees its connection closed just before the event is written.)
  static std::vector<platform::EventLogRecord> WaitForEvents(uint32_t event_id, size_t count) {
    const uint32_t start = platform::GetTickCount();
    std::vector<platform::EventLogRecord> events = EventsWithId(event_id);
    while (events.size() < count && platform::GetTickCount() - start < kPatience) {
      platform::Sleep(10);
      events = EventsWithId(event_id);
    }
    return events;
  }

 private:
  ProcessObjectsFixture objects_;
};

// A client connection over loopback.
class TestClient {
 public:
  explicit TestClient(uint16_t port) {
    connected_ = socket_.Connect("127.0.0.1", port, kPatience);
    EXPECT_TRUE(connected_) << "connect: " << platform::GetLastError();
  }

  // Sends the text in pieces of the given size, pausing between them so that they arrive apart.
  bool Send(const std::string& text, size_t piece = std::string::npos, uint32_t pause_ms = 2) {
    if (piece == std::string::npos) return socket_.Send(text);
    for (size_t at = 0; at < text.size(); at += piece) {
      if (!socket_.Send(text.substr(at, piece))) return false;
      if (at + piece < text.size()) platform::Sleep(pause_ms);
    }
    return true;
  }

  // Everything the server sends until it closes the connection; Closed() tells whether it did
  // within the patience (a reset counts as closed).
  std::string ReceiveUntilClosed(uint32_t patience_ms = kPatience) {
    std::string data;
    const uint32_t start = platform::GetTickCount();
    for (;;) {
      const uint32_t spent = platform::GetTickCount() - start;
      if (spent >= patience_ms) return data;
      size_t received = 0;
      if (!socket_.Receive(patience_ms - spent, 64 * 1024, &data, &received)) {
        closed_ = platform::GetLastError() != platform::WSAETIMEDOUT;
        return data;
      }
      if (received == 0) {
        closed_ = true;
        return data;
      }
    }
  }

  // True when nothing arrives and the connection stays open for the time given.
  bool StaysSilent(uint32_t ms) {
    std::string data;
    size_t received = 0;
    return !socket_.Receive(ms, 1, &data, &received) && platform::GetLastError() == platform::WSAETIMEDOUT;
  }

  bool Connected() const { return connected_; }
  bool Closed() const { return closed_; }
  platform::TcpSocket& Socket() { return socket_; }

 private:
  platform::TcpSocket socket_;
  bool connected_ = false;
  bool closed_ = false;
};

// A connection server on a free port of 127.0.0.1, listening.
inline std::unique_ptr<TSocketSrv> StartServer() {
  auto server = std::make_unique<TSocketSrv>();
  server->SetAddress("127.0.0.1");
  server->SetActive(true);
  return server;
}

// Waits until the server counts the given number of running request threads.
inline bool WaitForRequestThreads(const TSocketSrv& server, int32_t count) {
  const uint32_t start = platform::GetTickCount();
  while (server.RequestThreadCount != count) {
    if (platform::GetTickCount() - start > kPatience) return false;
    PumpPendingMessages();
    platform::Sleep(5);
  }
  return true;
}

// A request of the kind a WAP gateway forwards.
inline std::string GatewayRequest(const std::string& query, const std::string& line_end = "\r\n") {
  return "GET /" + query + " HTTP/1.0" + line_end + "Accept: text/vnd.wap.wml" + line_end +
         "x-up-devcap-max-pdu: 1400" + line_end + "User-Agent: Nokia7110/1.0" + line_end + line_end;
}

}  // namespace qv::testing
