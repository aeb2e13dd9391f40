#include "demo/request_target.h"

#include "base/ascii.h"
#include "base/integer_text.h"
#include "base/percent_text.h"

namespace corvane::demo {

namespace {

// Length of the double quote a raw value opens with: 3 escaped, 1 plain.
std::size_t QuoteOpener(std::string_view raw) {
    if (raw.substr(0, 3) == "%22")
        return 3;
    if (raw.substr(0, 1) == "\"")
        return 1;
    return 0;
}

bool ClosesQuote(std::string_view raw) {
    return raw.ends_with("%22") || raw.ends_with("\"");
}

void SplitPathQuery(std::string_view rest, RequestTarget& out) {
    const auto hash = rest.find('#');
    if (hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    const auto q = rest.find('?');
    out.Path = std::string(rest.substr(0, q));
    if (q != std::string_view::npos)
        out.Query = std::string(rest.substr(q + 1));
    if (out.Path.empty() || out.Path[0] != '/')
        out.Path.insert(out.Path.begin(), '/');
}

}  // namespace

std::string HostOfHeader(std::string_view value) {
    std::string host = base::LowerAscii(value);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t'))
        host.pop_back();
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t'))
        host.erase(0, 1);
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    if (const auto colon = host.find(':'); colon != std::string::npos)
        host.resize(colon);
    return host;
}

std::optional<RequestTarget> SplitTarget(std::string_view target, std::string_view hostHeader) {
    RequestTarget out;
    if (!target.empty() && target[0] == '/') {
        out.Host = HostOfHeader(hostHeader);
        SplitPathQuery(target, out);
        return out;
    }
    if (base::LowerAscii(target.substr(0, 7)) != "http://")
        return std::nullopt;
    std::string_view rest = target.substr(7);
    const auto end = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, end);
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    out.Absolute = true;
    out.Host = HostOfHeader(authority);
    if (out.Host.empty())
        return std::nullopt;
    SplitPathQuery(end == std::string_view::npos ? std::string_view() : rest.substr(end), out);
    return out;
}

QueryParams ParseQuery(std::string_view query) {
    std::vector<std::string_view> pieces;
    for (std::size_t from = 0; from <= query.size();) {
        const auto amp = query.find('&', from);
        const auto to = amp == std::string_view::npos ? query.size() : amp;
        pieces.push_back(query.substr(from, to - from));
        from = to + 1;
    }
    QueryParams params;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string_view piece = pieces[i];
        if (piece.empty())
            continue;
        const auto eq = piece.find('=');
        const std::string_view key = piece.substr(0, eq);
        std::string raw(eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1));
        // A quoted value cut short by a bare "&": find the piece that closes
        // the quote and take everything up to it back into the value.
        const std::size_t opener = QuoteOpener(raw);
        if (opener > 0 && !ClosesQuote(std::string_view(raw).substr(opener))) {
            for (std::size_t j = i + 1; j < pieces.size(); ++j) {
                if (ClosesQuote(pieces[j])) {
                    for (std::size_t k = i + 1; k <= j; ++k) {
                        raw += '&';
                        raw += pieces[k];
                    }
                    i = j;
                    break;
                }
            }
        }
        params.emplace_back(base::PercentDecode(key, true), base::PercentDecode(raw, true));
    }
    return params;
}

QueryParams ParseForm(std::string_view form) {
    QueryParams params;
    for (std::size_t from = 0; from <= form.size();) {
        const auto amp = form.find('&', from);
        const auto to = amp == std::string_view::npos ? form.size() : amp;
        const std::string_view piece = form.substr(from, to - from);
        from = to + 1;
        if (piece.empty())
            continue;
        const auto eq = piece.find('=');
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
        params.emplace_back(base::PercentDecode(piece.substr(0, eq), true),
                            base::PercentDecode(value, true));
    }
    return params;
}

std::optional<std::string> ParamValue(const QueryParams& params, std::string_view key) {
    for (const auto& [k, v] : params) {
        if (k == key)
            return v;
    }
    return std::nullopt;
}

}  // namespace corvane::demo
