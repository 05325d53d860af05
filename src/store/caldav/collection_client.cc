#include "store/caldav/collection_client.h"

#include <algorithm>

#include "store/caldav/dav_refusal.h"
#include "store/caldav/exchange_trace.h"

namespace qv::caldav {

namespace {

// The path without the slashes it ends in, for telling the collection from its members.
std::string CollectionPath(const std::string& href) {
  std::string path = HrefPath(href);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

CollectionClient::CollectionClient(const CalDAVBinding& binding, std::string password, HttpSettings settings)
    : binding_(binding),
      password_(std::move(password)),
      settings_(std::move(settings)),
      server_(ServerOf(binding.url)) {}

HttpAnswer CollectionClient::Send(const std::string& method, const std::string& depth,
                                  const std::string& body) {
  HttpRequest request;
  request.method = method;
  request.url = binding_.url;
  request.user = binding_.user;
  request.password = password_;
  request.headers = {"Content-Type: application/xml; charset=utf-8"};
  if (!depth.empty()) request.headers.push_back("Depth: " + depth);
  request.body = body;
  request.allow_http = binding_.allow_http;
  HttpAnswer answer = SendTraced(request, settings_, path_);
  // A 403 for a precondition (a sync token the server no longer knows, a report it does not offer)
  // or for a reason of the server's own says nothing of the password.
  if (ReadRefusal(answer.status, answer.body).kind == Refusal::Kind::kCredentials)
    throw ECalDAVLogonRefused(server_ + " refused the logon of " + binding_.user + " (" +
                              std::to_string(answer.status) + ")");
  return answer;
}

void CollectionClient::RaiseAnswer(const HttpAnswer& answer, const std::string& what) {
  const Refusal refusal = ReadRefusal(answer.status, answer.body);
  const std::string& why = refusal.condition.empty() ? refusal.text : refusal.condition;
  if (answer.status == 404)
    throw ECalDAVCollectionGone(server_ + ": " + what + " answered with the status 404: the collection " +
                                HrefPath(binding_.url) + " is gone");
  throw ECalDAVUnavailable(server_ + ": " + what + " answered with the status " +
                           std::to_string(answer.status) + (why.empty() ? "" : " (" + why + ")"));
}

Multistatus CollectionClient::Read(const HttpAnswer& answer, const std::string& what) {
  if (answer.status != 207) RaiseAnswer(answer, what);
  try {
    return ReadMultistatus(answer.body);
  } catch (const EMultistatusFormatError& error) {
    throw ECalDAVUnavailable(server_ + ": " + what + ": " + error.what());
  }
}

Multistatus CollectionClient::ListEtags() {
  path_ = "ETags";
  Multistatus listing = Read(Send("PROPFIND", "1", PropfindEtagsBody()), "PROPFIND");
  const std::string collection = CollectionPath(binding_.url);
  std::erase_if(listing.resources, [&collection](const DavResource& resource) {
    return resource.collection || CollectionPath(resource.href) == collection;
  });
  return listing;
}

CollectionClient::SyncOutcome CollectionClient::SyncCollection(const std::string& sync_token,
                                                               Multistatus* changes) {
  const HttpAnswer answer = Send("REPORT", "0", SyncCollectionBody(sync_token));
  if (answer.status == 207) {
    *changes = Read(answer, "sync-collection");
    return SyncOutcome::kChanges;
  }
  if (answer.body.find("valid-sync-token") != std::string::npos) return SyncOutcome::kTokenRefused;
  // Servers without the report answer it as unknown, unsupported or not allowed, or refuse it with a
  // precondition (DAV:supported-report).
  if (ReadRefusal(answer.status, answer.body).kind == Refusal::Kind::kPrecondition)
    return SyncOutcome::kUnsupported;
  if (answer.status == 400 || answer.status == 405 || answer.status == 409 || answer.status == 415 ||
      answer.status == 422 || answer.status == 501)
    return SyncOutcome::kUnsupported;
  RaiseAnswer(answer, "sync-collection");
}

Multistatus CollectionClient::Multiget(const std::vector<std::string>& hrefs) {
  Multistatus all;
  for (size_t at = 0; at < hrefs.size(); at += kHrefsPerMultiget) {
    const std::vector<std::string> part(
        hrefs.begin() + static_cast<std::ptrdiff_t>(at),
        hrefs.begin() + static_cast<std::ptrdiff_t>(std::min(hrefs.size(), at + kHrefsPerMultiget)));
    Multistatus answer = Read(Send("REPORT", "", MultigetBody(part)), "calendar-multiget");
    for (DavResource& resource : answer.resources) all.resources.push_back(std::move(resource));
    for (std::string& note : answer.notes) all.notes.push_back(std::move(note));
  }
  return all;
}

}  // namespace qv::caldav
