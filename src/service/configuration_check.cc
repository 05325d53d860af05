#include "service/configuration_check.h"

#include <exception>
#include <iomanip>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "config/settings_check.h"
#include "config/settings_registry.h"
#include "exchange/deck_settings.h"
#include "exchange/startup_checks.h"
#include "net/listen_addresses.h"
#include "net/socket_error.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/files/shared_file.h"
#include "platform/files/state_dir.h"
#include "platform/process/module.h"
#include "platform/services/service_control.h"
#include "platform/sockets/tcp_socket.h"
#include "service/quorvane_service.h"
#include "store/calendar_store.h"
#include "support/general_functions.h"
#include "support/state_directory_check.h"

namespace qv {

namespace {

class CheckReport {
 public:
  CheckReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void Note(const std::string& text) { out_ << text << "\n"; }
  void Problem(const std::string& text) {
    err_ << "quorvane: " << text << "\n";
    ++problems_;
  }
  int Finish() {
    if (problems_ == 0) {
      out_ << "The configuration is good.\n";
      return 0;
    }
    err_ << "quorvane: " << problems_ << (problems_ == 1 ? " problem" : " problems") << " found\n";
    return 1;
  }
  std::ostream& Out() { return out_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  int problems_ = 0;
};

const SettingInEffect& InEffect(const std::vector<SettingInEffect>& settings, std::string_view name) {
  for (const SettingInEffect& setting : settings)
    if (setting.row->name == name) return setting;
  throw std::logic_error("no setting is named " + std::string(name));
}

std::string WithoutTrailingDelimiter(std::string path) {
  while (path.size() > 1 && platform::IsPathDelimiter(path.back())) path.pop_back();
  return path;
}

// Why the file cannot be written, in the system's words; nothing when it can, or when a writer holds
// it already (the running service). A missing file is made and removed again; a missing folder is
// fine when its parent is there, since the writer makes one folder level.
std::optional<std::string> WriteProblem(const std::string& path) {
  if (platform::DirectoryExists(path)) return std::string("it is a folder");
  platform::SharedFile file;
  if (platform::FileExists(path)) {
    if (file.OpenForWriting(path) || platform::GetLastError() == platform::ERROR_SHARING_VIOLATION)
      return std::nullopt;
    return platform::SystemErrorText(platform::GetLastError());
  }
  const std::string folder = WithoutTrailingDelimiter(ExtractFilePath(path));
  if (!folder.empty() && !platform::DirectoryExists(folder)) {
    const std::string parent = WithoutTrailingDelimiter(ExtractFilePath(folder));
    if (!parent.empty() && platform::DirectoryExists(parent)) return std::nullopt;
    return "its folder \"" + folder + "\" is not there";
  }
  if (!file.CreateNew(path)) return platform::SystemErrorText(platform::GetLastError());
  file.Close();
  platform::DeleteFile(path);
  return std::nullopt;
}

void CheckFile(CheckReport& report, const char* what, const std::string& path) {
  if (const std::optional<std::string> problem = WriteProblem(path))
    report.Problem("cannot write the " + std::string(what) + " \"" + path + "\": " + *problem);
  else
    report.Note("The " + std::string(what) + " \"" + path + "\" can be written.");
}

void CheckFiles(CheckReport& report, const std::vector<SettingInEffect>& settings) {
  const SettingInEffect& logging = InEffect(settings, "logging");
  const SettingInEffect& log_file = InEffect(settings, "LogFile");
  if (logging.number == 0)
    report.Note("No request log is written (logging 0).");
  else if (!log_file.unusable)
    CheckFile(report, "request log", log_file.text);
  const SettingInEffect& detail = InEffect(settings, "TraceDetailness");
  const SettingInEffect& trace_file = InEffect(settings, "TraceFile");
  if (detail.unusable || trace_file.unusable) return;
  if (detail.number <= 0 || trace_file.text.empty())
    report.Note("No trace is written (TraceDetailness " + std::to_string(detail.number) +
                (trace_file.text.empty() ? ", TraceFile empty)." : ")."));
  else
    CheckFile(report, "trace file", trace_file.text);
}

void CheckCharSet(CheckReport& report, const std::vector<SettingInEffect>& settings) {
  const SettingInEffect& charset = InEffect(settings, "CharSet");
  if (!charset.unusable && !IsPlainCharSetName(charset.text))
    report.Problem("CharSet \"" + charset.text +
                   "\" is no character-set name (letters, digits and -_.: only): the service does not start");
}

void CheckCalendarStore(CheckReport& report) {
  try {
    const std::string program = TWCRegistry().GetExchangeImagePath();
    if (const std::optional<std::string> problem = InformationStoreProblem(program))
      report.Problem(*problem);
    else
      report.Note("The information store's program \"" + program + "\" is registered.");
    const std::string store =
        platform::PlatformStateDirectory() + platform::PathDelimiter() + CalendarStore::kFileName;
    if (!platform::FileExists(store)) {
      report.Note(
          "There is no calendar store yet (qvanctl mailbox add makes it): phones get the logon form.");
      return;
    }
    const size_t mailboxes = CalendarStore(store).ListMailboxes().size();
    report.Note("The calendar store \"" + store + "\" holds " + std::to_string(mailboxes) +
                (mailboxes == 1 ? " mailbox." : " mailboxes."));
  } catch (const std::exception& error) {
    report.Problem("the calendar store: " + std::string(error.what()));
  }
}

// Whether the service holds its port: it runs, or is on its way.
bool ServiceRuns() {
  const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_CONNECT));
  const platform::ServiceHandle service(
      platform::OpenService(manager.Get(), TQuorvane::kServiceName, platform::SERVICE_QUERY_STATUS));
  platform::SERVICE_STATUS status;
  // A paused service has let its port go.
  return service && platform::QueryServiceStatus(service.Get(), &status) &&
         status.dwCurrentState != platform::SERVICE_STOPPED &&
         status.dwCurrentState != platform::SERVICE_PAUSED;
}

// Listens on the address and port as the service would, and lets go at once. An address the system
// has no family for is passed over when it may be left out (the default's IPv6).
void CheckListen(CheckReport& report, const std::string& address, int32_t port, bool only_where_available) {
  platform::TcpSocket socket;
  std::string failed_call;
  if (socket.Listen(address, static_cast<uint16_t>(port), 1, &failed_call)) {
    report.Note("Port " + std::to_string(port) + " can be bound on " + address + ".");
    return;
  }
  const uint32_t code = platform::GetLastError();
  if (only_where_available && (code == platform::WSAEAFNOSUPPORT || code == platform::WSAEADDRNOTAVAIL))
    return;
  if (code == platform::WSAEADDRINUSE && ServiceRuns()) {
    report.Note("Port " + std::to_string(port) + " on " + address + " is in use by the running service.");
    return;
  }
  try {
    net::RaiseListenError(code, failed_call, address, port);
  } catch (const net::ESocketError& error) {
    report.Problem(error.Message());
  }
}

void CheckPort(CheckReport& report, const std::vector<SettingInEffect>& settings) {
  const SettingInEffect& port = InEffect(settings, "Port");
  const SettingInEffect& listen = InEffect(settings, "ListenAddress");
  if (port.number < 1 || port.number > 0xFFFF || listen.unusable) return;  // reported with the settings
  const std::vector<std::string> addresses = net::SplitListenAddresses(listen.text);
  if (addresses.empty()) {
    CheckListen(report, "0.0.0.0", port.number, false);
    CheckListen(report, "::", port.number, true);
  }
  for (const std::string& address : addresses) CheckListen(report, address, port.number, false);
}

}  // namespace

int RunConfigurationCheck(std::ostream& out, std::ostream& err) {
  CheckReport report(out, err);
  if (const std::string refusal = StateDirectoryRefusal("quorvane --check"); !refusal.empty()) {
    report.Problem(refusal);
    return report.Finish();
  }
  std::vector<RegistryValue> values;
  try {
    values = ReadServiceSettingValues();
  } catch (const std::exception& error) {
    report.Problem(error.what());
    return report.Finish();
  }
  for (const RegistryValue& value : values)
    if (const std::optional<std::string> problem = SettingValueProblem(value)) report.Problem(*problem);
  const std::vector<SettingInEffect> settings = SettingsInEffect(values);
  CheckCharSet(report, settings);

  report.Note("Settings in effect (HKEY_LOCAL_MACHINE\\Software\\HOLLBERG\\Qvan):");
  for (const SettingInEffect& setting : settings)
    report.Out() << "  " << std::left << std::setw(22) << setting.row->name << ShownValue(setting) << "\n";
  CheckFiles(report, settings);
  CheckCalendarStore(report);
  CheckPort(report, settings);
  return report.Finish();
}

}  // namespace qv
