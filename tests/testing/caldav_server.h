// A real CalDAV server for one test (Linux only, like the CalDAV client): Radicale or Xandikos on a
// free port of 127.0.0.1, serving a temporary directory, with one calendar collection that the user
// jdoe (password kCalDAVPassword) owns. Radicale checks passwords (an htpasswd file); Xandikos has no
// authentication of its own and takes any. Events go up as a client uploads them, one resource per
// UID, with PUT (a UID's resource named after it); the server is stopped and its directory removed with the
// object.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/files/file_system.h"
#include "platform/process/process.h"
#include "store/caldav/http_exchange.h"
#include "store/calendar_import.h"
#include "store/ical_reader.h"
#include "testing/loopback_client.h"

namespace qv::testing {

constexpr const char* kCalDAVUser = "jdoe";
constexpr const char* kCalDAVPassword = "caldav-Secret1";

enum class CalDAVServerKind { kRadicale, kXandikos };

inline std::string ServerName(CalDAVServerKind kind) {
  return kind == CalDAVServerKind::kRadicale ? "Radicale" : "Xandikos";
}

// A calendar written by UID: the VTIMEZONEs, and the VEVENTs of each UID.
struct ClientCalendar {
  std::string time_zones;
  std::vector<std::pair<std::string, std::string>> events;  // UID, its VEVENTs

  static std::string Wrap(const std::string& body) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//Client//EN\r\n" + body + "END:VCALENDAR\r\n";
  }
  std::string File() const {
    std::string body = time_zones;
    for (const auto& [uid, vevents] : events) body += vevents;
    return Wrap(body);
  }
};

class CalDAVServer {
 public:
  explicit CalDAVServer(CalDAVServerKind kind)
      : kind_(kind), directory_(platform::CreateTemporaryDirectory("qv-caldav-")), port_(FreeLoopbackPort()) {
    const std::string port = std::to_string(port_);
    bool started = false;
    if (kind == CalDAVServerKind::kRadicale) {
      platform::WriteWholeFile(directory_ + "/users",
                               std::string(kCalDAVUser) + ":" + kCalDAVPassword + "\n");
      platform::WriteWholeFile(directory_ + "/config",
                               "[server]\nhosts = 127.0.0.1:" + port +
                                   "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " + directory_ +
                                   "/users\nhtpasswd_encryption = plain\ndelay = 0\n"
                                   "[storage]\nfilesystem_folder = " +
                                   directory_ +
                                   "/collections\n[rights]\ntype = owner_only\n"
                                   "[logging]\nlevel = warning\n");
      started = process_.Start("radicale", {"--config", directory_ + "/config"}, directory_ + "/server.log");
      collection_ = "/" + std::string(kCalDAVUser) + "/calendar/";
    } else {
      started = process_.Start("xandikos",
                               {"-d", directory_ + "/data", "--defaults", "-l", "127.0.0.1", "-p", port},
                               directory_ + "/server.log");
      collection_ = "/user/calendars/calendar/";
    }
    EXPECT_TRUE(started) << ServerName(kind) << " cannot be started";
    const uint32_t begun = platform::GetTickCount();
    while (started && !Accepts(port_) && platform::GetTickCount() - begun < kPatience) platform::Sleep(50);
    if (kind == CalDAVServerKind::kRadicale) {
      // The user's principal comes with its first request; the calendar is made in it.
      Send("PROPFIND", "/" + std::string(kCalDAVUser) + "/", "", {"Depth: 0"});
      EXPECT_EQ(Send("MKCALENDAR", collection_, "").status, 201);
    }
  }
  CalDAVServer(const CalDAVServer&) = delete;
  CalDAVServer& operator=(const CalDAVServer&) = delete;
  ~CalDAVServer() {
    if (process_.ProcessId() != 0) platform::TerminateProcessById(process_.ProcessId(), 1);
    uint32_t exit_code = 0;
    process_.Wait(&exit_code);
    platform::DeleteTree(directory_);
  }

  CalDAVServerKind Kind() const { return kind_; }
  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string CollectionUrl() const { return Url(collection_); }

  caldav::HttpAnswer Send(const std::string& method, const std::string& path, const std::string& body,
                          std::vector<std::string> headers = {}) const {
    caldav::HttpRequest request;
    request.method = method;
    request.url = Url(path);
    request.user = kCalDAVUser;
    request.password = kCalDAVPassword;
    request.headers = std::move(headers);
    request.body = body;
    return caldav::SendHttp(request, {5000, 20000, ""});
  }

  // As a client writes one event: PUT of its resource, named after its UID.
  void Put(const std::string& uid, const std::string& resource) const {
    const long status =
        Send("PUT", collection_ + uid + ".ics", resource, {"Content-Type: text/calendar; charset=utf-8"})
            .status;
    EXPECT_TRUE(status == 201 || status == 204) << uid << ": " << status;
  }
  // An iCalendar file uploaded as a client does: a resource per UID with its overridden instances and
  // every zone of the file.
  void UploadFile(const std::string& ics) const {
    std::string zones;
    std::map<std::string, std::string> events;
    for (const ical::Component& calendar : ical::ReadCalendarFile(ics)) {
      for (const ical::Component& component : calendar.components) {
        if (component.name == "VTIMEZONE") ical::WriteComponent(component, true, &zones);
        if (component.name == "VEVENT") ical::WriteComponent(component, true, &events[EventUid(component)]);
      }
    }
    for (const auto& [uid, vevents] : events) Put(uid, ClientCalendar::Wrap(zones + vevents));
  }
  void Delete(const std::string& uid) const {
    const long status = Send("DELETE", collection_ + uid + ".ics", "").status;
    EXPECT_TRUE(status == 200 || status == 204) << uid << ": " << status;
  }

 private:
  const CalDAVServerKind kind_;
  const std::string directory_;
  const uint16_t port_;
  std::string collection_;
  platform::ChildProcess process_;
};

}  // namespace qv::testing
