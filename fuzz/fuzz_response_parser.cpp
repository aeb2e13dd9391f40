// The response parser on arbitrary bytes cut at arbitrary places: every way
// of feeding the same bytes must give the same outcome as one whole feed.
// Input: one byte of settings (bit 0: modern policy; bit 1: take plain body
// bytes through BodyRoom/AdvanceBody in the cut reading; bit 2: small limits;
// bit 3: the request was a HEAD), one byte with the number of cuts (mod 8),
// two bytes per cut (its offset, mod the length + 1), then the response.
// fuzz-libs: corvane_net
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http_response_parser.h"

using namespace corvane::net;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Settings {
    TNetHTTPReadPolicy policy = rpClassic;
    bool small = false;
    bool head = false;
};

struct Outcome {
    std::string body;
    TNetHTTPParseStatus status = TNetHTTPParseStatus::NeedMore;
    TNetHTTPParseError error = TNetHTTPParseError::None;
    std::int32_t code = 0;
    std::vector<std::string> headers;
    std::vector<std::string> trailers;
    std::int32_t interim = 0;
    std::size_t consumed = 0;

    bool operator==(const Outcome& o) const {
        return body == o.body && status == o.status && error == o.error && code == o.code &&
               headers == o.headers && trailers == o.trailers && interim == o.interim &&
               (status != TNetHTTPParseStatus::MessageDone || consumed == o.consumed);
    }
};

Outcome Read(const Settings& s, const std::string& bytes, const std::vector<std::size_t>& cuts,
             bool direct) {
    TNetHTTPResponseParser p(s.policy);
    if (s.small) {
        p.MaxLineLength = 24;
        p.MaxHeaderBlockSize = 96;
        p.MaxBodySize = 16;
    }
    p.NoBodyExpected = s.head;
    Outcome o;
    p.OnBody = [&o](const char* data, std::size_t size) { o.body.append(data, size); };
    bool ended = false;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size() && !ended; ++i) {
        const std::size_t to = i < cuts.size() ? std::max(cuts[i], from) : bytes.size();
        while (from < to && !ended) {
            const std::int64_t room = p.BodyRoom();
            if (direct && room > 0) {
                const auto n = std::min<std::size_t>(to - from, static_cast<std::size_t>(room));
                o.body.append(bytes, from, n);
                p.AdvanceBody(static_cast<std::int64_t>(n));
                from += n;
                o.consumed += n;
                continue;
            }
            const TNetHTTPParseResult r = p.Put(bytes.data() + from, to - from);
            Check(r.Consumed <= to - from);
            Check(r.Status != TNetHTTPParseStatus::NeedMore || r.Consumed == to - from);
            from += r.Consumed;
            o.consumed += r.Consumed;
            ended = r.Status == TNetHTTPParseStatus::MessageDone ||
                    r.Status == TNetHTTPParseStatus::Error;
        }
    }
    for (int calls = 0;
         p.State() != TNetHTTPParseState::Done && p.State() != TNetHTTPParseState::Failed;
         ++calls) {
        Check(calls < 2);  // at most once HeadersDone, then the end
        const TNetHTTPParseStatus s2 = p.Finish().Status;
        Check(s2 != TNetHTTPParseStatus::NeedMore);
    }
    o.status = p.State() == TNetHTTPParseState::Done ? TNetHTTPParseStatus::MessageDone
                                                     : TNetHTTPParseStatus::Error;
    o.error = p.Error();
    Check((o.status == TNetHTTPParseStatus::Error) == (o.error != TNetHTTPParseError::None));
    Check(p.BodyBytes() == static_cast<std::int64_t>(o.body.size()));
    Check(static_cast<std::int64_t>(o.body.size()) <= p.MaxBodySize);
    o.code = p.StatusCode();
    o.headers = p.Headers().Lines();
    o.trailers = p.Trailers().Lines();
    o.interim = p.InterimResponses();
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    Settings s;
    s.policy = (data[0] & 1) != 0 ? rpModern : rpClassic;
    const bool direct = (data[0] & 2) != 0;
    s.small = (data[0] & 4) != 0;
    s.head = (data[0] & 8) != 0;
    const std::size_t cutCount = data[1] % 8;
    if (size < 2 + 2 * cutCount)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2 + 2 * cutCount,
                            size - 2 - 2 * cutCount);
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < cutCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(data[2 + 2 * i]) << 8 | data[3 + 2 * i];
        cuts.push_back(at % (bytes.size() + 1));
    }
    std::sort(cuts.begin(), cuts.end());

    const Outcome whole = Read(s, bytes, {}, false);
    Check(Read(s, bytes, cuts, direct) == whole);
    if (bytes.size() <= 2048) {
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < bytes.size(); ++i)
            everyByte.push_back(i);
        Check(Read(s, bytes, everyByte, !direct) == whole);
    }
    return 0;
}
