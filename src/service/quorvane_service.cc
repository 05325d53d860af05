#include "service/quorvane_service.h"

#include <cstring>
#include <exception>
#include <iostream>

#include "config/settings_snapshot.h"
#include "exchange/startup_checks.h"
#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "platform/locale/locale.h"
#include "server/connection_server.h"
#include "store/information_store.h"
#include "support/service_functions.h"

namespace qv {

namespace {

// Event ids of the message catalogue.

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// True when the service is paused: it still runs (its process, its writers) though it does not listen.
bool IsServicePaused(const std::string& machine_name, const std::string& service_name) {
  const platform::ServiceHandle manager = OpenServiceManager(machine_name);
  const platform::ServiceHandle service(
      platform::OpenService(manager.Get(), service_name, platform::SERVICE_QUERY_STATUS));
  platform::SERVICE_STATUS status;
  return service && platform::QueryServiceStatus(service.Get(), &status) &&
         status.dwCurrentState == platform::SERVICE_PAUSED;
}

}  // namespace

TQuorvane::TQuorvane() : TService(kServiceName) {
  OnCreate = [this](TService& sender) { ServiceCreate(sender); };
  OnDestroy = [this](TService& sender) { ServiceDestroy(sender); };
  BeforeInstall = [this](TService& sender) { ServiceBeforeInstall(sender); };
  AfterInstall = [this](TService& sender) { ServiceAfterInstall(sender); };
  BeforeUninstall = [this](TService& sender) { ServiceBeforeUninstall(sender); };
  AfterUninstall = [this](TService& sender) { ServiceAfterUninstall(sender); };
  OnStart = [this](TService& sender, bool& started) { ServiceStart(sender, started); };
  OnStop = [this](TService& sender, bool& stopped) { ServiceStop(sender, stopped); };
  OnPause = [this](TService& sender, bool& paused) { ServicePause(sender, paused); };
  OnContinue = [this](TService& sender, bool& continued) { ServiceContinue(sender, continued); };
  OnParamChange = [this](TService& sender) { ServiceParamChange(sender); };
}

// Also when the application frees the object without its destroy handler having run.
TQuorvane::~TQuorvane() = default;

void TQuorvane::ServiceCreate(TService&) {
  AllowStop = true;
  AllowPause = true;
  DisplayName = kDisplayName;
  SocketSrv = std::make_unique<TSocketSrv>();
}

void TQuorvane::ServiceDestroy(TService&) {
  SocketSrv.reset();
}

void TQuorvane::ServiceStart(TService&, bool& Started) {
  // The checks report their own refusals; an error one of them raises leaves the handler, and the
  // framework reports the failed start.
  std::string refusal;
  const platform::LocaleInfo& locale = platform::CurrentLocale();
  if (!CheckCdoVersion(locale, &refusal) || !CheckExchangeVersion(locale, &refusal)) {
    Started = false;
    RefuseStart(refusal);
    return;
  }
  try {
    SocketSrv->SetActive(true);
    Started = true;
    EventLog->WriteEvent(eltInformation, 0, QV_MSG_SERVICE_STATE, "started");
    TraceWriter->Trace("Qvan started", 2);
  } catch (const std::exception& error) {
    Started = false;
    EventLog->WriteEvent(eltError, 0, QV_MSG_SOCKET_ERROR, error.what());
    TraceWriter->Trace(std::string("Socket error ") + error.what(), 1);
    RefuseStart(error.what());
  }
}

void TQuorvane::RefuseStart(const std::string& cause) {
  // Standard error reaches the terminal of a foreground start, the journal under systemd and the
  // service's console file under qvanctl sc start.
  std::cerr << "quorvane: " << cause << std::endl;
  ReportStatusText(cause);
}

void TQuorvane::SwitchServer(bool active, const char* state_word, bool& succeeded) {
  try {
    SocketSrv->SetActive(active);
    succeeded = true;
    EventLog->WriteEvent(eltInformation, 0, QV_MSG_SERVICE_STATE, state_word);
    TraceWriter->Trace(std::string("Qvan ") + state_word, 2);
  } catch (const std::exception& error) {
    succeeded = false;
    EventLog->WriteEvent(eltError, 0, QV_MSG_SOCKET_ERROR, error.what());
    TraceWriter->Trace(error.what(), 1);
  }
}

void TQuorvane::ServiceStop(TService&, bool& Stopped) {
  SwitchServer(false, "stopped", Stopped);
}

void TQuorvane::ServicePause(TService&, bool& Paused) {
  SwitchServer(false, "paused", Paused);
}

void TQuorvane::ServiceContinue(TService&, bool& Continued) {
  SwitchServer(true, "continued", Continued);
}

void TQuorvane::ServiceParamChange(TService&) {
  TraceWriter->Trace("Qvan parameters changed: the settings take effect at the next start", 2);
}

void TQuorvane::ServiceBeforeInstall(TService&) {
  // A later argument with the same prefix overrides an earlier one; others are not looked at here.
  for (const std::string& parameter : Parameters) {
    if (StartsWith(parameter, kServiceStartNamePrefix))
      ServiceStartName = parameter.substr(std::strlen(kServiceStartNamePrefix));
    else if (StartsWith(parameter, kPasswordPrefix))
      Password = parameter.substr(std::strlen(kPasswordPrefix));
  }
}

void TQuorvane::ServiceAfterInstall(TService&) {
  Config->WriteDescription();
  Config->RegisterEventMessageFile();
  // The first start needs an information store; the calendar store stands in where none is
  // registered. Its outcome is no reason to fail: the start says what is missing.
  RegisterStoreProgram(StoreProgramFile(), false);
  EventLog->WriteEvent(eltInformation, 0, QV_MSG_TEXT, "The Quorvane has installed.");
}

void TQuorvane::ServiceBeforeUninstall(TService&) {
  // The helpers raise when the manager or the service cannot be opened (not installed, say): removal
  // then ends here, before anything is deleted.
  const std::string computer = GetLocalComputerName();
  // A paused service is stopped as well: left alone it would stay behind as a process nobody can
  // control any more, its entry waiting for a stop that never comes.
  if (IsServiceRunning(computer, Name) || IsServicePaused(computer, Name)) StopServiceAndWait(computer, Name);
  Config->DeleteEventSource();
  Config->DeleteDescription();
  EventLog->WriteEvent(eltInformation, 0, QV_MSG_TEXT, "The Quorvane has uninstalled.");
}

void TQuorvane::ServiceAfterUninstall(TService&) {
  // Left alone, the service control manager would go on showing it as a stopped service named Qvan.
  Config->DeleteEarlierDescription();
}

}  // namespace qv
