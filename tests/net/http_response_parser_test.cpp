#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/integer_text.h"
#include "net/http_client.h"
#include "net/http_response_parser.h"
#include "net/page_fetch.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_peer.h"

using namespace corvane::net;
using namespace corvane::testing;

namespace {

using Status = TNetHTTPParseStatus;
using Error = TNetHTTPParseError;

// Everything a reading of one response gives.
struct Outcome {
    std::string body;
    Status status = Status::NeedMore;
    Error error = Error::None;
    std::int32_t code = 0;
    std::vector<std::string> headers;
    std::vector<std::string> trailers;
    std::int32_t interim = 0;
    std::size_t consumed = 0;  // compared only for a complete message

    bool operator==(const Outcome& o) const {
        return body == o.body && status == o.status && error == o.error && code == o.code &&
               headers == o.headers && trailers == o.trailers && interim == o.interim &&
               (status != Status::MessageDone || consumed == o.consumed);
    }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "body=\"" << o.body << "\" status=" << static_cast<int>(o.status)
              << " error=" << static_cast<int>(o.error) << " code=" << o.code
              << " consumed=" << o.consumed;
}

struct Limits {
    std::int32_t line = TNetHTTPResponseParser::DefaultMaxLineLength;
    std::int32_t block = TNetHTTPResponseParser::DefaultMaxHeaderBlockSize;
    std::int64_t body = TNetHTTPResponseParser::DefaultMaxBodySize;
};

// Reads `bytes` cut at `cuts`, then ends the stream. With `direct`, plain
// body bytes are taken through BodyRoom and AdvanceBody, as a caller that
// receives them into its own storage does.
Outcome Read(TNetHTTPReadPolicy policy, const std::string& bytes,
             const std::vector<std::size_t>& cuts, bool direct = false, Limits limits = {},
             bool head = false) {
    TNetHTTPResponseParser p(policy);
    p.MaxLineLength = limits.line;
    p.MaxHeaderBlockSize = limits.block;
    p.MaxBodySize = limits.body;
    p.NoBodyExpected = head;
    Outcome o;
    p.OnBody = [&o](const char* data, std::size_t size) { o.body.append(data, size); };
    std::size_t from = 0;
    for (std::size_t i = 0;
         i <= cuts.size() && o.status != Status::MessageDone && o.status != Status::Error; ++i) {
        const std::size_t to = i < cuts.size() ? cuts[i] : bytes.size();
        while (from < to) {
            if (direct && p.BodyRoom() > 0) {
                const auto n =
                    std::min<std::size_t>(to - from, static_cast<std::size_t>(p.BodyRoom()));
                o.body.append(bytes, from, n);
                p.AdvanceBody(static_cast<std::int64_t>(n));
                from += n;
                o.consumed += n;
                continue;
            }
            const TNetHTTPParseResult r = p.Put(bytes.data() + from, to - from);
            from += r.Consumed;
            o.consumed += r.Consumed;
            o.status = r.Status;
            if (r.Status == Status::MessageDone || r.Status == Status::Error)
                break;
        }
        from = std::max(from, to);
    }
    if (p.State() != TNetHTTPParseState::Done && p.State() != TNetHTTPParseState::Failed) {
        do {
            o.status = p.Finish().Status;
        } while (o.status == Status::HeadersDone);
    } else {
        o.status = p.State() == TNetHTTPParseState::Done ? Status::MessageDone : Status::Error;
    }
    o.error = p.Error();
    o.code = p.StatusCode();
    o.headers = p.Headers().Lines();
    o.trailers = p.Trailers().Lines();
    o.interim = p.InterimResponses();
    EXPECT_LE(static_cast<std::int64_t>(o.body.size()), std::max<std::int64_t>(limits.body, 0));
    EXPECT_EQ(p.BodyBytes(), static_cast<std::int64_t>(o.body.size()));
    return o;
}

// Whole, one byte at a time, and cut in two at every offset, each also with
// the body taken directly: every reading must give the same outcome.
Outcome ReadAtEverySplit(TNetHTTPReadPolicy policy, const std::string& bytes, Limits limits = {}) {
    const Outcome whole = Read(policy, bytes, {}, false, limits);
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < bytes.size(); ++i)
        everyByte.push_back(i);
    for (bool direct : {false, true}) {
        EXPECT_EQ(Read(policy, bytes, everyByte, direct, limits), whole)
            << "one byte at a time, direct=" << direct;
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            const Outcome split = Read(policy, bytes, {cut}, direct, limits);
            EXPECT_EQ(split, whole) << "cut at " << cut << ", direct=" << direct;
            if (!(split == whole))
                break;
        }
    }
    return whole;
}

const std::string k200 = "HTTP/1.1 200 OK\r\n";
const std::string kChunked = "Transfer-Encoding: chunked\r\n";

struct Case {
    const char* what;
    std::string bytes;
    // Per policy: the body, and the error (None: the message is complete).
    std::string classicBody;
    Error classicError;
    std::string modernBody;
    Error modernError;
};

TEST(HttpResponseParser, EveryResponseReadsTheSameAtEverySplit) {
    const std::vector<Case> cases = {
        {"counted, bytes after it not taken", k200 + "Content-Length: 5\r\n\r\nhelloNEXT", "hello",
         Error::None, "hello", Error::None},
        {"chunked with trailers",
         k200 + kChunked + "\r\n5\r\nhello\r\n3\r\nabc\r\n0\r\nX-T: 1\r\nX-U: 2\r\n\r\n",
         "helloabc", Error::None, "helloabc", Error::None},
        {"until the close, LF line ends", "HTTP/1.0 200 OK\nServer: x\n\nall\r\nof it",
         "all\r\nof it", Error::None, "all\r\nof it", Error::None},
        {"interim answers skipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: x\r\n\r\n\r\n" + k200 +
             "Content-Length: 2\r\n\r\nok",
         "ok", Error::None, "ok", Error::None},
        {"1xx that announces a body", "HTTP/1.1 100 Continue\r\nContent-Length: 4\r\n\r\nwait",
         "wait", Error::None, "", Error::ClosedEarly},
        {"chunk extension",
         k200 + kChunked + "\r\n5;name=\"a;b\"\r\nhello\r\n6 ; x\r\n world\r\n0\r\n\r\n", "",
         Error::None, "hello world", Error::None},
        {"chunked not the final coding",
         k200 + "Transfer-Encoding: chunked, gzip\r\n\r\n2\r\nok\r\n0\r\n\r\n", "ok", Error::None,
         "2\r\nok\r\n0\r\n\r\n", Error::None},
        {"chunked in a second line",
         k200 + "Transfer-Encoding: gzip\r\n" + kChunked + "\r\n2\r\nok\r\n0\r\n\r\n",
         "2\r\nok\r\n0\r\n\r\n", Error::None, "ok", Error::None},
        {"chunkedchunked", k200 + "Transfer-Encoding: chunkedchunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         "ok", Error::None, "2\r\nok\r\n0\r\n\r\n", Error::None},
        {"capital CHUNKED", k200 + "Transfer-Encoding: CHUNKED\r\n\r\n2\r\nok\r\n0\r\n\r\n",
         "2\r\nok\r\n0\r\n\r\n", Error::None, "ok", Error::None},
        {"length and chunks",
         k200 + "Content-Length: 3\r\n" + kChunked + "\r\n2\r\nok\r\n0\r\n\r\n", "2\r\n",
         Error::None, "ok", Error::None},
        {"length with a blank after it", k200 + "Content-Length: 2 \r\n\r\nokay", "okay",
         Error::None, "ok", Error::None},
        {"repeated equal lengths", k200 + "Content-Length: 2, 2\r\n\r\nokay", "okay", Error::None,
         "ok", Error::None},
        {"differing lengths", k200 + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nokay", "ok",
         Error::None, "", Error::BadContentLength},
        {"chunk line that is no count", k200 + kChunked + "\r\nzz\r\nrest\r\n", "", Error::None, "",
         Error::BadChunk},
        {"chunk sizes with leading zeros", k200 + kChunked + "\r\n00000002\r\nok\r\n0\r\n\r\n",
         "ok", Error::None, "ok", Error::None},
        {"chunk size of 63 bits", k200 + kChunked + "\r\n7fffffffffffffff\r\nok", "", Error::None,
         "ok", Error::ClosedEarly},
        {"chunk size past 63 bits", k200 + kChunked + "\r\n8000000000000000\r\nok\r\n", "",
         Error::None, "", Error::BadChunk},
        {"chunk size of 32 bits", k200 + kChunked + "\r\nFFFFFFFF\r\nok\r\n", "", Error::None,
         "ok\r\n", Error::ClosedEarly},
        {"length of 18 digits", k200 + "Content-Length: 000000000000000002\r\n\r\nok", "ok",
         Error::None, "ok", Error::None},
        {"length of 19 digits", k200 + "Content-Length: 0000000000000000002\r\n\r\nok", "ok",
         Error::None, "", Error::BadContentLength},
        {"chunk data without its line end", k200 + kChunked + "\r\n2\r\nokX\r\n0\r\n\r\n", "ok",
         Error::None, "ok", Error::BadChunk},
        {"status code not a number", "HTTP/1.1 2OO OK\r\nContent-Length: 2\r\n\r\nno", "",
         Error::BadStatusCode, "", Error::BadStatusLine},
        {"empty line before the status line", "\r\n" + k200 + "Content-Length: 2\r\n\r\nok", "",
         Error::BadStatusCode, "ok", Error::None},
        {"204 and its stray bytes", "HTTP/1.1 204 No Content\r\n\r\nstray", "stray", Error::None,
         "", Error::None},
        {"304 with a length", "HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\nHTTP/1.1",
         "HTTP/", Error::None, "", Error::None},
        {"101 unasked for", "HTTP/1.1 101 Switching\r\nUpgrade: x\r\n\r\nproto", "proto",
         Error::None, "", Error::UnexpectedUpgrade},
        {"closed in a counted body", k200 + "Content-Length: 9\r\n\r\nhalf", "half",
         Error::ClosedEarly, "half", Error::ClosedEarly},
        {"closed in a header line", k200 + "Content-Length: 3\r\nX-Cut: abcdef", "X-C", Error::None,
         "", Error::ClosedEarly},
        {"closed in a header line, shorter than the length",
         k200 + "Content-Length: 20\r\nX-Cut: abc", "X-Cut: abc", Error::None, "",
         Error::ClosedEarly},
        {"closed right after a header line", k200 + "Content-Length: 3\r\n", "", Error::ClosedEarly,
         "", Error::ClosedEarly},
        {"closed in the trailer block", k200 + kChunked + "\r\n2\r\nok\r\n0\r\nX-T: 1", "ok",
         Error::None, "ok", Error::None},
        {"closed before the trailer block", k200 + kChunked + "\r\n2\r\nok\r\n0\r\n", "ok",
         Error::ClosedEarly, "ok", Error::None},
        {"closed in a chunk", k200 + kChunked + "\r\n5\r\nhel", "hel", Error::ClosedEarly, "hel",
         Error::ClosedEarly},
    };
    for (const Case& k : cases) {
        for (TNetHTTPReadPolicy policy : {rpClassic, rpModern}) {
            SCOPED_TRACE(std::string(k.what) + (policy == rpClassic ? " (classic)" : " (modern)"));
            const Outcome o = ReadAtEverySplit(policy, k.bytes);
            const Error error = policy == rpClassic ? k.classicError : k.modernError;
            EXPECT_EQ(o.body, policy == rpClassic ? k.classicBody : k.modernBody);
            EXPECT_EQ(o.error, error);
            EXPECT_EQ(o.status, error == Error::None ? Status::MessageDone : Status::Error);
        }
    }
}

TEST(HttpResponseParser, HeaderBlockEndsAPutAndTheMessageEndKeepsTheRest) {
    const std::string head = k200 + "Server: t\r\n Folded\r\nContent-Length: 3\r\n\r\n";
    const std::string bytes = head + "abcHTTP/1.1 200 OK\r\n";
    TNetHTTPResponseParser p;
    std::string body;
    p.OnBody = [&body](const char* d, std::size_t n) { body.append(d, n); };
    TNetHTTPParseResult r = p.Put(bytes);
    EXPECT_EQ(r.Status, Status::HeadersDone);
    EXPECT_EQ(r.Consumed, head.size());
    EXPECT_TRUE(p.HeadersComplete());
    EXPECT_EQ(p.StatusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(p.Headers().ValueOf("Server"), "t Folded");
    EXPECT_EQ(p.BodyKind(), TNetHTTPBodyKind::Counted);
    EXPECT_EQ(p.BodyRoom(), 3);
    r = p.Put(bytes.substr(head.size()));
    EXPECT_EQ(r.Status, Status::MessageDone);
    EXPECT_EQ(r.Consumed, 3u);
    EXPECT_EQ(body, "abc");
    // Reset starts the next response.
    p.Reset();
    EXPECT_EQ(p.Put(bytes.substr(head.size() + 3)).Status, Status::NeedMore);
    EXPECT_EQ(p.StatusCode(), 200);
}

TEST(HttpResponseParser, LineAndHeaderBlockLimits) {
    Limits small;
    small.line = 30;
    small.block = 100;
    const std::string full = "X: " + std::string(27, 'v');  // exactly the line limit
    for (TNetHTTPReadPolicy policy : {rpClassic, rpModern}) {
        EXPECT_EQ(
            ReadAtEverySplit(policy, k200 + full + "\r\nContent-Length: 1\r\n\r\nx", small).body,
            "x");
        EXPECT_EQ(ReadAtEverySplit(policy, k200 + full + "w\r\n\r\n", small).error,
                  Error::LineTooLong);
        // A line that has run past the limit fails before its end comes.
        EXPECT_EQ(Read(policy, k200 + full + "ww", {}, false, small).error, Error::LineTooLong);
        // 17 + 32 + 32 + 2 = 83 bytes fit; a third header line does not.
        const std::string block = k200 + full + "\r\n" + full + "\r\n";
        EXPECT_EQ(ReadAtEverySplit(policy, block + "\r\nok", small).body, "ok");
        EXPECT_EQ(ReadAtEverySplit(policy, block + full + "\r\n\r\nok", small).error,
                  Error::HeaderTooLarge);
        // Interim answers count against the same block.
        EXPECT_EQ(
            ReadAtEverySplit(
                policy, "HTTP/1.1 100 Continue\r\n" + full + "\r\n\r\n" + block + "\r\n", small)
                .error,
            Error::HeaderTooLarge);
        // The trailer block has a budget of its own: three lines fit, four do not.
        std::string trailers = full + "\r\n" + full + "\r\n" + full + "\r\n";
        const std::string chunks = k200 + kChunked + "\r\n1\r\nx\r\n0\r\n";
        EXPECT_EQ(ReadAtEverySplit(policy, chunks + trailers + "\r\n", small).trailers.size(), 3u);
        EXPECT_EQ(ReadAtEverySplit(policy, chunks + trailers + full + "\r\n\r\n", small).error,
                  Error::HeaderTooLarge);
    }
}

TEST(HttpResponseParser, BodyLimitCutsAtExactlyTheLimit) {
    Limits limit;
    limit.body = 10;
    const std::string ten = "0123456789";
    const std::vector<std::pair<std::string, std::string>> framings = {
        {"Content-Length: 10\r\n\r\n", ten},
        {"Content-Length: 11\r\n\r\n", ten + "a"},
        {kChunked + "\r\n", "4\r\n0123\r\n6\r\n456789\r\n0\r\n\r\n"},
        {kChunked + "\r\n", "4\r\n0123\r\n7\r\n456789a\r\n0\r\n\r\n"},
        {"\r\n", ten},
        {"\r\n", ten + "a"},
    };
    for (TNetHTTPReadPolicy policy : {rpClassic, rpModern}) {
        for (std::size_t i = 0; i < framings.size(); ++i) {
            const Outcome o =
                ReadAtEverySplit(policy, k200 + framings[i].first + framings[i].second, limit);
            EXPECT_EQ(o.body, ten) << i;
            EXPECT_EQ(o.error, i % 2 == 0 ? Error::None : Error::BodyTooLarge) << i;
        }
        // A limit of 0 fails at the first body byte that is due, even before it comes.
        limit.body = 0;
        EXPECT_EQ(ReadAtEverySplit(policy, k200 + "Content-Length: 1\r\n\r\n", limit).error,
                  Error::BodyTooLarge);
        limit.body = 10;
    }
}

TEST(HttpResponseParser, AnswerToHeadHasNoBodyUnderModernRules) {
    const std::string bytes = k200 + "Content-Length: 5\r\n\r\n";
    EXPECT_EQ(Read(rpModern, bytes, {}, false, {}, true).status, Status::MessageDone);
    // The classic rules read a body whatever the request was.
    EXPECT_EQ(Read(rpClassic, bytes + "hello", {}, false, {}, true).body, "hello");
}

// ---- llhttp's response cases ----

// The folder of llhttp's response test files (with their reader), beside the
// project; CORVANE_LLHTTP_CASES in the environment names another one.
std::string LlhttpCasesDir() {
    if (const char* env = std::getenv("CORVANE_LLHTTP_CASES"))
        return env;
#ifdef CORVANE_LLHTTP_CASES
    return CORVANE_LLHTTP_CASES;
#else
    return std::string();
#endif
}

struct LlhttpCase {
    std::string name;
    std::string raw;
    std::optional<std::string> body;  // none: llhttp refuses the response
    int messages = 0;
};

std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(corvane::base::HexDigitValue(hex[i]) * 16 +
                                 corvane::base::HexDigitValue(hex[i + 1]));
    }
    return out;
}

// The strict response cases as the folder's own reader lists them, or the
// reason they cannot be had.
std::vector<LlhttpCase> LoadLlhttpCases(std::string& why) {
    const std::string dir = LlhttpCasesDir();
    if (dir.empty() || !std::filesystem::exists(dir + "/read_cases.py")) {
        why = "llhttp's cases are not at '" + dir + "'";
        return {};
    }
    // One correction of the reader: Python's "$" also matches before a final
    // newline, so a block that ends in an empty line would lose the line end
    // that llhttp's log was made with.
    const std::string script =
        "import sys; sys.path.insert(0, sys.argv[1]); import read_cases\n"
        "convert = read_cases.convert\n"
        "read_cases.convert = lambda t: convert(t) + (b'\\r\\n' if t.endswith('\\n\\n') else b'')\n"
        "for n, raw, body, msgs, done in read_cases.cases(sys.argv[1]):\n"
        "    print(n.encode().hex(), raw.hex(), '-' if body is None else 'b' + body.hex(), msgs)\n";
    // -B: nothing is written into the shared folder.
    const ProgramResult run = RunProgram("/usr/bin/env", {"python3", "-B", "-c", script, dir});
    std::vector<LlhttpCase> cases;
    std::istringstream lines(run.exitCode == 0 ? run.out : std::string());
    for (std::string name, raw, body, messages; lines >> name >> raw >> body >> messages;) {
        LlhttpCase c{FromHex(name), FromHex(raw), std::nullopt, std::stoi(messages)};
        if (body != "-")
            c.body = FromHex(body.substr(1));
        cases.push_back(std::move(c));
    }
    if (cases.empty())
        why = "python3 could not read llhttp's cases in '" + dir + "': " + run.err;
    return cases;
}

class LlhttpResponseCases : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::string why;
        static const std::vector<LlhttpCase> all = LoadLlhttpCases(why);
        if (all.empty())
            GTEST_SKIP() << why;
        cases_ = &all;
    }
    // The strict single-response cases llhttp accepts.
    std::vector<const LlhttpCase*> Accepted() const {
        std::vector<const LlhttpCase*> out;
        for (const LlhttpCase& c : *cases_) {
            if (c.body && c.messages == 1)
                out.push_back(&c);
        }
        return out;
    }
    // The stream ends with the case's bytes.
    static std::string BodyOf(TNetHTTPReadPolicy policy, const LlhttpCase& c) {
        return Read(policy, c.raw, {}).body;
    }

    const std::vector<LlhttpCase>* cases_ = nullptr;
};

TEST_F(LlhttpResponseCases, ModernGivesLlhttpsBodyForEveryAcceptedCase) {
    const auto accepted = Accepted();
    EXPECT_GE(accepted.size(), 29u);
    for (const LlhttpCase* c : accepted)
        EXPECT_EQ(BodyOf(rpModern, *c), *c->body) << c->name;
}

TEST_F(LlhttpResponseCases, ClassicGivesLlhttpsBodyWhereItsRulesAgree) {
    // Where the classic rules decide otherwise, and what they give instead.
    const std::map<std::string, std::string> classic = {
        // "chunked, deflate" contains "chunked": chunks are read, and
        // "World" is no chunk count, so the body ends at once.
        {"transfer-encoding: `chunked` before other transfer-encoding", ""},
        // Only the first Transfer-Encoding line counts, and it says chunked.
        {"transfer-encoding: multiple transfer-encoding where chunked is not the last one", ""},
        // "chunkedchunked" contains "chunked": the bytes are read as chunks.
        {"transfer-encoding: `chunkedchunked` transfer-encoding does not enable chunked enconding",
         "OK"},
        // A chunk-size line with an extension is no count: the body ends there.
        {"transfer-encoding: Chunk extensions", ""},
        {"transfer-encoding: Chunk extensions quoting", ""},
    };
    std::size_t agree = 0;
    std::size_t listed = 0;
    const auto accepted = Accepted();
    for (const LlhttpCase* c : accepted) {
        const std::string body = BodyOf(rpClassic, *c);
        const auto exception = classic.find(c->name);
        if (exception == classic.end()) {
            EXPECT_EQ(body, *c->body) << c->name;
            agree += body == *c->body;
        } else {
            EXPECT_EQ(body, exception->second) << c->name;
            EXPECT_NE(body, *c->body) << c->name;
            ++listed;
        }
    }
    EXPECT_EQ(listed, classic.size());  // every exception is still among the cases
    EXPECT_EQ(agree, accepted.size() - classic.size());
}

// Responses led by interim answers: both policies give the final answer's body.
TEST_F(LlhttpResponseCases, InterimAnswersBeforeTheFinalOne) {
    int seen = 0;
    for (const LlhttpCase& c : *cases_) {
        const bool interimFirst =
            c.raw.rfind("HTTP/1.1 1", 0) == 0 && c.raw.rfind("HTTP/1.1 101", 0) != 0;
        if (!c.body || c.messages < 2 || !interimFirst)
            continue;
        ++seen;
        EXPECT_EQ(BodyOf(rpModern, c), *c.body) << c.name;
        EXPECT_EQ(BodyOf(rpClassic, c), *c.body) << c.name;
    }
    EXPECT_GE(seen, 2);
}

TEST_F(LlhttpResponseCases, EveryCaseReadsTheSameAtEverySplit) {
    for (const LlhttpCase& c : *cases_) {
        for (TNetHTTPReadPolicy policy : {rpClassic, rpModern}) {
            SCOPED_TRACE(c.name + (policy == rpClassic ? " (classic)" : " (modern)"));
            ReadAtEverySplit(policy, c.raw);
        }
    }
}

// ---- the client drives the parser ----

const std::string kEnd = "\r\n\r\n";

std::string Url(const ScriptedPeer& peer) {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + "/";
}

TEST(HttpClientReading, InterimAnswerIsNotTheResult) {
    ScriptedPeer peer(
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npage")
            .ReadUntilClosed());
    TNetHTTP c;
    c.ReadTimeout = 3000;
    TextSink sink;
    c.SendGet(Url(peer), &sink);
    EXPECT_EQ(c.StatusCode(), 200);
    EXPECT_EQ(sink.Text(), "page");
    EXPECT_EQ(c.ResponseParser().InterimResponses(), 1);
}

TEST(HttpClientReading, ModernPolicyReadsChunkExtensionsAndFinalCodings) {
    ScriptedPeer peer(std::vector<PeerScript>{
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                  "chunked\r\n\r\n5;ext=1\r\nhello\r\n0\r\nX-Sum: 5\r\n\r\n")
            .ReadUntilClosed(),
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, br\r\n\r\nraw")
            .Close(),
        PeerScript()
            .ReadUntil(kEnd)
            .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
            .Close()});
    for (const char* expected : {"hello", "raw"}) {
        TNetHTTP c;
        c.ReadTimeout = 3000;
        c.ReadPolicy = rpModern;
        TextSink sink;
        c.SendGet(Url(peer), &sink);
        EXPECT_EQ(sink.Text(), expected);
        if (std::string(expected) == "hello") {
            EXPECT_EQ(c.ResponseParser().Trailers().ValueOf("X-Sum"), "5");
            EXPECT_TRUE(c.IsConnected());  // the end came with the chunks
        }
    }
    TNetHTTP c;
    c.ReadTimeout = 3000;
    c.ReadPolicy = rpModern;
    TextSink sink;
    EXPECT_THROW(c.SendGet(Url(peer), &sink), ENetBadResponse);
    EXPECT_FALSE(c.IsConnected());
}

// Room made ahead of a body of unknown length never runs past the body
// limit, also when the body is larger than the limit.
TEST(HttpClientReading, BodyRoomStaysWithinTheLimit) {
    const std::int64_t limit = 1000000;  // not a power of two
    const std::string body(3 * 1000000, 'b');
    for (const std::string& framing : {std::string("\r\n"), kChunked + "\r\n"}) {
        std::string wire = body;
        if (framing != "\r\n") {
            wire.clear();
            for (std::size_t i = 0; i < body.size(); i += 100000)
                wire += "186a0\r\n" + body.substr(i, 100000) + "\r\n";
            wire += "0\r\n\r\n";
        }
        ScriptedPeer peer(PeerScript().ReadUntil(kEnd).Send(k200 + framing + wire).Close());
        TNetHTTP c;
        c.ReadTimeout = 3000;
        c.MaxBodySize = limit;
        TextSink sink;
        EXPECT_THROW(c.SendGet(Url(peer), &sink), ENetResponseTooLarge);
        EXPECT_EQ(sink.Text().size(), static_cast<std::size_t>(limit));
        EXPECT_LE(sink.Text().capacity(), static_cast<std::size_t>(limit));
    }
}

}  // namespace
