// Shared pieces of the request server's tests: the process-wide objects built from settings in a
// fresh state directory (short time-outs), a connection server on 127.0.0.1, clients over loopback,
// and what the trace, the request log and the event log hold afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/registry_fixture.h"
#include "config/wc_config.h"
#include "exchange/calendar_store_driver.h"
#include "logging/log_file_helpers.h"
#include "logging/wc_event_log.h"
#include "logging/wc_html_log_writer.h"
#include "logging/wc_trace_writer.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/event_log.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/tcp_socket.h"
#include "server/wc_socket_srv.h"
#include "testing/event_log_testing.h"
#include "testing/machine_registry.h"
#include "testing/message_pump.h"

namespace qv::testing {

// Generous, for sanitizers on a loaded machine; only failing tests wait this long.
constexpr uint32_t kPatience = 20000;

// The settings a test runs with; the time-outs are short so that silent clients end soon.
struct ServerSettings {
  int32_t max_connections = 20;
  int32_t server_timeout_ms = 3000;
  int32_t socket_timeout_ms = 1000;
  int32_t trace_detailness = 3;
  bool logging = true;
  int32_t port = 0;  // 0: a free port picked by the system
};

// Number of non-overlapping occurrences of a text in another.
inline size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The settings snapshot, the event log, the trace writer and the request log of one test, installed
// as the process-wide objects for its life.
class ServerEnvironment {
 public:
  explicit ServerEnvironment(const ServerSettings& settings = {}) {
    constexpr const char* kKey = "Software\\HOLLBERG\\Qvan";
    SetDword(kKey, "Port", settings.port);
    SetDword(kKey, "ServerTimeOut", settings.server_timeout_ms);
    SetDword(kKey, "SocketTimeOut", settings.socket_timeout_ms);
    SetDword(kKey, "MaxConnections", settings.max_connections);
    SetDword(kKey, "TraceDetailness", settings.trace_detailness);
    SetDword(kKey, "logging", settings.logging ? 1 : 0);
    SetText(kKey, "TraceFile", TraceFile());
    SetText(kKey, "LogFile", LogFile());
    config_.emplace();
    config_installed_.emplace(Config, *config_);
    event_log_.emplace();
    event_log_installed_.emplace(EventLog, *event_log_);
    trace_writer_.emplace();
    trace_installed_.emplace(TraceWriter, *trace_writer_);
    request_log_.emplace();
    request_log_installed_.emplace(RequestLog, *request_log_);
    // The request handler's messaging library, as the service sets it up at start: the calendar store
    // of the state directory, in the process's multithreaded apartment.
    EXPECT_TRUE(platform::SUCCEEDED(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED)));
    RegisterCalendarStoreDriver();
  }

  ~ServerEnvironment() {
    platform::CoUninitialize();
    request_log_installed_.reset();
    request_log_.reset();
    trace_installed_.reset();
    trace_writer_.reset();
    event_log_installed_.reset();
    event_log_.reset();
    config_installed_.reset();
    config_.reset();
  }

  const std::string& StateDirectory() const { return dir_.Path(); }
  std::string TraceFile() const { return dir_.File("trace/Qvan.trace"); }
  std::string LogFile() const { return dir_.File("log/Qvan.log"); }

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
    std::vector<platform::EventLogRecord> events = Events(event_id);
    while (events.size() < count && platform::GetTickCount() - start < kPatience) {
      platform::Sleep(10);
      events = Events(event_id);
    }
    return events;
  }

  // The events of one id, oldest first.
  static std::vector<platform::EventLogRecord> Events(uint32_t event_id) {
    std::vector<platform::EventLogRecord> events = ReadAllEvents();
    std::erase_if(events, [&](const platform::EventLogRecord& event) { return event.EventID != event_id; });
    return events;
  }

 private:
  static void SetDword(const std::string& key_path, const std::string& name, int32_t value) {
    SetValue(key_path, name, platform::REG_DWORD, DwordBytes(static_cast<uint32_t>(value)));
  }
  static void SetText(const std::string& key_path, const std::string& name, const std::string& text) {
    SetValue(key_path, name, platform::REG_SZ, Sz(text));
  }
  static void SetValue(const std::string& key_path, const std::string& name, uint32_t type,
                       const std::string& data) {
    SetMachineValue(key_path, name, type, data);
  }

  EventLogTestDir dir_;
  std::optional<TWCConfig> config_;
  std::optional<ProcessWide<TWCConfig>::Installation> config_installed_;
  std::optional<TWCEventLog> event_log_;
  std::optional<ProcessWide<TWCEventLog>::Installation> event_log_installed_;
  std::optional<TWCTraceWriter> trace_writer_;
  std::optional<ProcessWide<TWCTraceWriter>::Installation> trace_installed_;
  std::optional<THtmlLogWriter> request_log_;
  std::optional<ProcessWide<THtmlLogWriter>::Installation> request_log_installed_;
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
