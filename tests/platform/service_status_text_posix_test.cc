// What a service process tells systemd: its state words, and the line of a failed start, which stays
// the status text once the service has stopped. systemd is stood in for by a datagram socket that
// NOTIFY_SOCKET names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/services/service_dispatcher.h"
#include "testing/service_sandbox.h"

namespace qv::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The notifications sent to the socket, one text each.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~NotifySocket() {
    if (fd_ >= 0) close(fd_);
  }
  bool Bound() const { return bound_; }

  std::vector<std::string> Received() {
    std::vector<std::string> texts;
    pollfd wait = {fd_, POLLIN, 0};
    while (poll(&wait, 1, 0) > 0) {
      char buffer[4096];
      const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
      if (got <= 0) break;
      texts.emplace_back(buffer, static_cast<size_t>(got));
    }
    return texts;
  }

 private:
  int fd_;
  bool bound_ = false;
};

SERVICE_STATUS StatusOf(uint32_t state) {
  SERVICE_STATUS status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  if (state == SERVICE_STOPPED) status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
  return status;
}

TEST(ServiceStatusText, AFailedStartsLineStaysTheStatusOnceTheServiceHasStopped) {
  testing::ServiceSandbox sandbox;
  const std::string socket_path = sandbox.Path() + "/notify";
  NotifySocket systemd(socket_path);
  ASSERT_TRUE(systemd.Bound());
  sandbox.SetEnvironment("NOTIFY_SOCKET", socket_path);

  EXPECT_FALSE(SetServiceStatusText(SERVICE_STATUS_HANDLE{1}, "no dispatcher"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  bool text_set = false;
  ASSERT_TRUE(StartServiceCtrlDispatcher(
      {{"StatusText", [&](const std::vector<std::string>&) {
          const SERVICE_STATUS_HANDLE handle =
              RegisterServiceCtrlHandlerEx("StatusText", [](uint32_t, uint32_t) { return 0u; });
          SetServiceStatus(handle, StatusOf(SERVICE_START_PENDING));
          text_set = SetServiceStatusText(handle, "cannot listen on 0.0.0.0:80:\nin use");
          SetServiceStatus(handle, StatusOf(SERVICE_STOPPED));
        }}}));
  EXPECT_TRUE(text_set);
  // Line breaks would end systemd's field: the text arrives as one line.
  EXPECT_THAT(systemd.Received(),
              ElementsAre(HasSubstr("STATUS=Starting"), "STATUS=cannot listen on 0.0.0.0:80: in use",
                          "STATUS=cannot listen on 0.0.0.0:80: in use"));
}

TEST(ServiceStatusText, WithoutALineAStoppedServiceSaysStopped) {
  testing::ServiceSandbox sandbox;
  const std::string socket_path = sandbox.Path() + "/notify";
  NotifySocket systemd(socket_path);
  ASSERT_TRUE(systemd.Bound());
  sandbox.SetEnvironment("NOTIFY_SOCKET", socket_path);
  ASSERT_TRUE(StartServiceCtrlDispatcher({{"StatusText", [&](const std::vector<std::string>&) {
                                             const SERVICE_STATUS_HANDLE handle =
                                                 RegisterServiceCtrlHandlerEx(
                                                     "StatusText", [](uint32_t, uint32_t) { return 0u; });
                                             SetServiceStatus(handle, StatusOf(SERVICE_STOPPED));
                                           }}}));
  EXPECT_THAT(systemd.Received(), ElementsAre("STATUS=Stopped"));
}

}  // namespace
}  // namespace qv::platform
