#include "service/service_application.h"

#include <atomic>
#include <ostream>
#include <thread>

#include "platform/accounts/accounts.h"
#include "platform/accounts/logon_configuration.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/process/module.h"
#include "platform/services/service_control.h"
#include "platform/services/service_dispatcher.h"
#include "platform/text/text_compare.h"
#include "platform/threads/thread.h"
#include "platform/window_messages/window_messages.h"
#include "support/platform_error.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

bool IsSystemServiceAccount(const std::string& account) {
  return account.empty() || platform::CompareTextIgnoreCase(account, platform::kLocalSystemAccount) == 0 ||
         platform::CompareTextIgnoreCase(account, std::string(".\\") + platform::kLocalSystemAccount) == 0;
}

// The account must log on with its password, as the service will have to.
void CheckServiceAccount(const TService& service) {
  if (IsSystemServiceAccount(service.ServiceStartName)) return;
  const size_t separator = service.ServiceStartName.find('\\');
  const std::string domain =
      separator == std::string::npos ? std::string() : service.ServiceStartName.substr(0, separator);
  const std::string user = separator == std::string::npos ? service.ServiceStartName
                                                          : service.ServiceStartName.substr(separator + 1);
  std::unique_ptr<platform::AccessToken> token;
  if (!platform::LogonUser(user, domain, service.Password, platform::LogonType::kService, &token))
    RaiseLastPlatformError();
}

// The program's path as a command line: quoted when it holds a blank, so that no shorter path can be
// taken for the program.
std::string ProgramCommandLine() {
  const std::string path = platform::GetModuleFileName();
  if (path.find_first_of(" \t") == std::string::npos) return path;
  return "\"" + path + "\"";
}

}  // namespace

TServiceApplication::TServiceApplication(std::vector<std::string> arguments, std::ostream& out,
                                         std::ostream& err)
    : arguments_(std::move(arguments)), out_(out), err_(err) {}

TServiceApplication::~TServiceApplication() {
  if (!service_) return;
  if (service_->OnDestroy) {
    try {
      service_->OnDestroy(*service_);
    } catch (const std::exception& error) {
      service_->LogMessage(std::string("Service failed on destroy: ") + error.what());
    }
  }
  service_.reset();
}

void TServiceApplication::Adopt(std::unique_ptr<TService> service) {
  service_ = std::move(service);
  service_->Parameters = arguments_;
  if (service_->OnCreate) service_->OnCreate(*service_);
}

bool TServiceApplication::HasSwitch(const std::string& name) const {
  for (const auto& argument : arguments_) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
    if (platform::CompareTextIgnoreCase(argument.substr(1), name) == 0) return true;
  }
  return false;
}

int TServiceApplication::Run() {
  if (!service_) {
    err_ << "No service object to run\n";
    return 1;
  }
  const bool silent = HasSwitch("SILENT");
  if (HasSwitch("INSTALL")) return Install(silent);
  if (HasSwitch("UNINSTALL")) return Uninstall(silent);
  return RunService();
}

int TServiceApplication::Install(bool silent) {
  TService& service = *service_;
  try {
    if (service.BeforeInstall) service.BeforeInstall(service);
    CheckServiceAccount(service);
    const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) RaiseLastPlatformError();
    const platform::ServiceHandle entry(platform::CreateService(
        manager.Get(), service.Name, service.DisplayName.empty() ? service.Name : service.DisplayName,
        platform::SERVICE_ALL_ACCESS, platform::SERVICE_WIN32_OWN_PROCESS, platform::SERVICE_AUTO_START,
        platform::SERVICE_ERROR_NORMAL, ProgramCommandLine(), "", nullptr, "", service.ServiceStartName,
        service.Password));
    if (!entry) RaiseLastPlatformError();
    bool logon_configuration_written = false;
    try {
      if (!platform::InstallLogonConfiguration(&logon_configuration_written)) RaiseLastPlatformError();
      if (service.AfterInstall) service.AfterInstall(service);
    } catch (...) {
      platform::DeleteService(entry.Get());
      if (logon_configuration_written) platform::RemoveLogonConfiguration();
      throw;
    }
  } catch (const std::exception& error) {
    err_ << "Service \"" << (service.DisplayName.empty() ? service.Name : service.DisplayName)
         << "\" failed to install with error: \"" << error.what() << "\"\n";
    return 1;
  }
  if (!silent) out_ << "Service installed successfully\n";
  return 0;
}

int TServiceApplication::Uninstall(bool silent) {
  TService& service = *service_;
  try {
    if (service.BeforeUninstall) service.BeforeUninstall(service);
    const platform::ServiceHandle manager(platform::OpenSCManager("", "", platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) RaiseLastPlatformError();
    const platform::ServiceHandle entry(
        platform::OpenService(manager.Get(), service.Name, platform::SERVICE_ALL_ACCESS));
    if (!entry) RaiseLastPlatformError();
    if (!platform::DeleteService(entry.Get())) RaiseLastPlatformError();
  } catch (const std::exception& error) {
    err_ << "Service \"" << (service.DisplayName.empty() ? service.Name : service.DisplayName)
         << "\" failed to uninstall with error: \"" << error.what() << "\"\n";
    return 1;
  }
  // The service is gone: a clean-up step that fails now is told, but the removal has succeeded.
  try {
    if (!platform::RemoveLogonConfiguration()) RaiseLastPlatformError();
    if (service.AfterUninstall) service.AfterUninstall(service);
  } catch (const std::exception& error) {
    err_ << "Service \"" << (service.DisplayName.empty() ? service.Name : service.DisplayName)
         << "\" was uninstalled, with a warning: \"" << error.what() << "\"\n";
  }
  if (!silent) out_ << "Service uninstalled successfully\n";
  return 0;
}

int TServiceApplication::RunService() {
  TService& service = *service_;
  const std::vector<platform::SERVICE_TABLE_ENTRY> table = {
      {service.Name, [&service](const std::vector<std::string>& arguments) { service.Main(arguments); }}};
  // The dispatcher runs on a thread of its own while this thread dispatches its window messages
  // until the service has stopped: the windows of the objects this thread made (the file writers'
  // error reports arrive there) are served for the whole life of the service.
  const uint32_t this_thread = platform::GetCurrentThreadId();
  platform::Msg message;
  platform::PeekMessage(&message, 0, 0, 0, platform::PM_NOREMOVE);  // makes this thread's queue
  std::atomic<bool> finished{false};
  bool dispatched = false;
  uint32_t error = 0;
  std::thread dispatcher([&] {
    dispatched = platform::StartServiceCtrlDispatcher(table);
    if (!dispatched) error = platform::GetLastError();
    finished = true;
    platform::PostThreadMessage(this_thread, platform::WM_QUIT, 0, 0);
  });
  const auto dispatch = [this](const platform::Msg& got) {
    try {
      platform::DispatchMessage(&got);
    } catch (const std::exception& failure) {
      err_ << "Unhandled exception in a window message: " << failure.what() << "\n";
    }
  };
  while (!finished) {
    const int got = platform::GetMessage(&message, 0, 0, 0);
    if (got < 0) break;
    if (got > 0) dispatch(message);  // a quit (got 0) that is not the dispatcher's is passed over
  }
  dispatcher.join();
  // What came in while the service stopped, the dispatcher's quit among it.
  while (platform::PeekMessage(&message, 0, 0, 0, platform::PM_REMOVE))
    if (message.message != platform::WM_QUIT) dispatch(message);
  if (!dispatched) {
    err_ << "Service \"" << (service.DisplayName.empty() ? service.Name : service.DisplayName)
         << "\" cannot run: \"" << GetWinErrorText(static_cast<int32_t>(error)) << "\"\n";
    return 1;
  }
  return service.EndedCleanly() ? 0 : 1;
}

}  // namespace qv
