#include "search/result_extract.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "base/ascii.h"
#include "base/percent_text.h"
#include "search/json_path.h"
#include "search/url_text.h"
#include "search/xml_support.h"

namespace corvane::search {

namespace {

using Json = nlohmann::json;

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    if (part.empty())
        return true;
    const auto it =
        std::search(text.begin(), text.end(), part.begin(), part.end(),
                    [](char a, char b) { return base::LowerAscii(a) == base::LowerAscii(b); });
    return it != text.end();
}

bool HasSkipPrefix(const SearchProfile& profile, std::string_view url) {
    return std::any_of(profile.SkipPrefixes.begin(), profile.SkipPrefixes.end(),
                       [&](const std::string& p) { return base::StartsWithIgnoringCase(url, p); });
}

// The strings a path reaches in a JSON value, in document order.
std::vector<std::string> JsonTexts(const Json& root, const std::string& path, std::size_t most) {
    std::vector<std::string> texts;
    std::vector<JsonPathStep> steps;
    std::string problem;
    if (!ParseJsonPath(path, steps, problem))
        return texts;
    std::vector<const Json*> current{&root};
    for (const JsonPathStep& step : steps) {
        std::vector<const Json*> next;
        for (const Json* value : current) {
            if (!step.Name.empty()) {
                if (!value->is_object())
                    continue;
                const auto it = value->find(step.Name);
                if (it == value->end())
                    continue;
                value = &*it;
            }
            next.push_back(value);
        }
        for (int a = 0; a < step.Arrays; ++a) {
            std::vector<const Json*> elements;
            for (const Json* value : next) {
                if (!value->is_array())
                    continue;
                for (const Json& element : *value)
                    elements.push_back(&element);
            }
            next.swap(elements);
        }
        current.swap(next);
    }
    for (const Json* value : current) {
        if (texts.size() >= most)
            break;
        if (value->is_string())
            texts.push_back(value->get<std::string>());
    }
    return texts;
}

// A link as the answer gave it, made a result URL: absolute, unwrapped, an
// http or https URL with a host; empty for an ad or anything else.
std::string ResultUrl(const SearchProfile& profile, std::string_view link,
                      const std::string& pageUrl) {
    link = base::TrimBlanks(link);
    if (link.empty())
        return std::string();
    if (profile.SkipRelative && SchemeOf(link).empty() && link.substr(0, 2) != "//")
        return std::string();
    const std::string absolute = ResolveLink(pageUrl, link);
    if (absolute.empty() || HasSkipPrefix(profile, absolute))
        return std::string();
    std::string url = UnwrapLink(profile, absolute);
    if (url != absolute) {
        url = ResolveLink(pageUrl, base::TrimBlanks(url));
        if (HasSkipPrefix(profile, url))
            return std::string();
    }
    const std::string scheme = SchemeOf(url);
    if ((scheme != "http" && scheme != "https") || UrlHost(url).empty() ||
        std::any_of(url.begin(), url.end(), base::IsBlankOrControl))
        return std::string();
    return url;
}

}  // namespace

std::string UnwrapLink(const SearchProfile& profile, const std::string& link) {
    if (!profile.UnwrapParameter.empty()) {
        std::string target;
        if (QueryParameter(link, profile.UnwrapParameter, target) && !target.empty())
            return target;
    }
    if (!profile.UnwrapStart.empty()) {
        const std::size_t start = link.find(profile.UnwrapStart);
        if (start != std::string::npos) {
            const std::size_t from = link.find("http", start + profile.UnwrapStart.size());
            if (from != std::string::npos) {
                std::size_t end = link.size();
                for (const std::string& marker : profile.UnwrapEnds) {
                    if (marker.empty())
                        continue;
                    end = std::min(end, link.find(marker, from));
                }
                return base::PercentDecode(std::string_view(link).substr(from, end - from));
            }
        }
    }
    return link;
}

ExtractedPage ExtractResults(const SearchProfile& profile, std::string_view answer,
                             const std::string& pageUrl) {
    // Far more than any results page holds; bounds the work on hostile input.
    constexpr std::size_t kMostLinks = 10000;
    ExtractedPage page;
    if (!profile.BlockText.empty() && ContainsIgnoringCase(answer, profile.BlockText)) {
        page.Blocked = true;
        return page;
    }
    std::vector<std::string> links;
    if (profile.Answer == AnswerKind::Html) {
        const HtmlPage html(answer);
        if (!html.Parsed()) {
            if (!base::TrimBlanks(answer).empty())
                page.Problem = "the answer could not be read as HTML";
            return page;
        }
        if (!profile.BlockXPath.empty() && html.Matches(profile.BlockXPath)) {
            page.Blocked = true;
            return page;
        }
        links = html.Texts(profile.Results);
        for (const auto& [name, expression] : profile.Captures) {
            const std::vector<std::string> values = html.Texts(expression);
            if (!values.empty() && !base::TrimBlanks(values.front()).empty())
                page.Captures[name] = std::string(base::TrimBlanks(values.front()));
        }
    } else {
        const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
        if (root.is_discarded()) {
            page.Problem = base::TrimBlanks(answer).empty() ? "the answer is empty, not JSON"
                                                            : "the answer is not JSON";
            return page;
        }
        links = JsonTexts(root, profile.Results, kMostLinks);
        for (const auto& [name, path] : profile.Captures) {
            const std::vector<std::string> values = JsonTexts(root, path, 1);
            if (!values.empty() && !values.front().empty())
                page.Captures[name] = values.front();
        }
    }
    for (const std::string& link : links) {
        if (page.Urls.size() >= kMostLinks)
            break;
        std::string url = ResultUrl(profile, link, pageUrl);
        if (!url.empty())
            page.Urls.push_back(std::move(url));
    }
    return page;
}

}  // namespace corvane::search
