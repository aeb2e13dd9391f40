// Splits arbitrary bytes as a URI and checks the shape of the parts.
// fuzz-libs: corvane_net
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/text_tokens.h"
#include "net/uri.h"

using namespace corvane::net;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Has(const std::string& text, std::string_view bytes) {
    return text.find_first_of(bytes) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view uri(reinterpret_cast<const char*>(data), size);
    const UriParts p = SplitUri(uri);

    Check(!p.Path.empty() && p.Path.front() == '/' && (p.Path.size() == 1 || p.Path.back() == '/'));
    Check(!Has(p.Host, ":/") && !Has(p.Port, "/") && !Has(p.Document, "/#") &&
          !Has(p.Fragment, "/"));
    for (const std::string* part :
         {&p.Protocol, &p.Host, &p.Port, &p.Path, &p.Document, &p.Fragment}) {
        Check(!Has(*part, "\\"));
    }
    // Every part is a stretch of the input; only the leading "/" of the path
    // may be added.
    const std::size_t total = p.Protocol.size() + p.Host.size() + p.Port.size() + p.Path.size() +
                              p.Document.size() + p.Fragment.size();
    Check(total <= size + 1);
    if (!p.Fragment.empty()) {
        std::string u(uri);
        UnifySlashes(u);
        Check(u.size() > p.Fragment.size() &&
              u.compare(u.size() - p.Fragment.size(), std::string::npos, p.Fragment) == 0 &&
              u[u.size() - p.Fragment.size() - 1] == '#');
    }

    const TNetURI holder(uri);
    Check(size == 0 || holder.Parts().Path == p.Path);

    // The shared searches on the same bytes.
    std::string input(uri);
    const std::string token = TakeToken(input, "/");
    Check(token.size() + input.size() + (token.size() < size ? 1 : 0) == size);
    const std::int64_t last = LastPos("/", uri);
    Check(last == 0 || uri[static_cast<std::size_t>(last - 1)] == '/');
    return 0;
}
