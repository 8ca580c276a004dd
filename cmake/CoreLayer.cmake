# The core's layer rule: a file under src/core includes the standard library, its own
# libraries (zlib, nlohmann/json) and other core files by bare name ("Text.h"), and
# nothing of a platform or another layer: no Windows SDK header, no POSIX or OpenSSL
# header, no header of src/win32, src/posix or src/app.
#
# Included from src/core/CMakeLists.txt, cvl_check_core_layer stops the configuration
# of every preset. Run as a script it is the unit test "core_layer", which also sees
# an include written after the build was configured:
#   cmake -DCVL_CORE_DIR=<repo>/src/core -P cmake/CoreLayer.cmake

# Windows SDK headers by name (the C runtime's Windows-only ones included).
set(CVL_WINDOWS_HEADERS
  "^(win[a-z0-9_]*|ws2[a-z0-9_]*|[a-z0-9_]*api|bcrypt|ncrypt|urlmon|obj[a-z0-9_]*|unknwn|ole[a-z0-9_]*"
  "|sh[a-z0-9_]*|comm[a-z0-9_]*|gdiplus[a-z0-9_]*|rpc[a-z0-9_]*|tchar|tlhelp32|psapi|dbghelp|mmsystem|dwmapi"
  "|uxtheme|versionhelpers|ntstatus|sdkddkver|io|direct|process|conio)\\.h$")
string(JOIN "" CVL_WINDOWS_HEADERS ${CVL_WINDOWS_HEADERS})
# POSIX and OpenSSL headers, and paths into the other layers.
set(CVL_PLATFORM_HEADERS
  "^(unistd|fcntl|dirent|pthread|dlfcn|netdb|poll|termios|pwd|grp|strings|spawn|syslog|iconv|langinfo)\\.h$"
  "|^(sys|openssl|arpa|netinet|net|win32|posix|app|core)/")
string(JOIN "" CVL_PLATFORM_HEADERS ${CVL_PLATFORM_HEADERS})

# Sets <out> to the offending lines, one "file: #include ..." entry each.
function(cvl_core_layer_violations core_dir out)
  file(GLOB_RECURSE files ${core_dir}/*.h ${core_dir}/*.hpp ${core_dir}/*.cpp ${core_dir}/*.inc)
  set(found "")
  foreach(file ${files})
    file(RELATIVE_PATH name ${core_dir}/.. ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(NOT line MATCHES "#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"]")
        list(APPEND found "${name}: ${line} (not a plain include)")
        continue()
      endif()
      set(header "${CMAKE_MATCH_2}")
      string(TOLOWER "${header}" lower)
      if(CMAKE_MATCH_1 STREQUAL "\"")
        # Another core file, by its bare name: nothing outside the folder.
        if(header MATCHES "[/\\\\]" OR NOT EXISTS ${core_dir}/${header})
          list(APPEND found "${name}: ${line} (core files include core files by bare name)")
        endif()
      elseif(lower MATCHES "${CVL_WINDOWS_HEADERS}")
        list(APPEND found "${name}: ${line} (a Windows header: the core is platform-free)")
      elseif(lower MATCHES "${CVL_PLATFORM_HEADERS}")
        list(APPEND found "${name}: ${line} (a platform or other layer's header: the core is platform-free)")
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(cvl_check_core_layer core_dir)
  cvl_core_layer_violations(${core_dir} found)
  if(found)
    list(JOIN found "\n  " text)
    message(FATAL_ERROR "The core must stay free of the platform and of the other layers "
                        "(what it needs from them it asks through an interface):\n  ${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT CVL_CORE_DIR)
    message(FATAL_ERROR "usage: cmake -DCVL_CORE_DIR=<repo>/src/core -P CoreLayer.cmake")
  endif()
  cvl_check_core_layer(${CVL_CORE_DIR})
  message(STATUS "core layer: no platform or other layer's header in ${CVL_CORE_DIR}")
endif()
