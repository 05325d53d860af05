# Resources of our programs: the version information (src/resources/program.rc.in, filled in with the
# program's names and the project version) and the message catalogue (src/logging/messages.mc).
# qvrc, the resource compiler built in this same build, turns both into C++ source that puts the
# resource section into the program file, where the resource reader finds it.
set(QV_PROGRAM_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../src/resources/program.rc.in)
set(QV_MESSAGE_FILE ${CMAKE_CURRENT_LIST_DIR}/../src/logging/messages.mc)

# qv_add_program_resources(TARGET DESCRIPTION [PRODUCT_VERSION X.Y] [COMMENTS TEXT]): TARGET's
# FileDescription is DESCRIPTION. ProductVersion is the project's version unless PRODUCT_VERSION gives
# another (the calendar store's program states the information store version it stands for); COMMENTS
# adds a Comments value.
function(qv_add_program_resources target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "PRODUCT_VERSION;COMMENTS" "")
  set(patch "${PROJECT_VERSION_PATCH}")
  set(tweak "${PROJECT_VERSION_TWEAK}")
  if(patch STREQUAL "")
    set(patch 0)
  endif()
  if(tweak STREQUAL "")
    set(tweak 0)
  endif()
  set(QV_RC_NAME ${target})
  set(QV_RC_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
  set(QV_RC_DESCRIPTION "${description}")
  set(QV_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${patch},${tweak}")
  set(QV_RC_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${patch}.${tweak}")
  set(QV_RC_PRODUCT_VERSION "${PROJECT_VERSION}")
  set(QV_RC_PRODUCT_VERSION_COMMAS "${QV_RC_VERSION_COMMAS}")
  if(DEFINED arg_PRODUCT_VERSION)
    set(QV_RC_PRODUCT_VERSION "${arg_PRODUCT_VERSION}")
    string(REPLACE "." ";" product_parts "${arg_PRODUCT_VERSION}.0.0.0")
    list(SUBLIST product_parts 0 4 product_parts)
    list(JOIN product_parts "," QV_RC_PRODUCT_VERSION_COMMAS)
  endif()
  set(QV_RC_COMMENTS_VALUE "")
  if(DEFINED arg_COMMENTS)
    set(QV_RC_COMMENTS_VALUE "VALUE \"Comments\", \"${arg_COMMENTS}\"")
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/resources/${target}.rc)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/resources/${target}_resources.cc)
  configure_file(${QV_PROGRAM_RC_TEMPLATE} ${script} @ONLY)
  if(WIN32)
    # The native build compiles the same script with the Windows resource compiler; the message
    # table comes from the same message file through mc (added with the Windows platform layer).
    target_sources(${target} PRIVATE ${script})
    return()
  endif()
  get_filename_component(message_file ${QV_MESSAGE_FILE} ABSOLUTE)
  add_custom_command(OUTPUT ${source}
                     COMMAND qvrc --rc ${script} --mc ${message_file} --cc ${source}
                     DEPENDS qvrc ${script} ${message_file}
                     COMMENT "Compiling the resources of ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${source})
endfunction()
