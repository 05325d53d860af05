// A CalDAV server of the tests' own on 127.0.0.1, for what the real servers never answer: each
// request gets the answer of the last rule added whose method and path are the request's and whose
// words all occur in the request (header and body); a request no rule takes gets 404. It keeps every
// request whole, in order.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "testing/stand_in_origin.h"

namespace qv::testing {

class FakeCalDAVServer {
 public:
  FakeCalDAVServer() : origin_([this](const std::string& request) { return Answer(request); }) {}
  FakeCalDAVServer(const FakeCalDAVServer&) = delete;
  FakeCalDAVServer& operator=(const FakeCalDAVServer&) = delete;

  std::string Url(const std::string& path) const { return origin_.Url(path); }
  std::string Server() const { return origin_.Url(""); }

  // `headers`: further header lines, each ending in CR LF.
  void On(const std::string& method, const std::string& path, int status, const std::string& body,
          std::vector<std::string> words = {}, const std::string& headers = "") {
    const std::string response =
        "HTTP/1.1 " + std::to_string(status) + " Answer\r\n" + headers +
        "Content-Type: application/xml; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n\r\n" + body;
    const std::lock_guard lock(mutex_);
    rules_.push_back({method + " " + path + " ", std::move(words), response});
  }
  void Redirect(const std::string& method, const std::string& path, const std::string& location) {
    On(method, path, 301, "", {}, "Location: " + location + "\r\n");
  }

  std::vector<std::string> Received() const {
    const std::lock_guard lock(mutex_);
    return received_;
  }
  // The requests that begin with "METHOD /path " and hold every word.
  size_t Count(const std::string& method, const std::string& path,
               const std::vector<std::string>& words = {}) const {
    size_t count = 0;
    for (const std::string& request : Received())
      if (request.starts_with(method + " " + path + " ") && HoldsAll(request, words)) ++count;
    return count;
  }

 private:
  struct Rule {
    std::string start;  // "METHOD /path "
    std::vector<std::string> words;
    std::string response;
  };

  static bool HoldsAll(const std::string& request, const std::vector<std::string>& words) {
    for (const std::string& word : words)
      if (request.find(word) == std::string::npos) return false;
    return true;
  }

  std::string Answer(const std::string& request) {
    const std::lock_guard lock(mutex_);
    received_.push_back(request);
    for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule)
      if (request.starts_with(rule->start) && HoldsAll(request, rule->words)) return rule->response;
    return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  }

  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::vector<std::string> received_;
  StandInOrigin origin_;  // last: its thread answers from the members above
};

// A multistatus answer of the given responses (prefix d: DAV:, c: CalDAV).
inline std::string DavMultistatus(const std::string& responses, const std::string& sync_token = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">" +
         responses + (sync_token.empty() ? "" : "<d:sync-token>" + sync_token + "</d:sync-token>") +
         "</d:multistatus>";
}

// One response whose properties (XML of the d: and c: prefixes) were found.
inline std::string DavResponse(const std::string& href, const std::string& properties) {
  return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + properties +
         "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

// The properties of a calendar collection.
inline std::string CalendarProperties(const std::string& display_name,
                                      const std::string& components = "<c:comp name=\"VEVENT\"/>") {
  return "<d:resourcetype><d:collection/><c:calendar/></d:resourcetype><d:displayname>" + display_name +
         "</d:displayname>" +
         (components.empty() ? ""
                             : "<c:supported-calendar-component-set>" + components +
                                   "</c:supported-calendar-component-set>");
}

// A DAV:error body naming one precondition (an element of the d: or c: prefix).
inline std::string DavError(const std::string& condition) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:error xmlns:d=\"DAV:\" "
         "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><" +
         condition + "/></d:error>";
}

}  // namespace qv::testing
