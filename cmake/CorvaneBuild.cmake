# Build settings shared by every target of the project: warnings, sanitizers,
# and the helpers that declare libraries and tests from a folder's files.

add_library(corvane_options INTERFACE)
target_include_directories(corvane_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(corvane_options INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast -Wpedantic)
if(CORVANE_WERROR)
  target_compile_options(corvane_options INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports impossible overlapping copies inside its own
# std::string code (-Wrestrict) wherever a string is assigned or prefixed
# after inlining: engine/site_figures.cpp, net/fetch_resolve.cpp,
# platform/user_store.cpp, history/survey_compare.cpp and
# history/history_commands.cpp among them, so it is off for the Release
# build on that compiler rather than file by file; the other build types
# (-O2 and below, where it does not fire) keep the warning.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(corvane_options INTERFACE $<$<CONFIG:Release>:-Wno-restrict>)
endif()

# The project's version, from project(), as the header corvane_version.h in
# the build tree: CORVANE_VERSION ("1.0.0") and its parts.
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane_version.h.in
               ${PROJECT_BINARY_DIR}/generated/corvane_version.h @ONLY)
add_library(corvane_version INTERFACE)
target_include_directories(corvane_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
target_link_libraries(corvane_options INTERFACE corvane_version)

if(CORVANE_SANITIZE)
  set(_corvane_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${_corvane_san})
  # GCC's flow analysis gives false "may be used uninitialized" reports on
  # instrumented code (in its own <regex>, for one); the plain build keeps
  # the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVANE_TSAN)
  if(CORVANE_SANITIZE OR CORVANE_FUZZ)
    message(FATAL_ERROR "CORVANE_TSAN cannot be combined with CORVANE_SANITIZE or CORVANE_FUZZ")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(CORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANE_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  # Everything is instrumented for coverage; the fuzz targets add the driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# corvane_library(<name> [LIBS <deps>...])
# A static library from every .cpp of the calling folder.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${_srcs} ${_hdrs})
  target_link_libraries(${name} PUBLIC corvane_options ${ARG_LIBS})
endfunction()

# Builds every test executable that carries the label "threads": what the
# ThreadSanitizer build (preset tsan) needs, and no more.
add_custom_target(corvane_threads_tests)

# corvane_tests([LIBS <deps>...] [ENV <VAR=value>...] [TIMEOUT <s>] [LABELS <l>...]
#               [THREADS <file base names>...])
# One GoogleTest executable per *_test.cpp of the calling folder, each test
# case registered with ctest. LABELS go to every test of the folder; the
# executables named in THREADS (e.g. server_test) start threads and also get
# the label "threads", which the ThreadSanitizer run selects.
function(corvane_tests)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;ENV;LABELS;THREADS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" _prefix "${_rel}")
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(_threaded ${ARG_THREADS})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_threaded}.cpp)
      message(FATAL_ERROR "corvane_tests THREADS: no ${_threaded}.cpp in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
  endforeach()
  foreach(_src ${_tests})
    get_filename_component(_base ${_src} NAME_WE)
    set(_exe test_${_prefix}_${_base})
    add_executable(${_exe} ${_src})
    target_link_libraries(${_exe} PRIVATE corvane_options ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    set(_props TIMEOUT ${ARG_TIMEOUT})
    if(ARG_ENV)
      list(APPEND _props ENVIRONMENT "${ARG_ENV}")
    endif()
    set(_labels ${ARG_LABELS})
    if(_base IN_LIST ARG_THREADS)
      list(APPEND _labels threads)
      add_dependencies(corvane_threads_tests ${_exe})
    endif()
    if(_labels)
      list(APPEND _props LABELS "${_labels}")
    endif()
    gtest_discover_tests(${_exe} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${_prefix}." PROPERTIES ${_props})
  endforeach()
endfunction()
