// The service the viewer shows, and where the links of its decks lead. The viewer's own address of a
// page mirrors the query string of the service URL it shows: "/?U=demo&P=..." shows
// "<service>?U=demo&P=...", so a link that stays within the service becomes a link of the viewer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::phone {

// A query string of a URL; none where the URL has no "?" at all.
using Query = std::optional<std::string>;

struct LinkTarget {
  std::string url;      // absolute, without fragment; the href as it stands when it names no URL
  bool inside = false;  // same scheme, host, port and path as the service
  Query query;          // of the service URL, when inside
};

class ServiceUrl {
 public:
  // An http or https URL with a host and without query or fragment ("http://127.0.0.1:8080/"); raises
  // EServiceUrlError otherwise.
  explicit ServiceUrl(std::string_view url);

  // As given, normalised ("http://host:8080" gets its "/").
  const std::string& Text() const { return text_; }

  // The URL the viewer fetches for the query of one of its own addresses.
  std::string WithQuery(const Query& query) const;

  // Where a link of the deck fetched with page_query leads, resolved as a browser resolves a
  // relative URL. Bytes that a URL cannot carry as they stand are percent-encoded first.
  LinkTarget Resolve(const Query& page_query, std::string_view href) const;

 private:
  std::string text_;
  std::string scheme_;
  std::string host_;
  std::string port_;
  std::string path_;
};

// The viewer's address of a page: "/", or "/?" and the query, with the bytes that a URL cannot carry
// as they stand percent-encoded.
std::string ViewerAddress(const Query& query);

// The text with controls, blanks, bytes above 127 and the characters "<>\"\\^`{|}" percent-encoded; all
// else (the "%" of an escape included) as it stands.
std::string EncodeUnsafeUrlBytes(std::string_view text);

}  // namespace qv::phone
