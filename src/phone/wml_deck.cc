#include "phone/wml_deck.h"

#include <algorithm>
#include <array>
#include <climits>
#include <new>
#include <set>

namespace qv::phone {

namespace {

constexpr std::string_view kWml11PublicId = "-//WAPFORUM//DTD WML 1.1//EN";
constexpr size_t kParseFaultsListed = 3;

constexpr std::array<std::string_view, 35> kWml11Elements = {
    "a",        "access", "anchor", "b",         "big",   "br",      "card",   "do",     "em",
    "fieldset", "go",     "head",   "i",         "img",   "input",   "meta",   "noop",   "onevent",
    "optgroup", "option", "p",      "postfield", "prev",  "refresh", "select", "setvar", "small",
    "strong",   "table",  "td",     "template",  "timer", "tr",      "u",      "wml"};

std::string TrimmedLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The parser's errors, collected instead of printed. The parser calls it with its own context.
void CollectParseError(void* context, xmlErrorPtr error) {
  auto& faults = *static_cast<std::vector<std::string>*>(static_cast<xmlParserCtxt*>(context)->_private);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (faults.size() < kParseFaultsListed)
    faults.push_back("line " + std::to_string(error->line) + ": " + TrimmedLine(error->message));
}

void CollectElementNames(const xmlNode* node, std::set<std::string, std::less<>>& names) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    names.emplace(NodeName(*node));
    CollectElementNames(node->children, names);
  }
}

}  // namespace

bool IsWml11Element(std::string_view name) {
  return std::find(kWml11Elements.begin(), kWml11Elements.end(), name) != kWml11Elements.end();
}

std::string_view NodeName(const xmlNode& node) {
  return node.name != nullptr ? reinterpret_cast<const char*>(node.name) : "";
}

std::string Attribute(const xmlNode& node, const char* name) {
  const XmlText value(xmlGetProp(&node, reinterpret_cast<const xmlChar*>(name)));
  return value ? reinterpret_cast<const char*>(value.get()) : "";
}

bool HasAttribute(const xmlNode& node, const char* name) {
  return xmlHasProp(&node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

WmlDeck::WmlDeck(std::string_view bytes) {
  UsePhoneLibraries();
  if (bytes.size() > INT_MAX) throw std::length_error("deck too long to read");
  const XmlParser parser(xmlNewParserCtxt());
  if (!parser) throw std::bad_alloc();
  std::vector<std::string> parse_faults;
  parser->_private = &parse_faults;
  parser->sax->serror = CollectParseError;
  doc_.reset(
      xmlCtxtReadMemory(parser.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
  if (!doc_ || parser->wellFormed == 0) {
    doc_.reset();
    std::string fault = "The deck is not well-formed XML, so a phone cannot show it";
    if (!parse_faults.empty()) fault += ": ";
    for (size_t i = 0; i < parse_faults.size(); ++i) fault += (i > 0 ? "; " : "") + parse_faults[i];
    faults_.push_back(fault + ".");
    return;
  }
  CheckWml11();
}

void WmlDeck::CheckWml11() {
  const xmlDtd* const type = doc_->intSubset;
  const std::string public_id =
      type != nullptr && type->ExternalID != nullptr ? reinterpret_cast<const char*>(type->ExternalID) : "";
  if (public_id != kWml11PublicId) {
    faults_.push_back(public_id.empty() ? "The deck does not declare the WML 1.1 document type."
                                        : "The deck declares the document type \"" + public_id +
                                              "\", not WML 1.1 (\"" + std::string(kWml11PublicId) + "\").");
  }
  const xmlNode* const root = xmlDocGetRootElement(doc_.get());
  if (root == nullptr || NodeName(*root) != "wml") {
    faults_.push_back("The deck's root element is <" + std::string(root ? NodeName(*root) : "") +
                      ">, not <wml>.");
    return;
  }
  for (const xmlNode* child = root->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE && NodeName(*child) == "card") {
      first_card_ = child;
      break;
    }
  }
  if (first_card_ == nullptr) faults_.push_back("The deck has no card to show.");
  std::set<std::string, std::less<>> names;
  CollectElementNames(root, names);
  for (const std::string& name : names) {
    if (!IsWml11Element(name))
      faults_.push_back("<" + name + "> is no WML 1.1 element; the viewer shows it as text.");
  }
}

}  // namespace qv::phone
