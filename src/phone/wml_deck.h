// A deck as a phone gets it, read with libxml2: the document when it is well-formed XML, and in plain
// words what keeps it from being a well-formed WML 1.1 deck (not well-formed, no WML 1.1 document
// type, no card, elements that WML 1.1 does not have).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "phone/phone_libraries.h"

namespace qv::phone {

class WmlDeck {
 public:
  // Reads the deck; the character set its XML declaration names is turned into UTF-8. Nothing is
  // fetched (no document type, no entity), and entities are not expanded.
  explicit WmlDeck(std::string_view bytes);

  bool WellFormed() const { return doc_ != nullptr; }
  // The first card, which a phone shows; null when there is none or the deck is not well-formed.
  const xmlNode* FirstCard() const { return first_card_; }
  const std::vector<std::string>& Faults() const { return faults_; }

 private:
  void CheckWml11();

  XmlDoc doc_;
  const xmlNode* first_card_ = nullptr;
  std::vector<std::string> faults_;
};

// Whether WML 1.1 has an element of this name.
bool IsWml11Element(std::string_view name);

// The name and an attribute of an element as text; an attribute that is not there gives nothing.
std::string_view NodeName(const xmlNode& node);
std::string Attribute(const xmlNode& node, const char* name);
bool HasAttribute(const xmlNode& node, const char* name);

}  // namespace qv::phone
