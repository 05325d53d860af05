// libcurl and libxml2 as the viewer uses them: the set-up and the handles the CalDAV client shares
// (store/caldav/web_libraries.h), under the viewer's names.
#pragma once

#include "store/caldav/web_libraries.h"

namespace qv::phone {

// Sets both libraries up on the first call. Every unit that calls them calls this first.
inline void UsePhoneLibraries() {
  UseWebLibraries();
}

using qv::CurlEasy;
using qv::CurlList;
using qv::CurlText;
using qv::CurlUrl;
using qv::XmlBuffer;
using qv::XmlDoc;
using qv::XmlParser;
using qv::XmlText;

}  // namespace qv::phone
