// A phone that browses through the WAP gateway of the harness: it opens a URL, reads the deck it gets
// back, and follows the links the deck offers, filling in the variables of a form as the user typed
// them. With the check that every answer a phone gets from the service must pass.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "testing/wap_gateway.h"
#include "testing/wbxml_deck.h"
#include "testing/wml_links.h"

namespace qv::testing {

// What the phone shows after one request.
struct PhonePage {
  std::string url;  // what the phone requested
  WapFetch fetch;
  WbxmlDeck deck;              // the compiled deck read back; empty when the phone got none
  std::vector<WmlLink> links;  // the deck's links, in their order

  // The first link with the label; nullptr when the page has none.
  const WmlLink* Link(std::string_view label) const;
  // The labels of the links in their order.
  std::vector<std::string> LinkLabels() const;
};

class WapPhone {
 public:
  explicit WapPhone(WapGateway& gateway) : gateway_(gateway) {}

  // What the user typed into the input of the name.
  void SetVariable(const std::string& name, const std::string& value) { variables_[name] = value; }

  // The user enters the URL.
  PhonePage Open(const std::string& url);
  // The user picks the first link of the label on the page. Raises EWapHarnessError when the page
  // has no such link.
  PhonePage Follow(const PhonePage& page, std::string_view label);

  // Every URL requested so far, in order.
  const std::vector<std::string>& Requests() const { return requests_; }

 private:
  WapGateway& gateway_;
  std::map<std::string, std::string> variables_;
  std::vector<std::string> requests_;
};

// The check of an answer that reached the phone: status 200, a WBXML deck of WML 1.1 (01 04 ...) that
// reads back, and no warning or error of the gateway during the fetch besides the one notice that
// every fakewap fetch gets (the phone announces no character set, so the gateway cannot tell whether
// it takes the deck's). A deck the gateway could not compile, or compiled with complaints, fails.
::testing::AssertionResult CompiledCleanly(const WapFetch& fetch);

}  // namespace qv::testing
