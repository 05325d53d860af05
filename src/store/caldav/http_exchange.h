// One HTTP request to a CalDAV server and its answer, over libcurl: HTTP Basic authentication, TLS
// verified against the system's certificate store (or a private authority's file), the time-outs of
// the settings, and redirects followed a bounded number of times.
//
// The transport rule, checked for the first URL and every redirect: https always; plain http only to
// this machine (127.0.0.0/8, ::1, localhost) unless the request allows it, since Basic authentication
// sends the password as it is. No proxy from the environment: the server is reached directly. The
// method and body go along every redirect, as WebDAV clients do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors/exception.h"

namespace qv::caldav {

// The server cannot be asked or gave no usable answer; the message names the server and the reason.
QV_EXCEPTION_CLASS(ECalDAVUnavailable, Exception);

struct HttpSettings {
  int32_t connect_timeout_ms = 3000;  // to have the connection (and TLS) stand
  int32_t read_timeout_ms = 5000;     // from then on, for the whole answer
  std::string ca_file;                // a private authority's certificates; empty: the system's store
};

struct HttpRequest {
  std::string method;  // GET, PUT, DELETE, PROPFIND, REPORT ...
  std::string url;
  std::string user;  // Basic authentication when not empty; UTF-8 like the password
  std::string password;
  std::vector<std::string> headers;  // whole lines: "Depth: 1"
  std::string body;
  bool allow_http = false;  // plain http to other machines
};

struct HttpAnswer {
  long status = 0;
  std::string body;
  std::string url;  // the URL that answered, after redirects
};

constexpr int kMaxRedirects = 5;
constexpr size_t kMaxAnswerBytes = 64 * 1024 * 1024;

// Sends the request. Any HTTP status is an answer; ECalDAVUnavailable for a URL the transport rule
// refuses, a server that cannot be reached or does not answer in time, a TLS failure, more than
// kMaxRedirects redirects or an answer larger than kMaxAnswerBytes.
HttpAnswer SendHttp(const HttpRequest& request, const HttpSettings& settings);

// Raises ECalDAVUnavailable for a URL the transport rule refuses.
void CheckTransport(const std::string& url, bool allow_http);

// "scheme://host:port" of a URL, for messages; the URL itself when it cannot be read.
std::string ServerOf(const std::string& url);

}  // namespace qv::caldav
