# GoogleTest built from Debian's sources, for the host and for the cross build alike.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# cvl_add_gtest(NAME SOURCES... LIBS ... LABELS ...)
# Under Wine the test list is read when ctest runs, not at build time, so building
# never needs a Wine prefix.
function(cvl_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  # In the windows preset every test runs under Wine: that is its layer.
  set(labels ${T_LABELS})
  if(WIN32)
    set(labels wine)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${labels}" TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()
