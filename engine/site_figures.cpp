#include "engine/site_figures.h"

#include <cstdlib>
#include <exception>

#include "base/ascii.h"
#include "engine/text_ops.h"

namespace corvane::engine {

std::string LinkQueryUrl(const ServiceEndpoints& endpoints, std::string_view target) {
    std::string q = "link:http://";
    q.append(target);
    q = ReplaceAllText(q, " ", "%20");
    q = ReplaceAllText(q, ":", "%3A");
    q = ReplaceAllText(q, "/", "%2F");
    return endpoints.SearchEndpoint + "/search?p=" + q;
}

std::string ScrapeInboundFigure(std::string_view lowPage) {
    std::string result = "0";
    if (const auto p = PosOf("of about", lowPage); p > 0) {
        const std::string_view w = SliceView(lowPage, p, 300);
        const auto a = PosOf(">", w);
        const auto b = PosOf("</", w);
        result = std::string(SliceView(w, a + 1, (b - 1) - a));
    }
    if (result.empty()) {
        result = "0";
    }
    // The fallback comes first: a figure made only of separators ends empty.
    return StripNumberSeparators(result);
}

std::string InboundLinks(SurveyHost& host, const std::string& site) {
    try {
        host.ShowStatus(site);
        host.PumpMessages();
        std::string page = host.FetchPage(LinkQueryUrl(host.Endpoints(), site), 80);
        host.PumpMessages();
        base::LowerAsciiInPlace(page);
        std::string figure = ScrapeInboundFigure(page);
        host.PumpMessages();
        return figure;
    } catch (const std::exception&) {
        // A figure never fails: whatever went wrong leaves an empty figure.
        // (RunAbandoned is no std::exception and passes on, ending the run.)
        return std::string();
    }
}

std::int32_t CountAbsoluteAnchors(std::string_view page) {
    // Matches as if the page had been lower-cased first, without writing a
    // lowered copy of it: "<a " is found with either case of the "a", and
    // each tag (short, and visited once) is lowered into a scratch buffer.
    std::int32_t count = 0;
    std::string tag;
    std::size_t from = 0;
    for (;;) {
        std::size_t p = page.find('<', from);
        while (
            p != std::string_view::npos &&
            !(p + 2 < page.size() && base::LowerAscii(page[p + 1]) == 'a' && page[p + 2] == ' ')) {
            p = page.find('<', p + 1);
        }
        if (p == std::string_view::npos) {
            break;
        }
        const std::size_t g = page.find('>', p);
        if (g == std::string_view::npos) {
            break;  // no complete tag follows
        }
        tag.assign(page.substr(p, g - p + 1));
        base::LowerAsciiInPlace(tag);
        if (base::Contains(tag, "http://") || base::Contains(tag, "https://") ||
            base::Contains(tag, "www.")) {
            count = WrapAdd(count, 1);
        }
        from = g;  // the page goes on from the tag's ">"
    }
    return count;
}

std::int32_t OutboundLinks(SurveyHost& host, const std::string& site) {
    if (site.empty()) {
        return 0;
    }
    std::int32_t count = 0;
    try {
        const std::string page = host.FetchPage("http://" + site, 80);
        host.PumpMessages();
        count = CountAbsoluteAnchors(page);
    } catch (const std::exception&) {
        // A figure never fails: the count is what was seen before the failure.
        // (RunAbandoned is no std::exception and passes on, ending the run.)
    }
    return count;
}

std::string LinkValue(std::int32_t inbound, std::int32_t outbound, std::int32_t divisor) {
    if (divisor == 0) {
        return "0";
    }
    const std::int64_t d = outbound == 0 ? 1 : outbound;
    // The quotient inbound*10 / (divisor*d), rounded exactly: both products
    // fit 64 bits, so halves are recognised without floating-point error.
    const std::int64_t num = static_cast<std::int64_t>(inbound) * 10;
    const std::int64_t den = static_cast<std::int64_t>(divisor) * d;
    const bool negative = (num < 0) != (den < 0);
    const std::uint64_t a = static_cast<std::uint64_t>(num < 0 ? -num : num);
    const std::uint64_t b =
        den < 0 ? static_cast<std::uint64_t>(-(den + 1)) + 1 : static_cast<std::uint64_t>(den);
    std::uint64_t q = a / b;
    const std::uint64_t r = a % b;
    if (r >= b - r) {  // r / b >= 1/2: away from zero
        ++q;
    }
    if (q == 0) {
        return "0";
    }
    return (negative ? "-" : "") + std::to_string(q);
}

std::string ScrapeTrafficRank(std::string_view page) {
    const auto p = PosOf("traffic rank for ", page);
    const std::string_view r = RestFrom(page, p);
    const auto b = PosOf("<br>", r);
    const std::string_view s = SliceView(r, 1, b);
    std::string digits;
    for (std::size_t k = 0; k + 1 < s.size(); ++k) {
        if (s[k] == '>' && base::IsDigit(s[k + 1])) {
            digits.push_back(s[k + 1]);
        }
    }
    return digits.empty() ? std::string(kNoTrafficRank) : digits;
}

std::string TrafficRank(SurveyHost& host, const std::string& site) {
    try {
        const std::string domain = BareDomain(site);
        std::string page = host.FetchPage(
            host.Endpoints().TrafficEndpoint + "/data/details/?url=www." + domain, 80);
        host.PumpMessages();
        base::LowerAsciiInPlace(page);
        return ScrapeTrafficRank(page);
    } catch (const std::exception&) {
        // A figure never fails: any failure gives the fallback rank.
        // (RunAbandoned is no std::exception and passes on, ending the run.)
        return kNoTrafficRank;
    }
}

}  // namespace corvane::engine
