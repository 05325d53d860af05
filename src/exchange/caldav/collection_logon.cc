#include "exchange/caldav/collection_logon.h"

#include <map>
#include <memory>
#include <mutex>

#include "config/settings_snapshot.h"
#include "exchange/logon_cache.h"
#include "platform/clock/clock.h"
#include "store/caldav/collection_client.h"
#include "store/caldav/mirror_refresh.h"

namespace qv::caldav {

namespace {

// What this process knows of one mailbox's mirror.
struct MirrorGate {
  std::mutex refreshing;  // held through a refresh
  bool refreshed = false;
  uint32_t refreshed_tick = 0;
};

MirrorGate& GateOf(const std::string& key) {
  static std::mutex gates_mutex;
  static std::map<std::string, std::unique_ptr<MirrorGate>> gates;
  const std::lock_guard<std::mutex> lock(gates_mutex);
  std::unique_ptr<MirrorGate>& gate = gates[key];
  if (!gate) gate = std::make_unique<MirrorGate>();
  return *gate;
}

bool IsFresh(const MirrorGate& gate, int32_t refresh_seconds) {
  if (!gate.refreshed || refresh_seconds <= 0) return false;
  return platform::GetTickCount() - gate.refreshed_tick < static_cast<uint32_t>(refresh_seconds) * 1000U;
}

}  // namespace

CollectionSettings MachineCollectionSettings() {
  CollectionSettings settings;
  if (Config.Exists()) {
    settings.http = {Config->CalDAVConnectTimeOut, Config->CalDAVReadTimeOut, Config->CalDAVCAFile};
    settings.refresh_seconds = Config->CalDAVRefreshSeconds;
  } else {
    TWCRegistry registry;
    settings.http = {registry.GetCalDAVConnectTimeOut(), registry.GetCalDAVReadTimeOut(),
                     registry.GetCalDAVCAFile()};
    settings.refresh_seconds = registry.GetCalDAVRefreshSeconds();
  }
  return settings;
}

CollectionLogon LogOnToCollection(CalendarStore& store, const MailboxRecord& mailbox,
                                  const std::string& password, const CollectionSettings& settings,
                                  Refresh refresh) {
  const CalDAVBinding& binding = *mailbox.caldav;
  const std::string collection = binding.url + "\n" + binding.user;
  MirrorGate& gate = GateOf(store.Database().Path() + "\n" + std::to_string(mailbox.id) + "\n" + collection);
  const std::lock_guard<std::mutex> lock(gate.refreshing);

  CollectionLogon logon;
  const std::string cache_key = "CalDAV\n" + collection;
  const bool vouched = LogonCache.Exists() && LogonCache->Find(cache_key, password, std::nullopt).has_value();
  if (vouched && refresh == Refresh::kWhenDue && IsFresh(gate, settings.refresh_seconds)) {
    logon.accepted = true;
    return logon;
  }
  CollectionClient client(binding, password, settings.http);
  try {
    logon.notes = RefreshMirror(store.Database(), mailbox.id, client).notes;
  } catch (const ECalDAVLogonRefused&) {
    return logon;
  }
  gate.refreshed = true;
  gate.refreshed_tick = platform::GetTickCount();
  if (LogonCache.Exists()) LogonCache->RememberForLifetime(cache_key, password, {binding.user, "CalDAV", {}});
  logon.accepted = true;
  return logon;
}

}  // namespace qv::caldav
