#include "testing/wap_gateway.h"

#include "platform/files/file_system.h"

namespace qv::testing {

namespace {

constexpr char kScript[] = "wap-gateway";
constexpr uint32_t kCompiled = 0;
constexpr uint32_t kDeliveredUncompiled = 3;

}  // namespace

WapGateway::WapGateway(uint32_t lifetime_seconds)
    : directory_(platform::CreateTemporaryDirectory("qvgateway-")) {
  const uint32_t exit_code =
      RunE2eScript(kScript, {"start", directory_, "--lifetime", std::to_string(lifetime_seconds)});
  if (exit_code != 0) {
    const std::string log = WapboxLog();
    platform::DeleteTree(directory_);
    throw EWapHarnessError("The WAP gateway did not start (exit code " + std::to_string(exit_code) + ")" +
                           (log.empty() ? "" : "; wapbox log:\n" + log));
  }
}

WapGateway::~WapGateway() {
  try {
    RunE2eScript(kScript, {"stop", directory_});
  } catch (const Exception&) {
    // The watchdog that start left behind stops the gateway in the end.
  }
  platform::DeleteTree(directory_);
}

WapFetch WapGateway::Fetch(const std::string& url) {
  const std::string body_file = directory_ + "/fetch-" + std::to_string(++fetches_) + ".body";
  const uint32_t exit_code = RunE2eScript(kScript, {"fetch", directory_, url, body_file});
  if (exit_code != kCompiled && exit_code != kDeliveredUncompiled) {
    throw EWapHarnessError("No reply through the WAP gateway for " + url + " (exit code " +
                           std::to_string(exit_code) + ")");
  }
  WapFetch result;
  if (!platform::ReadWholeFile(body_file, &result.body)) throw EWapHarnessError("Cannot read " + body_file);
  for (const auto& [key, value] : ReadReport(body_file + ".report")) {
    if (key == "status") result.status = value;
    if (key == "compiled") result.compiled = value == "yes";
    if (key == "gateway") result.gateway_messages.push_back(value);
  }
  return result;
}

std::string WapGateway::WapboxLog() const {
  std::string log;
  platform::ReadWholeFile(directory_ + "/wapbox.log", &log);
  return log;
}

}  // namespace qv::testing
