#include "search/search_request.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/percent_text.h"
#include "search/url_text.h"

namespace corvane::search {

namespace {

struct PageValues {
    const std::string* Base;
    const std::string* Query;
    std::int64_t Page;
    std::int64_t Offset;
    const std::map<std::string, std::string>* Captures;
};

// A capture by name, the case of the name ignored as in the profile file.
const std::string* FindCapture(const std::map<std::string, std::string>& captures,
                               std::string_view name) {
    for (const auto& [key, value] : captures) {
        if (base::EqualsIgnoringCase(key, name))
            return &value;
    }
    return nullptr;
}

// Calls `f` with each placeholder name of a template.
template <typename F>
void ForEachPlaceholder(const std::string& text, F&& f) {
    std::size_t pos = 0;
    while ((pos = text.find('{', pos)) != std::string::npos) {
        const std::size_t close = text.find('}', pos);
        if (close == std::string::npos)
            return;
        f(std::string_view(text).substr(pos + 1, close - pos - 1));
        pos = close + 1;
    }
}

// The template with its placeholders filled in; values other than numbers
// and the base are percent-encoded, a space as "+" in a form body.
std::string Fill(const std::string& text, const PageValues& v, bool formBody) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('{', pos);
        const std::size_t close =
            open == std::string::npos ? std::string::npos : text.find('}', open);
        if (close == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, open - pos);
        const std::string name =
            base::LowerAscii(std::string_view(text).substr(open + 1, close - open - 1));
        if (name == "base")
            out += *v.Base;
        else if (name == "query")
            out += base::PercentEncode(*v.Query, formBody);
        else if (name == "page")
            out += std::to_string(v.Page);
        else if (name == "offset")
            out += std::to_string(v.Offset);
        else if (name == "offset1")
            out += std::to_string(v.Offset + 1);
        else if (const std::string* captured = FindCapture(*v.Captures, name))
            out += base::PercentEncode(*captured, formBody);
        pos = close + 1;
    }
    return out;
}

bool UsesBase(const SearchProfile& profile, int page) {
    bool uses = false;
    const auto check = [&](const std::string& text) {
        ForEachPlaceholder(text, [&](std::string_view name) {
            uses = uses || base::EqualsIgnoringCase(name, "base");
        });
    };
    const bool first = page <= 1;
    check(first && !profile.FirstUrlTemplate.empty() ? profile.FirstUrlTemplate
                                                     : profile.UrlTemplate);
    check(first && !profile.FirstBodyTemplate.empty() ? profile.FirstBodyTemplate
                                                      : profile.BodyTemplate);
    for (const auto& header : profile.Headers)
        check(header.second);
    return uses;
}

}  // namespace

SearchRequest BuildSearchRequest(const SearchProfile& profile, const std::string& query, int page,
                                 const std::map<std::string, std::string>& captures,
                                 const std::string& base) {
    std::string address = !base.empty()          ? base
                          : profile.BaseRequired ? std::string()
                                                 : profile.Base;
    while (!address.empty() && address.back() == '/')
        address.pop_back();
    if (UsesBase(profile, page)) {
        if (address.empty())
            throw ProfileError("the " + profile.Name +
                               " profile needs the address of your instance: give it with "
                               "--searxng URL (or CORVANE_SEARXNG)");
        const std::string scheme = SchemeOf(address);
        if (scheme != "http" && scheme != "https")
            throw ProfileError("the address " + address + " for the " + profile.Name +
                               " profile must start with http:// or https://");
    }
    if (page < 1)
        page = 1;
    const PageValues values{&address, &query, page,
                            static_cast<std::int64_t>(profile.OffsetStart) +
                                static_cast<std::int64_t>(page - 1) * profile.OffsetStep,
                            &captures};
    const bool first = page == 1;
    SearchRequest request;
    request.Method = profile.Method;
    request.Url = Fill(
        first && !profile.FirstUrlTemplate.empty() ? profile.FirstUrlTemplate : profile.UrlTemplate,
        values, false);
    if (profile.Method == "POST") {
        request.Body = Fill(first && !profile.FirstBodyTemplate.empty() ? profile.FirstBodyTemplate
                                                                        : profile.BodyTemplate,
                            values, true);
        request.ContentType = "application/x-www-form-urlencoded";
    }
    for (const auto& [name, value] : profile.Headers)
        request.Headers.emplace_back(name, Fill(value, values, false));
    return request;
}

std::vector<std::string> MissingCaptures(const SearchProfile& profile, int page,
                                         const std::map<std::string, std::string>& captures) {
    std::vector<std::string> missing;
    const bool first = page <= 1;
    const auto check = [&](const std::string& text) {
        ForEachPlaceholder(text, [&](std::string_view name) {
            for (const auto& capture : profile.Captures) {
                if (base::EqualsIgnoringCase(capture.first, name) &&
                    FindCapture(captures, name) == nullptr &&
                    std::find(missing.begin(), missing.end(), capture.first) == missing.end())
                    missing.push_back(capture.first);
            }
        });
    };
    check(first && !profile.FirstUrlTemplate.empty() ? profile.FirstUrlTemplate
                                                     : profile.UrlTemplate);
    if (profile.Method == "POST")
        check(first && !profile.FirstBodyTemplate.empty() ? profile.FirstBodyTemplate
                                                          : profile.BodyTemplate);
    for (const auto& header : profile.Headers)
        check(header.second);
    return missing;
}

}  // namespace corvane::search
