#include "net/uri.h"

#include "net/text_tokens.h"

namespace corvane::net {

void UnifySlashes(std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte(text[i])) {
            ++i;  // the trail byte may be a "\" that is not one
        } else if (text[i] == '\\') {
            text[i] = '/';
        }
    }
}

UriParts SplitUri(std::string_view uri) {
    UriParts parts;
    std::string u(uri);
    UnifySlashes(u);

    const std::size_t scheme = u.find("://");
    if (scheme != std::string::npos) {
        parts.Protocol = u.substr(0, scheme);
        u.erase(0, scheme + 3);
        std::string hostAndPort = TakeToken(u, "/");
        parts.Host = TakeToken(hostAndPort, ":");
        parts.Port = std::move(hostAndPort);
    }

    const auto lastSlash = static_cast<std::size_t>(LastPos("/", u));
    parts.Path = u.substr(0, lastSlash);
    parts.Document = u.substr(lastSlash);
    if (parts.Path.empty() || parts.Path.front() != '/') {
        // An empty path becomes "/", and a path after a host gets back the
        // slash that ended the host.
        parts.Path.insert(0, 1, '/');
    }

    const std::size_t hash = parts.Document.find('#');
    if (hash != std::string::npos) {
        parts.Fragment = parts.Document.substr(hash + 1);
        parts.Document.resize(hash);
    }
    return parts;
}

TNetURI::TNetURI(std::string_view uri) {
    if (!uri.empty()) {
        SetURI(uri);
    }
}

void TNetURI::SetURI(std::string_view uri) {
    uri_ = uri;
    UnifySlashes(uri_);
    parts_ = SplitUri(uri_);
}

}  // namespace corvane::net
