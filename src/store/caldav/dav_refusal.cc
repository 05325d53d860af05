#include "store/caldav/dav_refusal.h"

#include <climits>
#include <cstring>

#include "store/caldav/web_libraries.h"

namespace qv::caldav {

namespace {

constexpr const char* kDav = "DAV:";
constexpr const char* kCalDav = "urn:ietf:params:xml:ns:caldav";
// A DAV:error body is a few lines; anything longer is read as words.
constexpr size_t kLargestErrorBody = 64 * 1024;

bool IsElementIn(const xmlNode* node, const char* ns) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         node->ns->href != nullptr && std::strcmp(reinterpret_cast<const char*>(node->ns->href), ns) == 0;
}

std::string ConditionName(const xmlNode* node) {
  const std::string name = reinterpret_cast<const char*>(node->name);
  if (IsElementIn(node, kDav)) return "DAV:" + name;
  if (IsElementIn(node, kCalDav)) return "CALDAV:" + name;
  if (node->ns != nullptr && node->ns->href != nullptr)
    return "{" + std::string(reinterpret_cast<const char*>(node->ns->href)) + "}" + name;
  return name;
}

// The printable start of a body, blanks folded, for a message.
std::string ShortText(std::string_view body) {
  std::string text;
  for (const char c : body) {
    if (text.size() >= kRefusalTextBytes) break;
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (blank) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else if (c > ' ' && c < 0x7F) {
      text += c;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool IsBlank(std::string_view body) {
  return body.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The precondition a DAV:error document names, with need-privileges reported as such; empty when
// the body is no such document.
std::string ReadErrorCondition(std::string_view body) {
  if (body.size() > kLargestErrorBody) return std::string();
  UseWebLibraries();
  const XmlDoc doc(xmlReadMemory(body.data(), static_cast<int>(body.size()), "error.xml", nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc || doc->intSubset != nullptr) return std::string();
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!IsElementIn(root, kDav) || std::strcmp(reinterpret_cast<const char*>(root->name), "error") != 0)
    return std::string();
  std::string first;
  for (const xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    const std::string name = ConditionName(child);
    if (name == "DAV:need-privileges") return name;
    if (first.empty()) first = name;
  }
  return first;
}

}  // namespace

Refusal ReadRefusal(long status, std::string_view body) {
  Refusal refusal;
  if (status != 401 && status != 403) return refusal;
  refusal.text = ShortText(body);
  if (status == 401 || IsBlank(body)) {
    refusal.kind = Refusal::Kind::kCredentials;
    return refusal;
  }
  refusal.condition = ReadErrorCondition(body);
  if (refusal.condition == "DAV:need-privileges")
    refusal.kind = Refusal::Kind::kCredentials;
  else if (!refusal.condition.empty())
    refusal.kind = Refusal::Kind::kPrecondition;
  else
    refusal.kind = Refusal::Kind::kForbidden;
  return refusal;
}

}  // namespace qv::caldav
