// The trace of the CalDAV client: one line per exchange with a server, so that the reason of a
// failure can be read here and not only on the server. A line names the path the exchange served
// (discovery, sync-collection, ETags), the method, the URL without any credentials, the status, the
// bytes of the answer and the milliseconds it took; at level 3, or at level 2 when the exchange failed
// (no answer, or a status of 400 or more). Never a password: the request's own credentials are not
// part of the line and those a URL may carry are cut out.
#pragma once

#include <string>
#include <string_view>

#include "store/caldav/http_exchange.h"

namespace qv::caldav {

// SendHttp with its trace line; what SendHttp raises is traced and raised on.
HttpAnswer SendTraced(const HttpRequest& request, const HttpSettings& settings, std::string_view path);

// The URL without "user:password@"; the URL itself when it holds none.
std::string UrlWithoutCredentials(const std::string& url);

}  // namespace qv::caldav
