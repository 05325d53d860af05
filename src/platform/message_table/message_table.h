// The messages of a program file's message table (the catalogue the event viewer fills in): the
// text of one message id, as the catalogue holds it, "%1" and "%n" still in it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv::platform {

// The text of message_id in the message table of the program file (an empty path: the running
// program's own file), English (United States) preferred. False when the file, its table or the id is
// missing, or the table is damaged.
bool LoadMessageText(const std::string& program_path, uint32_t message_id, std::string* text);

// The same in a message-table resource already read (MESSAGE_RESOURCE_DATA, ANSI or UTF-16 entries,
// UTF-16 ones turned into the ANSI code page). The table is untrusted: a damaged one gives false.
bool FindMessageText(std::span<const uint8_t> table, uint32_t message_id, std::string* text);

}  // namespace qv::platform
