// Reads arbitrary bytes as the answer of a search source, through each
// built-in profile and a JSON profile with nested arrays: it never fails,
// and every URL it gives is an absolute http(s) URL with a host.
// fuzz-libs: corvane_search
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "search/profile_catalog.h"
#include "search/result_extract.h"
#include "search/web_survey.h"

using namespace corvane;
using namespace corvane::search;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const std::vector<SearchProfile>& Profiles() {
    static const std::vector<SearchProfile> profiles = [] {
        std::vector<SearchProfile> p;
        for (const char* name : {"duckduckgo", "mojeek", "yahoo", "brave", "searxng"})
            p.push_back(LoadProfile(name, "/nonexistent"));
        p.push_back(
            ParseProfile("[request]\nurl = x\n[answer]\nkind = json\nresults = [][].a.b[].url\n"
                         "unwrap-parameter = u\nunwrap-start = /RU=\nunwrap-end = /RK=\n"
                         "[captures]\nnext = [].next\n",
                         "fuzz.ini", "nested"));
        return p;
    }();
    return profiles;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::vector<SearchProfile>& profiles = Profiles();
    const SearchProfile& profile = profiles[data[0] % profiles.size()];
    const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
    const ExtractedPage page = ExtractResults(profile, answer, "https://s.test/a/b?q=1");
    Check(!page.Blocked || page.Urls.empty());
    Check(page.Problem.empty() || page.Urls.empty());
    for (const std::string& url : page.Urls) {
        Check(base::StartsWithIgnoringCase(url, "http://") ||
              base::StartsWithIgnoringCase(url, "https://"));
        Check(!HostOfResultUrl(url).empty());
        for (const char c : url)
            Check(!base::IsBlankOrControl(c));
    }
    // Any text as a link.
    (void)UnwrapLink(profile, std::string(answer));
    return 0;
}
