// Shared pieces of the fault and load tests of the running service: the program quorvane started in
// the service sandbox with short time-outs and a small connection limit, clients over 127.0.0.1 that
// behave well or badly, and the checks that follow every scenario: the service answers a normal
// request, its threads and open descriptors are back to what they were before the scenario, and the
// request log holds exactly one whole line for each request that was answered.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/sockets/tcp_socket.h"
#include "store/calendar_store_pool.h"
#include "testing/process_resources.h"
#include "testing/quorvane_fixture.h"

namespace qv::testing {

constexpr int32_t kMaxConnections = 4;
constexpr int32_t kServerTimeOutMs = 3000;
constexpr int32_t kSocketTimeOutMs = 500;
// How long the service may take to let go of what a scenario made it hold.
constexpr uint32_t kSettlingMs = 10000;

// What a client saw of one connection.
struct Exchange {
  bool connected = false;
  std::string answer;   // every byte received
  bool closed = false;  // the service closed (or reset) the connection; false: still open at the time-out
};

// Connects, sends the bytes (none: stays silent) and reads until the service closes the connection
// or timeout_ms pass. A connection the service refuses reads as closed with no answer.
inline Exchange Talk(uint16_t port, const std::string& bytes, uint32_t timeout_ms) {
  Exchange exchange;
  platform::TcpSocket client;
  if (!client.Connect("127.0.0.1", port, kPatience)) return exchange;
  exchange.connected = true;
  if (!bytes.empty() && !client.Send(bytes)) {
    exchange.closed = true;
    return exchange;
  }
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    const uint32_t spent = platform::GetTickCount() - start;
    if (spent >= timeout_ms) return exchange;
    size_t received = 0;
    if (!client.Receive(timeout_ms - spent, 65536, &exchange.answer, &received)) {
      // A reset ends the connection as well; a time-out leaves it open.
      exchange.closed = platform::GetLastError() != platform::WSAETIMEDOUT;
      return exchange;
    }
    if (received == 0) {
      exchange.closed = true;
      return exchange;
    }
  }
}

// The request a gateway forwards for the logon form; n makes it one of its own in the request log.
inline std::string LogonRequestPath(int n) {
  return "/?U=&P=secret&E=CA&X=" + std::to_string(n);
}
inline std::string LogonRequest(int n) {
  return "GET " + LogonRequestPath(n) + " HTTP/1.0\r\nHost: 127.0.0.1\r\nx-up-devcap-max-pdu: 1400\r\n\r\n";
}
// The path as the request log shows it, the password masked.
inline std::string LoggedPath(const std::string& path) {
  std::string logged = path;
  const size_t at = logged.find("P=");
  const size_t end = logged.find('&', at);
  if (at != std::string::npos) logged.replace(at + 2, end - at - 2, "********");
  return logged;
}

// The request path of a whole request-log line: a time stamp, the client's address, the GET line (with
// the carriage return that ended it when other header lines followed). Nothing for anything else.
inline std::optional<std::string> LoggedRequestPath(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::string address = " 127.0.0.1 GET /?";
  const std::string protocol = " HTTP/1.0";
  const size_t at = line.find(address);
  if (at == std::string::npos || at == 0 || line.front() == ' ' || line[at - 1] == ' ') return std::nullopt;
  if (line.size() < at + address.size() + protocol.size() ||
      line.compare(line.size() - protocol.size(), protocol.size(), protocol) != 0)
    return std::nullopt;
  if (line.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  const size_t path_start = at + address.size() - 2;
  const std::string path = line.substr(path_start, line.size() - protocol.size() - path_start);
  if (path.find(' ') != std::string::npos) return std::nullopt;
  return path;
}

// Counts what the clients of a scenario saw. Thread-safe.
class Outcomes {
 public:
  void Add(const std::string& path, const Exchange& exchange, const std::string& full_answer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!exchange.connected || (exchange.closed && exchange.answer.empty())) {
      ++refused_;
      unanswered_.push_back(path);
    } else if (exchange.closed && exchange.answer == full_answer) {
      answered_.push_back(path);
    } else if (!exchange.closed) {
      ++unfinished_;
    } else {
      ++garbled_;
    }
  }
  std::vector<std::string> Answered() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return answered_;
  }
  std::vector<std::string> Unanswered() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return unanswered_;
  }
  std::string Summary() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::to_string(answered_.size()) + " answered, " + std::to_string(refused_) +
           " refused or cut off";
  }
  int refused() const { return refused_; }
  int unfinished() const { return unfinished_; }
  int garbled() const { return garbled_; }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> answered_;
  std::vector<std::string> unanswered_;
  int refused_ = 0;
  int unfinished_ = 0;
  int garbled_ = 0;
};

// Client threads that each make up to a number of requests, one after the other, all of them within a
// time limit; a request that answers false ends its client early. They run from construction to Join.
class ClientThreads {
 public:
  using Request = std::function<bool(int client, int request)>;
  ClientThreads(int clients, int requests_per_client, uint32_t time_limit_ms, Request request) {
    const uint32_t start = platform::GetTickCount();
    for (int c = 0; c < clients; ++c) {
      threads_.emplace_back([=] {
        for (int r = 0; r < requests_per_client; ++r) {
          if (platform::GetTickCount() - start > time_limit_ms || !request(c, r)) return;
        }
      });
    }
  }
  ClientThreads(const ClientThreads&) = delete;
  ClientThreads& operator=(const ClientThreads&) = delete;
  ~ClientThreads() { Join(); }

  void Join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

 private:
  std::vector<std::thread> threads_;
};

class ServiceFaultTest : public QuorvaneTest {
 protected:
  void SetUp() override {
    WriteSettings();
    SetMachineDword(kSettingsKey, "ServerTimeOut", kServerTimeOutMs);
    SetMachineDword(kSettingsKey, "SocketTimeOut", kSocketTimeOutMs);
    SetMachineDword(kSettingsKey, "MaxConnections", kMaxConnections);
    CustomiseSettings();
    CreateStore();
    Install();
    StartAndTakeBaseline();
  }

  // The service stops cleanly after every scenario: exit code 0, and nothing from a sanitizer (a
  // leak, a race, a bad access in the service process ends it with another code as well).
  void TearDown() override {
    if (service_process_.ProcessId() != 0) {
      EXPECT_TRUE(Control(platform::SERVICE_CONTROL_STOP, platform::SERVICE_STOPPED));
      EXPECT_EQ(WaitForServiceProcess(), 0u) << FileText(OutputFile());
    }
    EXPECT_THAT(FileText(OutputFile()), ::testing::Not(::testing::HasSubstr("Sanitizer")));
  }

  // Settings of one scenario, written after the common ones.
  virtual void CustomiseSettings() {}

  // Starts the service, has it answer a logon form and a calendar page (so that everything it keeps
  // for later requests exists) and notes what it holds then.
  void StartAndTakeBaseline() {
    ASSERT_EQ(StartService(), platform::SERVICE_RUNNING) << FileText(OutputFile());
    const Exchange form = Talk(port_, LogonRequest(0), kPatience);
    ASSERT_TRUE(form.closed);
    ASSERT_THAT(form.answer, ::testing::StartsWith("HTTP/1.0 200 OK\r\n"));
    logon_form_ = form.answer;
    expected_lines_.push_back(LoggedPath(LogonRequestPath(0)));
    const std::string page = std::string("/?U=") + kMailbox + "&P=" + kMailboxPassword + "&E=&X=0";
    const Exchange list = Talk(port_, "GET " + page + " HTTP/1.0\r\n\r\n", kPatience);
    ASSERT_THAT(list.answer, ::testing::HasSubstr(">10:00 AM Review<"));
    expected_lines_.push_back(LoggedPath(page));
    ASSERT_TRUE(WaitForRequestLogLines(expected_lines_.size()));
    baseline_ = StableResources();
  }

  // What the service holds once it has been the same for a while.
  ProcessResources StableResources() {
    std::optional<ProcessResources> last = ReadProcessResources(service_process_.ProcessId());
    const uint32_t start = platform::GetTickCount();
    for (;;) {
      platform::Sleep(200);
      const std::optional<ProcessResources> now = ReadProcessResources(service_process_.ProcessId());
      if (!now || !last) {
        ADD_FAILURE() << "the service's process table cannot be read";
        return ProcessResources();
      }
      if (*now == *last || platform::GetTickCount() - start > kSettlingMs) return *now;
      last = now;
    }
  }

  // A logon form request of its own number; counted as answered when the whole form came back.
  Exchange Request(int n, Outcomes* outcomes = nullptr, uint32_t timeout_ms = kPatience) {
    const Exchange exchange = Talk(port_, LogonRequest(n), timeout_ms);
    if (outcomes != nullptr) outcomes->Add(LogonRequestPath(n), exchange, logon_form_);
    return exchange;
  }

  std::vector<std::string> RequestLogLines() const {
    std::vector<std::string> lines;
    const std::string text = FileText(RequestLogFile());
    for (size_t from = 0; from < text.size();) {
      size_t end = text.find("\r\n", from);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(from, end - from));
      from = end + 2;
    }
    return lines;
  }

  bool WaitForRequestLogLines(size_t count) const {
    const uint32_t start = platform::GetTickCount();
    while (RequestLogLines().size() < count) {
      if (platform::GetTickCount() - start > kPatience) return false;
      platform::Sleep(10);
    }
    return true;
  }

  // The checks after a scenario: a normal request is answered; the threads and descriptors are back
  // to the baseline; the request log holds one whole line for every answered request (those noted in
  // expected_lines_) and for none other, except that requests in maybe_lines_ (cut off after the
  // service had logged them, or ended by their client) may have one line or none.
  void ExpectRecovered() {
    const int n = next_request_++;
    const Exchange normal = Request(n);
    EXPECT_TRUE(normal.closed);
    EXPECT_EQ(normal.answer, logon_form_);
    expected_lines_.push_back(LoggedPath(LogonRequestPath(n)));

    const ProcessResources now =
        WaitForProcessResources(service_process_.ProcessId(), baseline_, kSettlingMs);
    EXPECT_EQ(now.threads, baseline_.threads)
        << "now " << Describe(now) << ", before " << Describe(baseline_);
    EXPECT_EQ(now.open_files, baseline_.open_files)
        << "now " << Describe(now) << ", before " << Describe(baseline_);
    EXPECT_LE(now.store_files, 3 * CalendarStorePool::kCapacity) << Describe(now);

    ExpectRequestLog();
  }

  void ExpectRequestLog() {
    ASSERT_TRUE(WaitForRequestLogLines(expected_lines_.size()));
    // Let lines still on their way arrive before counting.
    platform::Sleep(300);
    std::multiset<std::string> expected(expected_lines_.begin(), expected_lines_.end());
    const std::set<std::string> maybe(maybe_lines_.begin(), maybe_lines_.end());
    std::multiset<std::string> seen;
    for (const std::string& line : RequestLogLines()) {
      const std::optional<std::string> path = LoggedRequestPath(line);
      if (!path) {
        ADD_FAILURE() << "not a whole request-log line: \"" << line << "\"";
        continue;
      }
      seen.insert(*path);
    }
    for (const std::string& path : seen) {
      const size_t times = seen.count(path);
      const size_t wanted = expected.count(path);
      if (wanted > 0) {
        EXPECT_EQ(times, wanted) << path;
      } else {
        EXPECT_TRUE(maybe.count(path) != 0 && times == 1)
            << "unexpected line for " << path << " (" << times << ")";
      }
    }
    for (const std::string& path : expected) EXPECT_NE(seen.count(path), 0u) << "no line for " << path;
  }

  // Notes the requests that were answered (each must have its line) and those that were not (a line
  // is allowed for them, since the service logs a request before it builds the answer).
  void Note(const Outcomes& outcomes) {
    for (const std::string& path : outcomes.Answered()) expected_lines_.push_back(LoggedPath(path));
    for (const std::string& path : outcomes.Unanswered()) maybe_lines_.push_back(LoggedPath(path));
  }

  int NextRequests(int count) {
    const int first = next_request_;
    next_request_ += count;
    return first;
  }

  size_t EventCount(uint32_t id) {
    size_t count = 0;
    for (const std::string& event : QvanEvents())
      if (event.rfind(std::to_string(id) + " ", 0) == 0) ++count;
    return count;
  }

  // Waits until the service runs the number of threads (request threads come and go).
  bool WaitForThreads(size_t threads) {
    const uint32_t start = platform::GetTickCount();
    for (;;) {
      const std::optional<ProcessResources> now = ReadProcessResources(service_process_.ProcessId());
      if (now && now->threads == threads) return true;
      if (platform::GetTickCount() - start > kPatience) return false;
      platform::Sleep(10);
    }
  }

  std::string logon_form_;
  ProcessResources baseline_;
  std::vector<std::string> expected_lines_;
  std::vector<std::string> maybe_lines_;
  int next_request_ = 1;
};

}  // namespace qv::testing
