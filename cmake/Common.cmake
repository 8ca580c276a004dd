# Compiler settings shared by every target of the project.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wpedantic)
endif()

if(CVL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Unicode Windows API, Windows 7 as the oldest target.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Tests and tools run through Wine in a disposable prefix under the build folder.
  set(CVL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for running the Windows tests")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  set(CVL_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
  include(${CMAKE_CURRENT_LIST_DIR}/VersionInfo.cmake)
else()
  set(CVL_RUN "")
endif()

# nlohmann/json is header only; for the cross build, expose just its folder, never the
# rest of the host's /usr/include.
set(CVL_JSON_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
if(NOT EXISTS ${CVL_JSON_INCLUDE}/nlohmann)
  file(MAKE_DIRECTORY ${CVL_JSON_INCLUDE})
  file(CREATE_LINK /usr/include/nlohmann ${CVL_JSON_INCLUDE}/nlohmann SYMBOLIC)
endif()
add_library(cvl_json INTERFACE)
target_include_directories(cvl_json SYSTEM INTERFACE ${CVL_JSON_INCLUDE})

# zlib, linked statically into the Windows program.
if(WIN32)
  add_library(cvl_zlib STATIC IMPORTED)
  set_target_properties(cvl_zlib PROPERTIES IMPORTED_LOCATION /usr/i686-w64-mingw32/lib/libz.a)
else()
  find_package(ZLIB REQUIRED)
  add_library(cvl_zlib INTERFACE)
  target_link_libraries(cvl_zlib INTERFACE ZLIB::ZLIB)
endif()
