// The request server on its own, for the load scripts (request_rate.sh): a connection server on
// 127.0.0.1 with the process-wide objects of the service, in a temporary state directory of its own or
// in the one given (which holds the accounts and mailboxes to serve; its settings are overwritten). It
// prints "listening on 127.0.0.1:PORT" and serves until its standard input ends.
//
//   request_server [--port N] [--max-connections N] [--trace-detailness N] [--logging 0|1]
//                  [--logon-cache-seconds N] [--state-dir DIR]
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "config/settings_snapshot.h"
#include "exchange/calendar_store_driver.h"
#include "logging/request_log.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "platform/com/com.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/registry/registry.h"
#include "server/connection_server.h"

namespace {

constexpr const char* kSettingsKey = "Software\\HOLLBERG\\Qvan";

void SetSetting(const std::string& name, uint32_t type, const std::string& data) {
  qv::platform::RegKey key;
  if (qv::platform::RegCreateKeyEx(qv::platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0,
                                   qv::platform::KEY_ALL_ACCESS, key.Receive(),
                                   nullptr) != qv::platform::ERROR_SUCCESS ||
      qv::platform::RegSetValueEx(key.Get(), name, type, data) != qv::platform::ERROR_SUCCESS)
    throw qv::Exception("Cannot write the setting " + name);
}

void SetDword(const std::string& name, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  SetSetting(name, qv::platform::REG_DWORD,
             std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)});
}

void SetText(const std::string& name, const std::string& text) {
  SetSetting(name, qv::platform::REG_SZ, text + '\0');
}

int Serve(const std::map<std::string, int32_t>& options, const std::string& state_dir) {
  SetDword("Port", options.at("--port"));
  SetDword("MaxConnections", options.at("--max-connections"));
  SetDword("TraceDetailness", options.at("--trace-detailness"));
  SetDword("logging", options.at("--logging"));
  SetDword("LogonCacheSeconds", options.at("--logon-cache-seconds"));
  SetText("TraceFile", state_dir + "/log/Qvan.trace");
  SetText("LogFile", state_dir + "/log/Qvan.log");

  qv::TWCConfig config;
  qv::ProcessWide<qv::TWCConfig>::Installation config_installed(qv::Config, config);
  qv::TWCEventLog event_log;
  qv::ProcessWide<qv::TWCEventLog>::Installation event_log_installed(qv::EventLog, event_log);
  qv::TWCTraceWriter trace_writer;
  qv::ProcessWide<qv::TWCTraceWriter>::Installation trace_installed(qv::TraceWriter, trace_writer);
  qv::THtmlLogWriter request_log;
  qv::ProcessWide<qv::THtmlLogWriter>::Installation request_log_installed(qv::RequestLog, request_log);

  // The request handler's messaging library, as the service sets it up: the calendar store in the
  // process's multithreaded apartment.
  qv::platform::CoInitializeEx(nullptr, qv::platform::COINIT_MULTITHREADED);
  qv::RegisterCalendarStoreDriver();

  qv::TSocketSrv server;
  server.SetAddress("127.0.0.1");
  server.SetActive(true);
  std::cout << "listening on 127.0.0.1:" << server.LocalPort() << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  server.SetActive(false);
  qv::platform::CoUninitialize();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, int32_t> options = {{"--port", 0},
                                            {"--max-connections", 64},
                                            {"--trace-detailness", 0},
                                            {"--logging", 1},
                                            {"--logon-cache-seconds", 300}};
  std::string given_state_dir;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if ((!options.contains(name) && name != "--state-dir") || i + 1 == argc) {
      std::fprintf(stderr,
                   "usage: request_server [--port N] [--max-connections N] [--trace-detailness N] "
                   "[--logging 0|1] [--logon-cache-seconds N] [--state-dir DIR]\n");
      return 2;
    }
    if (name == "--state-dir")
      given_state_dir = argv[++i];
    else
      options[name] = std::stoi(argv[++i]);
  }
  const std::string state_dir =
      given_state_dir.empty() ? qv::platform::CreateTemporaryDirectory("qvbench-server-") : given_state_dir;
  qv::platform::SetEnvironmentVariable("QUORVANE_STATE_DIR", state_dir);
  int result = 1;
  try {
    result = Serve(options, state_dir);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "request_server: %s\n", error.what());
  }
  if (given_state_dir.empty()) qv::platform::DeleteTree(state_dir);
  return result;
}
