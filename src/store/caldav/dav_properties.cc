#include "store/caldav/dav_properties.h"

#include <climits>
#include <cstring>

#include "store/caldav/multistatus.h"
#include "store/caldav/web_libraries.h"

namespace qv::caldav {

namespace {

constexpr const char* kDav = "DAV:";
constexpr const char* kCalDav = "urn:ietf:params:xml:ns:caldav";
// Texts of a property longer than this are cut: names and hrefs, not documents.
constexpr size_t kMaxTextBytes = 4096;
constexpr size_t kMaxHrefsPerProperty = 16;
constexpr size_t kMaxComponents = 16;

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
  std::string value = text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
  const size_t first = value.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  value = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
  if (value.size() > kMaxTextBytes) value.resize(kMaxTextBytes);
  return value;
}

std::vector<std::string> HrefsIn(const xmlNode* property) {
  std::vector<std::string> hrefs;
  for (const xmlNode* child = property->children; child != nullptr && hrefs.size() < kMaxHrefsPerProperty;
       child = child->next)
    if (Is(child, kDav, "href")) {
      std::string href = TextOf(child);
      if (!href.empty()) hrefs.push_back(std::move(href));
    }
  return hrefs;
}

std::optional<std::string> FirstHref(const xmlNode* property) {
  std::vector<std::string> hrefs = HrefsIn(property);
  if (hrefs.empty()) return std::nullopt;
  return std::move(hrefs.front());
}

void ReadProperties(const xmlNode* prop, DavProperties* resource) {
  if (const xmlNode* type = Child(prop, kDav, "resourcetype")) {
    resource->collection = Child(type, kDav, "collection") != nullptr;
    resource->calendar = Child(type, kCalDav, "calendar") != nullptr;
    resource->principal = Child(type, kDav, "principal") != nullptr;
  }
  if (const xmlNode* name = Child(prop, kDav, "displayname")) resource->display_name = TextOf(name);
  if (const xmlNode* set = Child(prop, kCalDav, "supported-calendar-component-set")) {
    for (const xmlNode* comp = set->children; comp != nullptr && resource->components.size() < kMaxComponents;
         comp = comp->next) {
      if (!Is(comp, kCalDav, "comp")) continue;
      const XmlText name(xmlGetProp(comp, reinterpret_cast<const xmlChar*>("name")));
      if (name) resource->components.push_back(reinterpret_cast<const char*>(name.get()));
    }
  }
  if (const xmlNode* principal = Child(prop, kDav, "current-user-principal"))
    resource->current_user_principal = FirstHref(principal);
  if (const xmlNode* homes = Child(prop, kCalDav, "calendar-home-set"))
    resource->calendar_home_set = HrefsIn(homes);
  if (const xmlNode* inbox = Child(prop, kCalDav, "schedule-inbox-URL"))
    resource->schedule_inbox = FirstHref(inbox);
  if (const xmlNode* calendar = Child(prop, kCalDav, "schedule-default-calendar-URL"))
    resource->schedule_default_calendar = FirstHref(calendar);
}

}  // namespace

std::vector<DavProperties> ReadPropertyListing(std::string_view xml) {
  UseWebLibraries();
  if (xml.size() > static_cast<size_t>(INT_MAX)) throw EMultistatusFormatError("the answer is too large");
  const XmlDoc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "propfind.xml", nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc) throw EMultistatusFormatError("the answer is no XML");
  if (doc->intSubset != nullptr) throw EMultistatusFormatError("the answer brings a document type");
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!Is(root, kDav, "multistatus")) throw EMultistatusFormatError("the answer is no DAV:multistatus");
  std::vector<DavProperties> listing;
  for (const xmlNode* response = root->children; response != nullptr && listing.size() < kMaxListedResources;
       response = response->next) {
    if (!Is(response, kDav, "response")) continue;
    const xmlNode* href = Child(response, kDav, "href");
    if (href == nullptr) continue;
    DavProperties resource;
    resource.href = TextOf(href);
    for (const xmlNode* propstat = response->children; propstat != nullptr; propstat = propstat->next) {
      if (!Is(propstat, kDav, "propstat")) continue;
      const xmlNode* status = Child(propstat, kDav, "status");
      const xmlNode* prop = Child(propstat, kDav, "prop");
      if (status != nullptr && prop != nullptr && StatusOfLine(TextOf(status)) == 200)
        ReadProperties(prop, &resource);
    }
    listing.push_back(std::move(resource));
  }
  return listing;
}

std::string PropfindDiscoveryBody() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><D:prop>"
         "<D:resourcetype/><D:displayname/><D:current-user-principal/><C:calendar-home-set/>"
         "<C:supported-calendar-component-set/><C:schedule-inbox-URL/><C:schedule-default-calendar-URL/>"
         "</D:prop></D:propfind>\n";
}

}  // namespace qv::caldav
