// Reads arbitrary bytes as a search profile; a profile that parses makes
// its first pages' requests and reads a small page, and what comes out
// keeps its shape.
// fuzz-libs: corvane_search
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "base/ascii.h"
#include "search/result_extract.h"
#include "search/search_profile.h"
#include "search/search_request.h"

using namespace corvane;
using namespace corvane::search;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

const char* const kPage =
    "<html><body><div id=\"links\"><div class=\"web-result\"><h2><a href=\"https://a.test/\">a</a>"
    "</h2></div></div><ul class=\"results-standard\"><li><a class=\"ob\" href=\"/rel\">b</a></li>"
    "</ul><input name=\"vqd\" value=\"4-1\"><form id=\"challenge-form\"></form></body></html>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SearchProfile profile;
    try {
        profile = ParseProfile(text, "fuzz.ini", "fuzz");
    } catch (const ProfileError& e) {
        Check(std::string(e.what()).rfind("fuzz.ini", 0) == 0);
        return 0;
    }
    if (profile.Kind == ProfileKind::Classic)
        return 0;
    Check(profile.Method == "GET" || profile.Method == "POST");
    Check(!profile.UrlTemplate.empty() && !profile.Results.empty());
    Check(profile.PageLimit >= 1 && profile.PageSize >= 1);
    std::map<std::string, std::string> captures;
    for (const auto& capture : profile.Captures)
        captures[capture.first] = "v a&l";
    for (int page = 1; page <= 3; ++page) {
        try {
            const SearchRequest request = BuildSearchRequest(profile, "q \r\n\"x\"", page, captures,
                                                             page == 3 ? "" : "https://b.test/");
            Check(request.Method == profile.Method);
            // The query and the captures are encoded: no line break gets in.
            Check(!HasLineBreak(request.Url) && !HasLineBreak(request.Body));
            for (const auto& header : request.Headers)
                Check(!HasLineBreak(header.first) && !HasLineBreak(header.second));
            Check(MissingCaptures(profile, page, captures).empty());
        } catch (const ProfileError&) {
            // No base for a profile that needs one.
        }
    }
    const ExtractedPage page = ExtractResults(profile, kPage, "https://s.test/x");
    for (const std::string& url : page.Urls)
        Check(base::StartsWithIgnoringCase(url, "http://") ||
              base::StartsWithIgnoringCase(url, "https://"));
    return 0;
}
