// The checks the service runs before it listens: the messaging library is recent enough
// (CheckCdoVersion), and the local information store is Exchange 5.5 with service pack 2 or later
// (CheckExchangeVersion). Each answers whether it passed and reports its own refusal as an error
// event and a level-1 trace line; the start handler runs the second only after the first passed.
// Refusals are reported after the conversions, outside their try, so that a failure while reporting
// is never taken for a fault of the checked value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/locale/locale.h"

namespace qv {

// What is required: the library's version, the server's product version and service pack.
constexpr double kRequiredCdoVersion = 1.2;
constexpr double kRequiredExchangeVersion = 5.5;
constexpr int32_t kRequiredExchangeServicePack = 2;

// Reads the version of a fresh session of the messaging library (no logon) as a decimal number
// written with the locale's decimal separator. Below 1.2: event 121 (the version text, 1.2) and the
// trace line "CDO wrong Version: only " + text. A library that cannot be created or asked, or a
// version that is no number in the locale's notation: event 120 with the error's message and
// "CDO error " + message. Never raises. A refusal also goes into *refusal, when given, as one line
// for the administrator with its cause.
bool CheckCdoVersion(const platform::LocaleInfo& locale = platform::CurrentLocale(),
                     std::string* refusal = nullptr);

// Reads the version resource of the information store's program file (Config's
// GetExchangeImagePath; empty, so this program's own file, when nothing is registered). Its
// ProductVersion must be exactly 5.5 as a decimal number in the locale's notation, else event 125
// (ProductVersion, 5.5) and "Wrong Exchange Server Version: " + ProductVersion; the service pack (the
// Comments text after "Service Pack", read as a whole number after any leading blanks, 0 when anything
// follows the number) must be 2 or more, else event 126 (that text, "2") and "Wrong Exchange Server
// ServicePack: " + text. An error raised while the version resource is read (a FileVersion part that
// is not a number) is not caught. A refusal also goes into *refusal, when given, as one line for the
// administrator with its cause and the fix (registering the calendar store's program).
bool CheckExchangeVersion(const platform::LocaleInfo& locale = platform::CurrentLocale(),
                          std::string* refusal = nullptr);

// What keeps the program from passing CheckExchangeVersion as the information store's, without
// reporting it: nothing when it passes, else the line CheckExchangeVersion gives as its refusal.
// Raises what reading the version resource raises.
std::optional<std::string> InformationStoreProblem(
    const std::string& program, const platform::LocaleInfo& locale = platform::CurrentLocale());

}  // namespace qv
