#include "service/process_objects.h"

#include <cstdio>
#include <string>

#if QV_CALDAV
#include "exchange/caldav/collection_template.h"
#endif
#include "exchange/calendar_store_driver.h"
#include "exchange/cdo_automation_driver.h"
#include "exchange/deck_settings.h"
#include "platform/com/com.h"
#include "platform/errors/exception.h"
#include "store/calendar_store_pool.h"

namespace qv {

ProcessObjects::Apartment::Apartment() {
  const platform::HRESULT result = platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED);
  if (platform::FAILED(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result));
    throw Exception(std::string("Cannot enter the multithreaded apartment: $") + code);
  }
}

ProcessObjects::Apartment::~Apartment() {
  platform::CoUninitialize();
}

// Each object takes its settings from the ones before it (the writers their files and switches from
// the snapshot), so each is installed before the next is made.
ProcessObjects::ProcessObjects() {
  config_ = std::make_unique<TWCConfig>();
  config_slot_.emplace(Config, *config_);
  event_log_ = std::make_unique<TWCEventLog>();
  event_log_slot_.emplace(EventLog, *event_log_);
  // Of the right type but unusable in a deck: stops the start like a mistyped setting, with an event.
  CheckCharSetSetting();
#if QV_CALDAV
  caldav::CheckCollectionTemplateSetting();
#endif
  trace_writer_ = std::make_unique<TWCTraceWriter>();
  trace_writer_slot_.emplace(TraceWriter, *trace_writer_);
  request_log_ = std::make_unique<THtmlLogWriter>();
  request_log_slot_.emplace(RequestLog, *request_log_);
  apartment_.emplace();
  RegisterCalendarStoreDriver();
  RegisterCdoAutomationDriver();
}

ProcessObjects::~ProcessObjects() {
  // The store's kept connections go with the drivers' users; the state directory stays free to go.
  CalendarStorePool::CloseWaiting();
}

}  // namespace qv
