#include "store/caldav/multistatus.h"

#include <climits>
#include <cstring>

#include "store/caldav/web_libraries.h"

namespace qv::caldav {

namespace {

constexpr const char* kDav = "DAV:";
constexpr const char* kCalDav = "urn:ietf:params:xml:ns:caldav";

bool Is(const xmlNode* node, const char* ns, const char* name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         node->ns->href != nullptr && std::strcmp(reinterpret_cast<const char*>(node->ns->href), ns) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

const xmlNode* Child(const xmlNode* parent, const char* ns, const char* name) {
  for (const xmlNode* child = parent->children; child != nullptr; child = child->next)
    if (Is(child, ns, name)) return child;
  return nullptr;
}

std::string TextOf(const xmlNode* node) {
  const XmlText text(xmlNodeGetContent(node));
  return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int StatusOf(const xmlNode* parent) {
  const xmlNode* status = Child(parent, kDav, "status");
  return status == nullptr ? 0 : StatusOfLine(Trimmed(TextOf(status)));
}

void ReadProperties(const xmlNode* prop, DavResource* resource) {
  if (const xmlNode* etag = Child(prop, kDav, "getetag")) resource->etag = Trimmed(TextOf(etag));
  if (const xmlNode* data = Child(prop, kCalDav, "calendar-data")) resource->calendar_data = TextOf(data);
  if (const xmlNode* type = Child(prop, kDav, "resourcetype"))
    resource->collection = Child(type, kDav, "collection") != nullptr;
}

std::optional<DavResource> ReadResponse(const xmlNode* response, std::vector<std::string>* notes) {
  const xmlNode* href = Child(response, kDav, "href");
  if (href == nullptr) {
    notes->push_back("line " + std::to_string(xmlGetLineNo(response)) + ": a response without an href");
    return std::nullopt;
  }
  DavResource resource;
  resource.href = Trimmed(TextOf(href));
  resource.status = StatusOf(response);
  bool first = true;
  for (const xmlNode* propstat = response->children; propstat != nullptr; propstat = propstat->next) {
    if (!Is(propstat, kDav, "propstat")) continue;
    const int status = StatusOf(propstat);
    const xmlNode* prop = Child(propstat, kDav, "prop");
    if (status == 200 && prop != nullptr) {
      ReadProperties(prop, &resource);
      resource.status = 200;
    } else if (first && resource.status == 0) {
      resource.status = status;
    }
    first = false;
  }
  return resource;
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string HrefPath(const std::string& href) {
  const size_t scheme = href.find("://");
  if (scheme == std::string::npos) return href;
  const size_t slash = href.find('/', scheme + 3);
  return slash == std::string::npos ? "/" : href.substr(slash);
}

int StatusOfLine(std::string_view line) {
  // "HTTP/1.1 404 Not Found": the three digits after the first blank.
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos || line.size() < blank + 4) return 0;
  int status = 0;
  for (size_t i = blank + 1; i < blank + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

Multistatus ReadMultistatus(std::string_view xml) {
  UseWebLibraries();
  if (xml.size() > static_cast<size_t>(INT_MAX)) throw EMultistatusFormatError("the answer is too large");
  const XmlDoc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "multistatus.xml", nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE));
  if (!doc) {
    const xmlError* error = xmlGetLastError();
    throw EMultistatusFormatError(
        std::string("the answer is no XML") +
        (error != nullptr && error->message != nullptr
             ? ": line " + std::to_string(error->line) + ": " + Trimmed(error->message)
             : std::string()));
  }
  if (doc->intSubset != nullptr) throw EMultistatusFormatError("the answer brings a document type");
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!Is(root, kDav, "multistatus")) throw EMultistatusFormatError("the answer is no DAV:multistatus");
  Multistatus result;
  for (const xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (Is(child, kDav, "response")) {
      if (auto resource = ReadResponse(child, &result.notes))
        result.resources.push_back(std::move(*resource));
    } else if (Is(child, kDav, "sync-token")) {
      result.sync_token = Trimmed(TextOf(child));
    }
  }
  return result;
}

std::string PropfindEtagsBody() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:getetag/><D:resourcetype/></D:prop></D:propfind>\n";
}

std::string SyncCollectionBody(const std::string& sync_token) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>" +
         XmlEscaped(sync_token) +
         "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop></D:sync-collection>\n";
}

std::string MultigetBody(const std::vector<std::string>& hrefs) {
  std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<C:calendar-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
      "<D:prop><D:getetag/><C:calendar-data/></D:prop>";
  for (const std::string& href : hrefs) body += "<D:href>" + XmlEscaped(href) + "</D:href>";
  return body + "</C:calendar-multiget>\n";
}

}  // namespace qv::caldav
