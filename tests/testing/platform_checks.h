// Checks that only some systems can make: Wine implements Windows, but its event log keeps nothing,
// its LogonUser takes any password and its message texts are its own. A test asks before such a check
// and, under Wine, leaves it out with a line saying which check it skipped.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

// True (after printing "[  WINE    ] skipped: <check>") when the check cannot be made here.
bool SkipUnderWine(const std::string& check);

// The same for a check of what only the Linux stand-ins do, inside a test of both platforms.
bool SkipOnWindows(const std::string& check);

// What Wine's event log does with events: nothing is kept, so nothing can be read back.
inline constexpr const char* kWineKeepsNoEvents = "reading the events back (Wine's event log keeps nothing)";
// What Wine's NetUserAdd does with an account: it keeps nothing.
inline constexpr const char* kWineKeepsNoAccounts =
    "accounts made by the test (Wine's NetUserAdd keeps none)";
// The WAP gateway that compiles decks is Linux software.
inline constexpr const char* kGatewayOnLinuxOnly = "the gateway's WML compiler (kannel runs on Linux only)";

// Value names in the order the registry lists them when they were set in this order: the same, except
// under Wine, which lists them sorted by name, ignoring case (said once per call).
std::vector<std::string> InRegistryListingOrder(std::vector<std::string> names);

}  // namespace qv::testing

// Ends the test here, as skipped, when the checks that follow cannot be made under Wine.
#define QV_SKIP_REST_UNDER_WINE(check) \
  if (::qv::testing::SkipUnderWine(check)) GTEST_SKIP() << "under Wine: " << (check)

// The same for checks of what only Linux has.
#define QV_SKIP_REST_ON_WINDOWS(check) \
  if (::qv::testing::SkipOnWindows(check)) GTEST_SKIP() << "on Windows: " << (check)
