# Formatting by the repository's .clang-format:
#   cmake --build <dir> --target format         rewrites every source in place
#   cmake --build <dir> --target check-format   fails, naming the files, when
#                                               one is not formatted
# over the C++ sources (*.cpp, *.h) of the project's folders, the scripts'
# helper programs included.
# scripts/check_format.sh runs the same check without a build tree.

find_program(CORVANE_CLANG_FORMAT NAMES clang-format-14 clang-format)
if(NOT CORVANE_CLANG_FORMAT)
  message(STATUS "clang-format not found: no format and check-format targets")
  return()
endif()

set(CORVANE_FORMAT_DIRS
    engine net platform demo cli ui tests bench fuzz base frontend history lists search scripts)
set(_corvane_format_globs)
foreach(dir ${CORVANE_FORMAT_DIRS})
  if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${dir})
    message(FATAL_ERROR "ClangFormat.cmake: no folder ${dir}; update CORVANE_FORMAT_DIRS")
  endif()
  list(APPEND _corvane_format_globs
       ${PROJECT_SOURCE_DIR}/${dir}/*.cpp ${PROJECT_SOURCE_DIR}/${dir}/*.h)
endforeach()
file(GLOB_RECURSE CORVANE_FORMAT_SOURCES CONFIGURE_DEPENDS ${_corvane_format_globs})
list(SORT CORVANE_FORMAT_SOURCES)

add_custom_target(format
  COMMAND ${CORVANE_CLANG_FORMAT} -i --style=file ${CORVANE_FORMAT_SOURCES}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Formatting the sources with clang-format"
  VERBATIM)
add_custom_target(check-format
  COMMAND ${CORVANE_CLANG_FORMAT} --dry-run --Werror --style=file ${CORVANE_FORMAT_SOURCES}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "Checking the formatting of the sources"
  VERBATIM)
