# The event ids of the message catalogue (src/logging/messages.mc) as constants for the code, so that
# the catalogue is the one place an id is given: logging/event_ids.h in the build's generated folder,
# one constant per message, named by its SymbolicName (QV_MSG_LOGON_FAILED = 122). CMake makes it when
# it runs, and runs again when the catalogue changes; an unchanged header is not rewritten.
function(qv_generate_event_ids message_file output)
  file(STRINGS ${message_file} lines REGEX "^(MessageId|SymbolicName)=")
  set(constants "")
  set(id "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^MessageId=(0x[0-9A-Fa-f]+|[0-9]+)[ \t]*$")
      math(EXPR id "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^MessageId=")
      message(FATAL_ERROR "${message_file}: every message gives its id as a number: ${line}")
    elseif(line MATCHES "^SymbolicName=([A-Z0-9_]+)[ \t]*$")
      if(id STREQUAL "")
        message(FATAL_ERROR "${message_file}: ${CMAKE_MATCH_1} comes before its MessageId")
      endif()
      string(APPEND constants "inline constexpr uint32_t ${CMAKE_MATCH_1} = ${id};\n")
      set(id "")
    endif()
  endforeach()
  file(CONFIGURE OUTPUT ${output} @ONLY CONTENT
"// Made by cmake/EventIds.cmake from src/logging/messages.mc; edit the catalogue, not this file.
// The event ids of the message catalogue of the event source Qvan.
#pragma once

#include <cstdint>

namespace qv {

@constants@
}  // namespace qv
")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${message_file})
endfunction()
