// Where the service program keeps what installation writes and what its settings are read from: the
// service's name, the keys of its settings, its description and its event source.
#pragma once

namespace qv::testing {

constexpr const char* kQuorvane = "Quorvane";
constexpr const char* kSettingsKey = "Software\\HOLLBERG\\Qvan";
// The description goes into the service's own entry; earlier installations wrote it under "Qvan".
constexpr const char* kDescriptionKey = "SYSTEM\\CurrentControlSet\\Services\\Quorvane";
constexpr const char* kEarlierDescriptionKey = "SYSTEM\\CurrentControlSet\\Services\\Qvan";
constexpr const char* kEventSourceKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Qvan";
constexpr const char* kDescription = "Read Exchange dates on Wap-Phones";

}  // namespace qv::testing
