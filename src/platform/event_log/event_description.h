// What an event viewer shows of an event: the message its source's catalogue holds for the event id,
// with the insertion strings filled in; or, when no catalogue has the message, a notice with the
// strings as they were written. The catalogue is the message table of the program files that the
// source's registration (EventMessageFile) names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

// The program files named by EventMessageFile of the source's key below kApplicationLogKey: split at
// ";", a REG_EXPAND_SZ value with its %NAME% references taken from the environment. Empty when the
// source, the value or the registry cannot be read.
std::vector<std::string> EventMessageFiles(const std::string& source_name);

// The message of event_id from the first of the files whose message table holds it, filled in with
// the strings ("%1" is strings[0], "%n" a line break). False when no file holds the message.
bool FormatEventDescription(const std::vector<std::string>& message_files, uint32_t event_id,
                            const std::vector<std::string>& strings, std::string* text);

// The notice shown for an event whose message cannot be found, naming the id and the source and
// listing the strings, one a line.
std::string MissingEventDescription(const std::string& source_name, uint32_t event_id,
                                    const std::vector<std::string>& strings);

}  // namespace qv::platform
