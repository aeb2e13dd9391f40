// Helpers of the page fetch: name resolution bounded by a deadline, and
// redirect targets resolved against the address that named them.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace corvane::net {

class FetchCancel;

// The dotted IPv4 address of `host` by the system's resolver;
// ENetNameNotResolved when there is none.
std::string SystemResolveIPv4(const std::string& host);

// The dotted IPv4 address of `host`, looked up with `resolver` (none: the
// system's) on a helper thread. The wait ends at `deadline`
// (ENetDeadlineExceeded) or when `cancel` is cancelled (ENetException);
// the helper then finishes on its own. "localhost" and dotted addresses are
// answered at once. A failed lookup raises ENetNameNotResolved.
std::string ResolveWithin(const std::string& host,
                          const std::function<std::string(const std::string&)>& resolver,
                          std::chrono::steady_clock::time_point deadline, FetchCancel* cancel);

// The absolute address a reference (a Location value) names when it was
// found at `base`: scheme-relative, absolute-path, query-only and relative
// references are resolved, dot segments removed; the fragment is dropped.
std::string ResolveReference(const std::string& base, const std::string& reference);

}  // namespace corvane::net
