// The request for one result page of a profile.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "search/search_profile.h"

namespace corvane::search {

struct SearchRequest {
    std::string Method = "GET";
    std::string Url;
    std::string Body;  // POST only
    std::string ContentType;
    std::vector<std::pair<std::string, std::string>> Headers;
};

// Page `page` (1-based) of `query` (sent as typed, percent-encoded).
// `captures` are the values the previous page gave; `base` replaces the
// profile's Base when not empty. Throws ProfileError when the profile needs
// a base and has none.
SearchRequest BuildSearchRequest(const SearchProfile& profile, const std::string& query, int page,
                                 const std::map<std::string, std::string>& captures = {},
                                 const std::string& base = {});

// The captures the request of page `page` uses that `captures` lacks (the
// previous page held no such value): the next page cannot be asked for.
std::vector<std::string> MissingCaptures(const SearchProfile& profile, int page,
                                         const std::map<std::string, std::string>& captures);

}  // namespace corvane::search
