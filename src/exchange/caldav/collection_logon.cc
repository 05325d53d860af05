#include "exchange/caldav/collection_logon.h"

#include <map>
#include <memory>
#include <mutex>

#include "config/settings_snapshot.h"
#include "exchange/logon_cache.h"
#include "platform/clock/clock.h"
#include "platform/text/ascii_text.h"
#include "store/caldav/collection_client.h"
#include "store/caldav/discovery.h"
#include "store/caldav/mirror_refresh.h"
#include "support/date_time.h"

namespace qv::caldav {

namespace {

// What this process knows of one mailbox's mirror.
struct MirrorGate {
  std::mutex refreshing;  // held through a refresh
  bool refreshed = false;
  uint32_t refreshed_tick = 0;
};

// The gates of the mailboxes this process has refreshed, and of those being logged on to; a gate
// that never saw a refresh goes with its last user, so that names tried in vain (any name reaches
// the server with the collection template) leave nothing behind.
class GateTable {
 public:
  std::shared_ptr<MirrorGate> Acquire(const std::string& key) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<MirrorGate>& gate = gates_[key];
    if (!gate) gate = std::make_shared<MirrorGate>();
    return gate;
  }
  // Called with the gate's lock released; `refreshed` as the gate told it while its lock was held.
  void Release(const std::string& key, std::shared_ptr<MirrorGate> gate, bool refreshed) {
    const std::lock_guard<std::mutex> lock(mutex_);
    gate.reset();
    const auto found = gates_.find(key);
    if (!refreshed && found != gates_.end() && found->second.use_count() == 1) gates_.erase(found);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<MirrorGate>> gates_;
};

GateTable& Gates() {
  static GateTable gates;
  return gates;
}

// Holds a mailbox's gate, locked, for one logon.
class HeldGate {
 public:
  explicit HeldGate(std::string key) : key_(std::move(key)), gate_(Gates().Acquire(key_)) {
    gate_->refreshing.lock();
  }
  ~HeldGate() {
    const bool refreshed = gate_->refreshed;
    gate_->refreshing.unlock();
    Gates().Release(key_, std::move(gate_), refreshed);
  }
  HeldGate(const HeldGate&) = delete;
  HeldGate& operator=(const HeldGate&) = delete;
  MirrorGate& operator*() const { return *gate_; }

 private:
  const std::string key_;
  std::shared_ptr<MirrorGate> gate_;
};

// The template's mailboxes unused for the days chosen go, looked for once an hour per process.
void DropIdleTemplateMailboxes(CalendarStore& store, int32_t keep_days) {
  static std::mutex mutex;
  static bool looked = false;
  static uint32_t looked_tick = 0;
  if (keep_days <= 0) return;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const uint32_t now = platform::GetTickCount();
    if (looked && now - looked_tick < 3600U * 1000U) return;
    looked = true;
    looked_tick = now;
  }
  store.DropIdleTemplateMailboxes(Now() - keep_days);
}

// Stores the template's mailbox at its first accepted logon; another request or process may have
// stored it meanwhile.
int64_t StoreTemplateMailbox(CalendarStore& store, const MailboxRecord& mailbox,
                             const CalDAVBinding& binding) {
  try {
    store.AddCalDAVMailbox(mailbox.name, mailbox.display_name, binding);
  } catch (const ECalendarStoreError&) {
    // Taken meanwhile: the store's mailbox is used below.
  }
  const std::optional<MailboxRecord> stored = store.FindMailbox(mailbox.name);
  if (!stored || !stored->caldav)
    throw ECalendarStoreError("The mailbox \"" + mailbox.name +
                              "\" cannot be stored for the collection template");
  if (stored->caldav->collection != binding.collection)
    store.SetCalDAVCollection(stored->id, binding.collection);
  return stored->id;
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
    settings.collection_template = Config->CalDAVCollectionTemplate;
    settings.template_keep_days = Config->CalDAVTemplateKeepDays;
  } else {
    TWCRegistry registry;
    settings.http = {registry.GetCalDAVConnectTimeOut(), registry.GetCalDAVReadTimeOut(),
                     registry.GetCalDAVCAFile()};
    settings.refresh_seconds = registry.GetCalDAVRefreshSeconds();
    settings.collection_template = registry.GetCalDAVCollectionTemplate();
    settings.template_keep_days = registry.GetCalDAVTemplateKeepDays();
  }
  return settings;
}

CollectionLogon LogOnToCollection(CalendarStore& store, const MailboxRecord& mailbox,
                                  const std::string& password, const CollectionSettings& settings,
                                  Refresh refresh) {
  CalDAVBinding binding = *mailbox.caldav;
  const std::string collection_key = binding.url + "\n" + binding.user;
  const HeldGate gate(store.Database().Path() + "\n" + AsciiLowerCase(mailbox.name) + "\n" + collection_key);

  CollectionLogon logon;
  int64_t id = mailbox.id;
  const std::string cache_key = "CalDAV\n" + collection_key;
  const bool vouched = LogonCache.Exists() && LogonCache->Find(cache_key, password, std::nullopt).has_value();
  if (id != 0 && vouched && refresh == Refresh::kWhenDue && IsFresh(*gate, settings.refresh_seconds)) {
    logon.accepted = true;
    logon.mailbox_id = id;
    return logon;
  }
  if (id == 0) {
    // A template's mailbox that another request stored while this one waited.
    const std::optional<MailboxRecord> stored = store.FindMailbox(mailbox.name);
    if (stored && stored->caldav && stored->caldav->url == binding.url) {
      id = stored->id;
      binding = *stored->caldav;
    }
  }
  const auto find = [&] {
    binding.collection = FindCollection({binding.url, binding.user, password, binding.allow_http},
                                        binding.calendar, settings.http)
                             .url;
    if (id != 0) store.SetCalDAVCollection(id, binding.collection);
  };
  const auto bring_up_to_date = [&] {
    CalDAVBinding collection = binding;
    collection.url = binding.collection;
    CollectionClient client(collection, password, settings.http);
    logon.notes = RefreshMirror(store.Database(), id, client).notes;
  };
  try {
    const bool found_now = binding.collection.empty();
    if (found_now) find();
    if (id == 0) id = StoreTemplateMailbox(store, mailbox, binding);
    try {
      bring_up_to_date();
    } catch (const ECalDAVCollectionGone&) {
      // A collection found at a server's address earlier is looked for there again (the calendar
      // deleted or renamed); one the binding names itself is the administrator's to mend.
      if (found_now || binding.collection == binding.url) throw;
      find();
      bring_up_to_date();
    }
  } catch (const ECalDAVLogonRefused&) {
    return logon;
  }
  if (binding.from_template) {
    store.NoteCalDAVUse(id, Now());
    DropIdleTemplateMailboxes(store, settings.template_keep_days);
  }
  (*gate).refreshed = true;
  (*gate).refreshed_tick = platform::GetTickCount();
  if (LogonCache.Exists()) LogonCache->RememberForLifetime(cache_key, password, {binding.user, "CalDAV", {}});
  logon.accepted = true;
  logon.mailbox_id = id;
  return logon;
}

}  // namespace qv::caldav
