// The result URLs of one answer of a search source, found as its profile
// says: XPath over the parsed HTML, or a path into the JSON.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "search/search_profile.h"

namespace corvane::search {

struct ExtractedPage {
    // Absolute http(s) URLs in answer order, redirect links unwrapped, ads
    // skipped. Repeats are kept (the survey keeps the first place).
    std::vector<std::string> Urls;
    // The answer looks like a block page (CAPTCHA, "too many requests").
    bool Blocked = false;
    // The answer could not be read at all (JSON that does not parse), in
    // words; empty otherwise.
    std::string Problem;
    // The profile's captures found on this page, for the next request.
    std::map<std::string, std::string> Captures;
};

// `pageUrl` resolves relative links. Never throws for any answer bytes.
ExtractedPage ExtractResults(const SearchProfile& profile, std::string_view answer,
                             const std::string& pageUrl);

// The target of a redirect link by the profile's unwrapping rule; the link
// itself when the rule does not apply.
std::string UnwrapLink(const SearchProfile& profile, const std::string& link);

}  // namespace corvane::search
