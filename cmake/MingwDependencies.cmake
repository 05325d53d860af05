# Third-party libraries of the Windows cross build. Debian ships no MinGW builds of SQLite or libical,
# so scripts/mingw-dependencies makes them from Debian's source packages inside the build directory
# (once: later configurations find them there). GoogleTest comes from Debian's googletest sources
# (tests/CMakeLists.txt).
set(QV_MINGW_DEPS_DIR ${CMAKE_BINARY_DIR}/third-party)
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/mingw-dependencies ${QV_MINGW_DEPS_DIR}
                        ${CMAKE_TOOLCHAIN_FILE}
                RESULT_VARIABLE deps_result)
if(NOT deps_result EQUAL 0)
  message(FATAL_ERROR "Building the third-party libraries for Windows failed (logs in ${QV_MINGW_DEPS_DIR})")
endif()

# SQLite: the amalgamation, compiled as a library of the project. Optimised in every build type, as
# the system's library is on Linux; the warnings are the upstream code's, not ours.
add_library(qv_sqlite3 STATIC ${QV_MINGW_DEPS_DIR}/sqlite/sqlite3.c)
target_include_directories(qv_sqlite3 SYSTEM PUBLIC ${QV_MINGW_DEPS_DIR}/sqlite)
target_compile_definitions(qv_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION
                                              SQLITE_DQS=0)
target_compile_options(qv_sqlite3 PRIVATE -O2 -w)
add_library(SQLite::SQLite3 ALIAS qv_sqlite3)

# libical, static, with its time zones built in.
add_library(qv_libical STATIC IMPORTED GLOBAL)
set_target_properties(qv_libical PROPERTIES
                      IMPORTED_LOCATION ${QV_MINGW_DEPS_DIR}/install/lib/libical.a
                      INTERFACE_INCLUDE_DIRECTORIES ${QV_MINGW_DEPS_DIR}/install/include
                      INTERFACE_COMPILE_DEFINITIONS LIBICAL_ICAL_STATIC_DEFINE)
add_library(PkgConfig::LIBICAL ALIAS qv_libical)
