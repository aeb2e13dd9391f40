#include "net/fetch_resolve.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "base/ascii.h"
#include "net/fetch_cancel.h"
#include "net/net_exceptions.h"
#include "net/socket_stack.h"

namespace corvane::net {

std::string SystemResolveIPv4(const std::string& host) {
    if (host.empty() || host.find('\0') != std::string::npos)
        throw ENetNameNotResolved("Could not resolve host: " + host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (r != 0 || found == nullptr) {
        if (found)
            ::freeaddrinfo(found);
        throw ENetNameNotResolved("Could not resolve host: " + host);
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    ::freeaddrinfo(found);
    return text;
}

namespace {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ok = false;
    std::string answer;  // the address, or the failure's words
};

}  // namespace

std::string ResolveWithin(const std::string& host,
                          const std::function<std::string(const std::string&)>& resolver,
                          std::chrono::steady_clock::time_point deadline, FetchCancel* cancel) {
    if (base::EqualsIgnoringCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (TNetStack::IsIPv4Text(host))
        return host;

    auto lookup = std::make_shared<Lookup>();
    std::function<std::string(const std::string&)> resolve =
        resolver ? resolver : std::function<std::string(const std::string&)>(SystemResolveIPv4);
    // The helper owns what it uses: the fetch may stop waiting for it.
    std::thread([lookup, resolve, host] {
        bool ok = false;
        std::string answer;
        try {
            answer = resolve(host);
            ok = TNetStack::IsIPv4Text(answer);
            if (!ok)
                answer = "Could not resolve host: " + host;
        } catch (const std::exception& error) {
            answer = error.what();
        }
        const std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->finished = true;
        lookup->ok = ok;
        lookup->answer = std::move(answer);
        lookup->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(lookup->mutex);
    for (;;) {
        const auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        const auto until = std::min(slice, deadline);
        if (lookup->done.wait_until(lock, until, [&] { return lookup->finished; }))
            break;
        if (cancel && cancel->Cancelled())
            throw ENetException("The fetch was cancelled.");
        if (std::chrono::steady_clock::now() >= deadline)
            throw ENetDeadlineExceeded("Resolving " + host + " timed out.");
    }
    if (!lookup->ok) {
        const std::string prefix = "Could not resolve host";
        throw ENetNameNotResolved(lookup->answer.compare(0, prefix.size(), prefix) == 0
                                      ? lookup->answer
                                      : "Could not resolve host: " + host);
    }
    return lookup->answer;
}

namespace {

struct Reference {
    std::string scheme, authority, path, query;
    bool hasScheme = false, hasAuthority = false, hasQuery = false;
};

Reference Split(const std::string& text) {
    Reference r;
    std::string rest = text;
    const std::size_t hash = rest.find('#');
    if (hash != std::string::npos)
        rest.erase(hash);
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos && colon > 0 && rest.find_first_of("/?") > colon &&
        base::IsLetter(rest[0])) {
        r.scheme = rest.substr(0, colon);
        r.hasScheme = true;
        rest.erase(0, colon + 1);
    }
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t end = rest.find_first_of("/?", 2);
        r.authority = rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        r.hasAuthority = true;
        rest = end == std::string::npos ? std::string() : rest.substr(end);
    }
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        r.query = rest.substr(question + 1);
        r.hasQuery = true;
        rest.erase(question);
    }
    r.path = rest;
    return r;
}

std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> out;
    std::size_t i = 0;
    const bool absolute = !path.empty() && path[0] == '/';
    std::string segment;
    bool trailingSlash = false;
    while (i <= path.size()) {
        const std::size_t slash = path.find('/', i);
        segment = path.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
        const bool last = slash == std::string::npos;
        if (segment == "..") {
            if (!out.empty())
                out.pop_back();
            trailingSlash = true;
        } else if (segment == ".") {
            trailingSlash = true;
        } else if (!(segment.empty() && i == 0 && absolute)) {
            out.push_back(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        i = slash + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k > 0)
            result += '/';
        result += out[k];
    }
    if (trailingSlash && (result.empty() || result.back() != '/'))
        result += '/';
    return result;
}

}  // namespace

std::string ResolveReference(const std::string& baseText, const std::string& referenceText) {
    const Reference base = Split(baseText);
    const Reference ref = Split(std::string(base::TrimBlanks(referenceText)));
    Reference target;
    if (ref.hasScheme) {
        target = ref;
        target.path = RemoveDotSegments(ref.path);
    } else {
        target.scheme = base.scheme;
        if (ref.hasAuthority) {
            target.authority = ref.authority;
            target.path = RemoveDotSegments(ref.path);
            target.query = ref.query;
            target.hasQuery = ref.hasQuery;
        } else {
            target.authority = base.authority;
            if (ref.path.empty()) {
                target.path = base.path;
                target.query = ref.hasQuery ? ref.query : base.query;
                target.hasQuery = ref.hasQuery || base.hasQuery;
            } else {
                if (ref.path[0] == '/') {
                    target.path = RemoveDotSegments(ref.path);
                } else {
                    const std::size_t slash = base.path.rfind('/');
                    const std::string dir =
                        slash == std::string::npos ? "/" : base.path.substr(0, slash + 1);
                    target.path = RemoveDotSegments(dir + ref.path);
                }
                target.query = ref.query;
                target.hasQuery = ref.hasQuery;
            }
        }
    }
    if (target.path.empty())
        target.path = "/";
    std::string text = target.scheme + "://" + target.authority + target.path;
    if (target.hasQuery)
        text += "?" + target.query;
    return text;
}

}  // namespace corvane::net
