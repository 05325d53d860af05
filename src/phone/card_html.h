// The HTML of a WML card as a phone draws it. Texts, the title and attribute values go in escaped;
// the WML elements the viewer draws become fixed HTML of its own (paragraphs, line breaks, emphasis,
// tables, links, input fields); every other element is shown as its markup, as text, never run.
// Lines that a phone would not wrap (mode "nowrap") are wrapped all the same, so that the whole card
// shows at once.
//
// A card with input fields becomes one form. A link whose target refers to variables then becomes a
// button that sends the fields to the viewer's kGoPath, the target (with the go's postfields) in the
// button's value: there the viewer puts the values in as a phone does (form_submission.h).
#pragma once

#include <string>
#include <vector>

#include "phone/phone_libraries.h"
#include "phone/service_url.h"

namespace qv::phone {

constexpr const char* kGoPath = "/go";
// The field that carries the target; no WML variable can have this name.
constexpr const char* kGoField = "wml-go";

struct CardHtml {
  std::string title;  // escaped
  std::string body;
  // What a phone would do otherwise, or what a gateway would refuse, in plain words.
  std::vector<std::string> faults;
};

// The card of the deck fetched for page_query; its links resolved against that page.
CardHtml RenderCard(const xmlNode& card, const ServiceUrl& service, const Query& page_query);

}  // namespace qv::phone
