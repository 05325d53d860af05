// A card's form sent to the viewer: the fields a phone's user filled in and the target of the link
// they chose (card_html.h). The target is made as a phone makes it, with the fields as its variables.
#pragma once

#include <string>
#include <string_view>

#include "phone/service_url.h"

namespace qv::phone {

// The fields of a query as a browser sends a form ("+" a blank, "%XX" a byte); the target is the
// value of kGoField, the others are variables. The result is where the link leads, resolved against
// the service. Raises EFormError when the query carries no target.
LinkTarget FormTarget(std::string_view form_query, const ServiceUrl& service);

}  // namespace qv::phone
