// What a CalDAV server answers to the requests that find a calendar, and its refusals: the bytes as
// a PROPFIND's multistatus (the properties discovery reads) and as the body of a 403. Checked on the
// way: the listing and its texts stay within their bounds, hrefs come trimmed, and a refusal's text
// is short and printable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/caldav/dav_properties.h"
#include "store/caldav/dav_refusal.h"
#include "store/caldav/multistatus.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  try {
    const auto listing = qv::caldav::ReadPropertyListing(input);
    Check(listing.size() <= qv::caldav::kMaxListedResources);
    for (const auto& resource : listing) {
      Check(resource.components.size() <= 16);
      Check(resource.calendar_home_set.size() <= 16);
      Check(resource.href.size() <= 4096 && resource.display_name.size() <= 4096);
      Check(resource.href.find_first_of(" \t\r\n") != 0);
    }
  } catch (const qv::caldav::EMultistatusFormatError&) {
    // Not a multistatus: refused as a whole.
  }
  const qv::caldav::Refusal refusal = qv::caldav::ReadRefusal(403, input);
  Check(refusal.kind != qv::caldav::Refusal::Kind::kNone);
  Check(refusal.text.size() <= qv::caldav::kRefusalTextBytes);
  for (const char c : refusal.text) Check(c >= ' ' && c < 0x7F);
  Check(refusal.kind != qv::caldav::Refusal::Kind::kPrecondition || !refusal.condition.empty());
  return 0;
}
