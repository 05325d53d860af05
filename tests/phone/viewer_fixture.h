// What the phone viewer's unit tests share: a service at a fixed URL that nothing needs to answer, and
// its decks handed to the viewer as if the service had answered them (200, text/vnd.wap.wml).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/service_decks.h"
#include "phone/phone_page.h"
#include "phone/viewer_requests.h"

namespace qv::testing {

inline const char* const kServiceUrl = "http://127.0.0.1:8080/";

inline phone::FetchedDeck ServiceAnswer(const std::string& deck) {
  return phone::FetchedDeck{200, "text/vnd.wap.wml", deck, false};
}

class ViewerTest : public ::testing::Test {
 protected:
  // The viewer's page of a deck that the service answered for the query.
  std::string Page(const std::string& deck, const phone::Query& query = std::nullopt) {
    return phone::PhonePage(ServiceAnswer(deck), settings_.service, query, settings_.max_pdu);
  }

  // The viewer's answer to a GET of the target, the service answering with the deck; the URL asked
  // for and the limit sent with it are kept.
  std::string Get(const std::string& target, const std::string& deck = ServiceDeck(kLogonFormBody)) {
    return phone::AnswerViewerRequest("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", settings_,
                                      [&](const std::string& url, int32_t max_pdu) {
                                        fetched_url_ = url;
                                        sent_max_pdu_ = max_pdu;
                                        return ServiceAnswer(deck);
                                      });
  }

  phone::ViewerSettings settings_{phone::ServiceUrl(kServiceUrl), 1400};
  std::string fetched_url_;
  int32_t sent_max_pdu_ = 0;
};

}  // namespace qv::testing
