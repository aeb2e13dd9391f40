# Build settings shared by every target of the project: warnings, sanitizers,
# and the helpers that declare libraries and tests from a folder's files.

add_library(corvane_options INTERFACE)
target_include_directories(corvane_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(corvane_options INTERFACE -Wall -Wextra)
if(CORVANE_WERROR)
  target_compile_options(corvane_options INTERFACE -Werror)
endif()

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

# corvane_tests([LIBS <deps>...] [ENV <VAR=value>...] [TIMEOUT <s>] [LABELS <l>...])
# One GoogleTest executable per *_test.cpp of the calling folder, each test
# case registered with ctest.
function(corvane_tests)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;ENV;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" _prefix "${_rel}")
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(_src ${_tests})
    get_filename_component(_base ${_src} NAME_WE)
    set(_exe test_${_prefix}_${_base})
    add_executable(${_exe} ${_src})
    target_link_libraries(${_exe} PRIVATE corvane_options ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    set(_props TIMEOUT ${ARG_TIMEOUT})
    if(ARG_ENV)
      list(APPEND _props ENVIRONMENT "${ARG_ENV}")
    endif()
    if(ARG_LABELS)
      list(APPEND _props LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${_exe} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${_prefix}." PROPERTIES ${_props})
  endforeach()
endfunction()
