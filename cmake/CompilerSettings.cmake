# Warnings and sanitizers shared by every target of the project.
add_library(qv_settings INTERFACE)
target_compile_options(qv_settings INTERFACE -Wall -Wextra -Wnon-virtual-dtor -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(qv_settings INTERFACE -Wshadow=local)  # clang knows no such form
endif()
if(WIN32)
  # Windows 7 is the oldest system the programs run on (CoGetApartmentType, LOCALE_SSHORTTIME ...);
  # the wide-character forms of the Win32 calls are the ones the platform layer uses.
  target_compile_definitions(qv_settings INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)
endif()
if(QV_WARNINGS_AS_ERRORS)
  target_compile_options(qv_settings INTERFACE -Werror)
endif()

if(QV_SANITIZE STREQUAL "address")
  target_compile_options(qv_settings INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                               -fno-omit-frame-pointer)
  target_link_options(qv_settings INTERFACE -fsanitize=address,undefined)
elseif(QV_SANITIZE STREQUAL "thread")
  target_compile_options(qv_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(qv_settings INTERFACE -fsanitize=thread)
elseif(QV_SANITIZE STREQUAL "fuzzer")
  # Coverage for libFuzzer in every unit; the fuzz targets add -fsanitize=fuzzer when they link.
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QV_SANITIZE=fuzzer needs clang (CC=clang CXX=clang++)")
  endif()
  target_compile_options(qv_settings INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                               -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(qv_settings INTERFACE -fsanitize=address,undefined)
elseif(NOT QV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QV_SANITIZE must be empty, address, thread or fuzzer")
endif()
