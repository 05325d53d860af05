// The messaging library as another version of it reports itself: the calendar store's sessions under
// a version number the test chooses, registered in place of the store's driver, so that the start-up
// check meets an older or a newer library.
#pragma once

#include <string>

namespace qv::testing {

// Registers the calendar store's driver with sessions that report the version; until
// RegisterCalendarStoreDriver registers the store's own again.
void RegisterLibraryOfVersion(const std::string& version);

}  // namespace qv::testing
