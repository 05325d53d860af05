// The viewer's answer to one request, a whole HTTP response: for "/" and "/?QUERY" the phone page of
// the deck that the service answers for the same query; for a card's form sent to kGoPath a redirect
// to the page its link leads to; "not found" for any other path, "not allowed" for any method but GET.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "phone/deck_fetch.h"
#include "phone/service_url.h"

namespace qv::phone {

struct ViewerSettings {
  ServiceUrl service;
  int32_t max_pdu = 0;  // the phone's largest message, sent with every request
};

// How the viewer gets a deck; FetchDeck, or a stand-in in tests.
using DeckFetcher = std::function<FetchedDeck(const std::string& url, int32_t max_pdu)>;

// The request's head: its request line and header lines up to the blank line.
std::string AnswerViewerRequest(std::string_view request_head, const ViewerSettings& settings,
                                const DeckFetcher& fetch = FetchDeck);

}  // namespace qv::phone
