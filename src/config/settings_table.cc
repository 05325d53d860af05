#include "config/settings_table.h"

#include <array>
#include <stdexcept>

#include "platform/text/ascii_text.h"

namespace qv {

namespace {

constexpr int32_t kMaxMs = 3600000;  // an hour, the longest time-out that makes sense here
constexpr int32_t kDay = 86400;

constexpr SettingRow Number(std::string_view name, int32_t value, int32_t minimum, int32_t maximum,
                            bool written_back, std::string_view note, std::string_view meaning) {
  return {name, SettingType::kNumber, value, {}, SettingDefault::kFixed, minimum, maximum, written_back, note,
          meaning};
}

constexpr SettingRow Text(std::string_view name, std::string_view value, SettingDefault source,
                          bool written_back, std::string_view note, std::string_view meaning) {
  return {name, SettingType::kText, 0, value, source, 0, 0, written_back, note, meaning};
}

constexpr auto kSettings = std::to_array<SettingRow>({
    Number("Port", 80, 1, 65535, true, "", "the TCP port the service listens on, on every `ListenAddress`"),
    Text("ListenAddress", "", SettingDefault::kFixed, false, "every IPv4 and IPv6 address",
         "the addresses the service listens on, separated by commas or blanks, such as `127.0.0.1, ::1`"),
    Number("ServerTimeOut", 60000, 1, kMaxMs, false, "",
           "milliseconds a connection has to deliver its whole request, counted from its accept"),
    Number("SocketTimeOut", 1000, 1, kMaxMs, false, "", "milliseconds allowed for one read"),
    Number("MaxConnections", 20, 1, 10000, false, "", "requests served at once; more are refused (event 111)"),
    Number("StopTimeOut", 5000, 0, kMaxMs, false, "",
           "milliseconds a stop or pause lets the requests that arrived whole finish their answers; the "
           "others end at once"),
    Number("LogonFailureLimit", 5, 1, 1000, false, "",
           "failed logons of one mailbox in a row before its password checks are spaced out"),
    Number("LogonRetryDelay", 1000, 0, kMaxMs, false, "",
           "milliseconds between two checks of such a mailbox, doubling with each further failure; a "
           "logon in between gets the error card unchecked (event 122)"),
    Number("LogonRetryDelayMax", 60000, 0, kMaxMs, false, "",
           "the longest space between two checks; a successful logon ends the spacing"),
    Number("LogonCacheSeconds", 300, 0, kDay, false, "",
           "seconds a verified password is kept (as a keyed digest), so that a phone's next pages skip the "
           "password check; at most 86400; 0 turns the cache off. A password change, deletion or disabling "
           "with `qvanctl account` takes effect on the next request; for system accounts (PAM) a change "
           "takes effect when the entry expires"),
    Number("CalDAVConnectTimeOut", 3000, 1, kMaxMs, false, "",
           "milliseconds a CalDAV server has to accept a connection (and finish TLS)"),
    Number("CalDAVReadTimeOut", 5000, 1, kMaxMs, false, "",
           "milliseconds a CalDAV server has for one whole answer once connected"),
    Number("CalDAVRefreshSeconds", 10, 0, kDay, false, "",
           "seconds a CalDAV mailbox's mirror counts as current for a logon the logon cache vouches for; 0 "
           "asks the server on every request"),
    Text("CalDAVCAFile", "", SettingDefault::kFixed, false, "the system's certificates",
         "a file of the certificates of a private authority that CalDAV servers' https is verified against"),
    Text("CalDAVCollectionTemplate", "", SettingDefault::kFixed, false, "off: mailboxes need registration",
         "the CalDAV address of a mailbox that is not registered, with `{mailbox}` for its name "
         "(percent-encoded), e.g. `https://dav.example.org/` or "
         "`https://dav.example.org/calendars/{mailbox}/work/`: the name is the server's user, whose "
         "calendar is found there as for `qvanctl mailbox add --caldav`"),
    Number("CalDAVTemplateKeepDays", 30, 0, 36500, false, "",
           "days a mailbox made from `CalDAVCollectionTemplate` is kept with its mirror after its last "
           "logon; 0 keeps it"),
    Text("DeckHeader", "Quorvane", SettingDefault::kFixed, true, "",
         "the title of every deck, shown as written (`&`, `<` and `$` included)"),
    Text("CharSet", "iso-8859-1", SettingDefault::kFixed, false, "",
         "the character set named in the decks: letters, digits and `-_.:` only, else the service does not "
         "start; unless it is `windows-1252`, the euro sign, curly quotes, dashes and the like go out as "
         "character references, and under a set other than `iso-8859-1` (such as `utf-8`) every letter "
         "beyond ASCII does"),
    Text("DateFormat", "", SettingDefault::kLocaleShortDate, false, "",
         "dates of the calendar pages (e.g. `dd.mm.yyyy`)"),
    Text("TimeFormat", "", SettingDefault::kLocaleShortTime, false, "",
         "times of the calendar pages (e.g. `hh:nn`)"),
    Text("TraceFile", "Qvan.trace", SettingDefault::kBesideProgram, false,
         "the package sets `/var/log/quorvane/Qvan.trace`", "the trace file"),
    Number("TraceDetailness", 0, 0, 3, false, "no trace",
           "1 failures, 2 notable events, 3 details of every request"),
    Text("LogFile", "Qvan.log", SettingDefault::kBesideProgram, true,
         "the package sets `/var/log/quorvane/Qvan.log`", "the request log"),
    Number("logging", 1, 0, 1, true, "", "0 turns the request log off"),
});

}  // namespace

std::span<const SettingRow> SettingsTable() {
  return kSettings;
}

const SettingRow* FindSetting(std::string_view name) {
  const std::string wanted = AsciiLowerCase(name);
  for (const SettingRow& row : kSettings)
    if (AsciiLowerCase(row.name) == wanted) return &row;
  return nullptr;
}

const SettingRow& Setting(std::string_view name) {
  if (const SettingRow* row = FindSetting(name)) return *row;
  throw std::logic_error("no setting is named " + std::string(name));
}

std::string SettingTypeText(const SettingRow& row) {
  if (row.type == SettingType::kNumber) return "REG_DWORD";
  return row.written_back ? "REG_SZ" : "REG_SZ or REG_EXPAND_SZ";
}

}  // namespace qv
