#include "store/caldav/web_libraries.h"

#include "platform/errors/exception.h"

namespace qv {

namespace {

class Libraries {
 public:
  Libraries() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw Exception("libcurl could not be set up");
    xmlInitParser();
  }
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;
  ~Libraries() {
    xmlCleanupParser();
    curl_global_cleanup();
  }
};

}  // namespace

void UseWebLibraries() {
  // Made by the first caller, under the lock that the language gives function-local statics.
  static const Libraries libraries;
}

}  // namespace qv
