// The viewer's HTML pages: the card drawn in a phone-sized frame, and under the phone what the viewer
// found, in plain words: the request it sent, the deck's size against the phone's limit, whether the
// deck is well-formed WML 1.1, and each fault. The deck's own text can be opened below.
#pragma once

#include <cstdint>
#include <string>

#include "phone/deck_fetch.h"
#include "phone/service_url.h"

namespace qv::phone {

// The page of the deck that the service answered for the query.
std::string PhonePage(const FetchedDeck& fetched, const ServiceUrl& service, const Query& query,
                      int32_t max_pdu);

// A page with an empty phone and a message under it: no answer came, a link leads outside the
// service, a request the viewer does not know.
std::string MessagePage(const std::string& heading, const std::string& message);

}  // namespace qv::phone
