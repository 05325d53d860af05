#include "testing/wap_phone.h"

namespace qv::testing {

namespace {

constexpr std::string_view kCompiledDeckStart("\x01\x04", 2);

bool IsCharsetNotice(std::string_view message) {
  constexpr std::string_view kStart = "WARNING: WSP: Device doesn't support charset <";
  constexpr std::string_view kEnd = "> neither UTF-8";
  return message.size() > kStart.size() + kEnd.size() && message.substr(0, kStart.size()) == kStart &&
         message.substr(message.size() - kEnd.size()) == kEnd;
}

// The first bytes of a body, readable in a failure message.
std::string Opening(std::string_view body) {
  std::string shown;
  for (const char c : body.substr(0, 16)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
    }
  }
  return "\"" + shown + "\"";
}

}  // namespace

const WmlLink* PhonePage::Link(std::string_view label) const {
  for (const auto& link : links) {
    if (link.label == label) return &link;
  }
  return nullptr;
}

std::vector<std::string> PhonePage::LinkLabels() const {
  std::vector<std::string> labels;
  for (const auto& link : links) labels.push_back(link.label);
  return labels;
}

PhonePage WapPhone::Open(const std::string& url) {
  requests_.push_back(url);
  PhonePage page;
  page.url = url;
  page.fetch = gateway_.Fetch(url);
  if (page.fetch.body.substr(0, 2) == kCompiledDeckStart) {
    try {
      page.deck = DecodeWbxmlDeck(page.fetch.body);
      page.links = DeckLinks(page.deck.markup);
    } catch (const EWbxmlError&) {
      page.deck = WbxmlDeck();  // CompiledCleanly says what is wrong with it
    }
  }
  return page;
}

PhonePage WapPhone::Follow(const PhonePage& page, std::string_view label) {
  const WmlLink* link = page.Link(label);
  if (link == nullptr) {
    std::string offered;
    for (const auto& other : page.links)
      offered += (offered.empty() ? "" : ", ") + ("\"" + other.label + "\"");
    throw EWapHarnessError("The page of " + page.url + " has no link \"" + std::string(label) +
                           "\"; it offers " + (offered.empty() ? "none" : offered));
  }
  return Open(PhoneUrl(page.url, link->href, variables_));
}

::testing::AssertionResult CompiledCleanly(const WapFetch& fetch) {
  std::vector<std::string> faults;
  if (fetch.status != "200") faults.push_back("status " + fetch.status);
  if (fetch.body.substr(0, 2) != kCompiledDeckStart) {
    faults.push_back("no compiled deck: " + std::to_string(fetch.body.size()) + " bytes starting " +
                     Opening(fetch.body));
  } else {
    try {
      DecodeWbxmlDeck(fetch.body);
    } catch (const EWbxmlError& error) {
      faults.push_back(std::string("a deck that does not read back: ") + error.what());
    }
  }
  if (!fetch.compiled) faults.push_back("the harness found it not compiled cleanly");
  for (const auto& message : fetch.gateway_messages) {
    if (!IsCharsetNotice(message)) faults.push_back("the gateway said \"" + message + "\"");
  }
  if (faults.empty()) return ::testing::AssertionSuccess() << "a compiled deck without complaints";
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (size_t i = 0; i < faults.size(); ++i) result << (i == 0 ? "" : "; ") << faults[i];
  return result;
}

}  // namespace qv::testing
