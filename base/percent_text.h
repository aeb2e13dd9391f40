// Percent-encoding of URL parts (RFC 3986): the one encoder and decoder of
// query texts, form bodies and redirect targets.
#pragma once

#include <string>
#include <string_view>

namespace corvane::base {

// Keeps the unreserved bytes (letters, digits, "-._~") and writes every
// other byte as "%XX"; a blank as "+" when `spaceAsPlus` (form encoding);
// the hexadecimal digits in lower case when `lowerHex`.
std::string PercentEncode(std::string_view text, bool spaceAsPlus = false, bool lowerHex = false);

// Turns each "%XX" into its byte, and "+" into a blank when `plusIsBlank`
// (form encoding). A "%" not followed by two hexadecimal digits stays as
// it is.
std::string PercentDecode(std::string_view text, bool plusIsBlank = false);

}  // namespace corvane::base
