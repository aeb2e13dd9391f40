# Writes OUTPUT, a C++ source holding the bytes of each file of PROFILES
# (.ini paths apart by "|") and the table BuiltinProfileTexts() of
# search/builtin_profiles.h: name (the file's stem) and text. The bytes go
# out as numbers, so any content survives unchanged.
string(REPLACE "|" ";" _files "${PROFILES}")
set(_arrays "")
set(_entries "")
set(_index 0)
foreach(_file ${_files})
  get_filename_component(_name ${_file} NAME_WE)
  file(READ ${_file} _hex HEX)
  string(LENGTH "${_hex}" _hexlen)
  math(EXPR _size "${_hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  # Lines of 16 bytes, so that the source stays readable by tools (CMake's
  # expressions have no repeat count).
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 _line)
  string(REGEX REPLACE "(${_line})" "\\1\n    " _bytes "${_bytes}")
  string(APPEND _arrays "const unsigned char kProfile${_index}[] = {\n    ${_bytes}0x00};\n")
  string(APPEND _entries
         "    {\"${_name}\", std::string_view(reinterpret_cast<const char*>(kProfile${_index}), ${_size})},\n")
  math(EXPR _index "${_index} + 1")
endforeach()
set(_text "// Generated from search/profiles/*.ini by search/embed_profiles.cmake.
#include \"search/builtin_profiles.h\"

namespace corvane::search {

namespace {

${_arrays}
const BuiltinProfileText kTexts[] = {
${_entries}};

}  // namespace

std::span<const BuiltinProfileText> BuiltinProfileTexts() {
    return kTexts;
}

}  // namespace corvane::search
")
# Written only when it changed, so that an unchanged profile set does not
# rebuild the library.
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} _old)
  if(_old STREQUAL _text)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${_text}")
