// A service object for the tests of the service framework and the service control manager. Its
// behaviour is chosen by environment variables (a service started by the manager inherits the
// starter's environment), and it writes every event it sees, one line each, to a log file:
//   QV_TEST_SERVICE_NAME          service name (default "QvTestService"); display name "<name> display"
//   QV_TEST_SERVICE_LOG           the log file (no log when unset)
//   QV_TEST_SERVICE_START         "fail" (Started false) or "raise"
//   QV_TEST_SERVICE_STOP          "refuse" (Stopped false) or "hang" (the handler waits, up to 20 s, for
//                                 the file QV_TEST_SERVICE_LOG + ".release")
//   QV_TEST_SERVICE_AFTER_INSTALL "raise"
//   QV_TEST_SERVICE_AFTER_UNINSTALL "raise"
//   QV_TEST_SERVICE_NO_PAUSE      set: AllowPause false
//   QV_TEST_SERVICE_WAIT_HINT     milliseconds (default 300)
// The program also takes them from its command line as "/Set:NAME=VALUE" (for a service that the
// system's manager starts, which does not get the starter's environment).
// BeforeInstall takes "/ServiceStartName=" and "/Password=" from the command line (case-sensitive
// prefixes); BeforeUninstall stops a running service with StopServiceAndWait first.
#pragma once

#include <mutex>
#include <string>

#include "service/service.h"

namespace qv::testing {

inline constexpr const char* kTestServiceName = "QvTestService";

class TestService : public TService {
 public:
  TestService();

 private:
  void Log(const std::string& line);

  std::mutex log_mutex_;
  std::string log_file_;
};

// The program built from tests/service/test_service_main.cc.
std::string TestServiceProgram();

}  // namespace qv::testing
