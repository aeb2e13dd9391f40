// An HTTP/1.x response parser fed with buffers. It makes no socket call: a
// caller reads bytes from wherever they come (a TCP connection, a secure
// channel, a test) and hands them over with Put; the end of the stream is
// told with Finish. The status line and the header block are gathered; body
// bytes are handed to OnBody as they arrive, never gathered whole.
//
// Two reading policies decide how the body is delimited:
//  - rpClassic: the client's long-standing rules, byte for byte. The body is
//    counted when "Content-Length" is a plain positive decimal, empty when it
//    is 0, chunked when the first "Transfer-Encoding" value contains
//    "chunked" anywhere (exact case), and runs to the close otherwise. A
//    chunk-size line ends the body when it is not a plain hexadecimal count
//    below 2^31 (a chunk extension after ";" included). A close in the middle
//    of a header line ends the header block; that line's bytes are the start
//    of the body.
//  - rpModern: as RFC 9112 says. A chunk extension is skipped; the body is
//    chunked only when "chunked" is the final transfer coding, and runs to the
//    close when another coding is final; Transfer-Encoding overrides
//    Content-Length; a malformed length or chunk line is an error; 204 and
//    304 answers (and answers to HEAD) have no body.
// Under both, 1xx interim answers are skipped (under rpClassic only those that
// announce no body of their own), and no more than MaxBodySize body bytes are
// ever handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/header_list.h"

namespace corvane::net {

enum TNetHTTPReadPolicy { rpClassic, rpModern };

enum class TNetHTTPParseState {
    StatusLine,      // the status line (and, after an interim answer, empty lines before it)
    HeaderLine,      // header lines up to the empty one
    BodyCounted,     // a body of stated length
    BodyUntilClose,  // a body that ends with the stream
    ChunkSize,       // a chunk-size line
    ChunkData,       // the bytes of one chunk
    ChunkDataEnd,    // the line end after a chunk's bytes
    Trailer,         // trailer lines after the last chunk, up to the empty one
    ChunkTail,  // rpClassic: the one line read after a line that ended the chunks without a count
    Done,
    Failed,
};

enum class TNetHTTPParseStatus {
    NeedMore,     // every byte given was taken; more are needed
    HeadersDone,  // the header block of the final answer is complete; call again for the body
    MessageDone,  // the response is complete; bytes after it were not taken
    Error,        // see Error(); body bytes handed out before it stay valid
};

enum class TNetHTTPParseError {
    None,
    LineTooLong,     // a line longer than MaxLineLength
    HeaderTooLarge,  // status line and header block, or the trailer block, above MaxHeaderBlockSize
    BodyTooLarge,    // more body than MaxBodySize; exactly MaxBodySize bytes were handed out
    BadStatusCode,   // rpClassic: the status code is not a decimal number (StatusCodeText holds it)
    BadStatusLine,   // rpModern: not "HTTP/d.d ddd [reason]"
    BadContentLength,   // rpModern: a Content-Length that is not one decimal count
    BadChunk,           // rpModern: a chunk-size line or chunk end that breaks the chunk syntax
    UnexpectedUpgrade,  // rpModern: a 101 answer, which no request of this client asks for
    ClosedEarly,        // the stream ended before the response did
};

enum class TNetHTTPBodyKind { None, Counted, Chunked, UntilClose };

struct TNetHTTPParseResult {
    std::size_t Consumed = 0;
    TNetHTTPParseStatus Status = TNetHTTPParseStatus::NeedMore;
};

class TNetHTTPResponseParser {
  public:
    using TBodySink = std::function<void(const char* data, std::size_t size)>;

    static constexpr std::int32_t DefaultMaxLineLength = 100 * 1024;
    static constexpr std::int32_t DefaultMaxHeaderBlockSize = 300 * 1024;
    static constexpr std::int64_t DefaultMaxBodySize = 64LL * 1024 * 1024;

    explicit TNetHTTPResponseParser(TNetHTTPReadPolicy policy = rpClassic) : Policy(policy) {}

    // ---- settings (change them only between responses) ----
    TNetHTTPReadPolicy Policy;
    // Longest line, its line end not counted (0: no limit).
    std::int32_t MaxLineLength = DefaultMaxLineLength;
    // Largest status line plus header block, each line counted with two
    // bytes for its end; interim answers count too. The trailer block has a
    // budget of the same size.
    std::int32_t MaxHeaderBlockSize = DefaultMaxHeaderBlockSize;
    // Most body bytes handed out (negative: 0).
    std::int64_t MaxBodySize = DefaultMaxBodySize;
    // rpModern: the request was a HEAD, so the answer has no body.
    bool NoBodyExpected = false;
    // Receives the body bytes in order. None: they are dropped.
    TBodySink OnBody;

    // ---- operations ----
    // Forgets the last response; the next byte starts a status line.
    void Reset();
    // As Reset, but the status line counts as read: the next byte starts a
    // header line.
    void StartAtHeaders();
    // Takes bytes from `data`. All of them unless the header block of the
    // final answer or the response ends inside them, or an error occurs.
    TNetHTTPParseResult Put(const char* data, std::size_t size);
    TNetHTTPParseResult Put(std::string_view bytes) { return Put(bytes.data(), bytes.size()); }
    // The stream has ended. Returns MessageDone or Error, or HeadersDone when
    // the end completes the header block (rpClassic); then call it again.
    TNetHTTPParseResult Finish();

    // Body bytes the parser takes next without looking at them (the rest of
    // a counted body or a chunk, or of the allowance of a body that runs to
    // the close); 0 when framing or nothing comes next. A caller that stores
    // that many bytes or fewer itself reports them with AdvanceBody instead
    // of Put; OnBody is not called for them.
    std::int64_t BodyRoom() const;
    void AdvanceBody(std::int64_t count);

    // ---- state ----
    TNetHTTPParseState State() const { return state_; }
    TNetHTTPParseError Error() const { return error_; }
    // A short English description of Error().
    std::string ErrorText() const;
    bool HeadersComplete() const { return headersComplete_; }
    // The status line of the final answer as read (no line end); empty until
    // one was read.
    const std::string& StatusLine() const { return statusLine_; }
    bool HasStatus() const { return hasStatus_; }
    std::int32_t StatusCode() const { return statusCode_; }
    // The text that was taken for the status code.
    const std::string& StatusCodeText() const { return statusCodeText_; }
    // The header lines as read, continuation lines included.
    const TNetHeaderList& Headers() const { return headers_; }
    const TNetHeaderList& Trailers() const { return trailers_; }
    TNetHTTPBodyKind BodyKind() const { return bodyKind_; }
    // The stated length of a counted body.
    std::int64_t ContentLength() const { return contentLength_; }
    // Body bytes handed out (or reported with AdvanceBody).
    std::int64_t BodyBytes() const { return bodyBytes_; }
    // Interim (1xx) answers skipped before the final one.
    std::int32_t InterimResponses() const { return interim_; }

    // The count a chunk-size line gives under rpClassic: the text before the
    // first space as a hexadecimal number of at most 8 digits below 2^31; 0
    // for anything else. `zero` tells a plain count of 0 (the last chunk)
    // from a line that only reads as 0.
    static std::int32_t ClassicChunkLength(std::string_view line, bool& zero);

  private:
    enum class LineResult { Partial, Complete, Failed };

    TNetHTTPParseResult Feed(const char* data, std::size_t size);
    TNetHTTPParseResult Result(const char* start, const char* p, TNetHTTPParseStatus status) const;
    TNetHTTPParseStatus Fail(TNetHTTPParseError error);
    LineResult GatherLine(const char*& p, const char* end);
    // Acts on the complete line in line_; the status to return at once, or
    // NeedMore to go on.
    TNetHTTPParseStatus OnLine();
    TNetHTTPParseStatus OnStatusLine();
    TNetHTTPParseStatus OnChunkSizeLine();
    TNetHTTPParseStatus OnTrailerLine();
    bool CountHeaderBytes(std::int64_t& counter, std::size_t lineSize);
    // The header block is complete: skip an interim answer or choose the body.
    TNetHTTPParseStatus EndOfHeaders(bool byClose);
    TNetHTTPParseStatus ChooseClassicBody();
    TNetHTTPParseStatus ChooseModernBody();
    void Deliver(const char* data, std::size_t size);
    // Counts `count` raw body bytes as taken and moves on when the counted
    // body or the chunk is complete.
    void TakeBody(std::int64_t count);
    std::int64_t Limit() const { return MaxBodySize < 0 ? 0 : MaxBodySize; }
    // True (after failing) when the body has reached the limit while more is due.
    bool BodyOverLimit(bool moreDue);
    TNetHTTPParseStatus FinishClassic();
    TNetHTTPParseStatus FinishModern();

    TNetHTTPParseState state_ = TNetHTTPParseState::StatusLine;
    TNetHTTPParseError error_ = TNetHTTPParseError::None;
    std::string line_;
    bool sawCR_ = false;  // rpModern chunk end: the CR came
    bool afterInterim_ = false;
    bool headersComplete_ = false;
    bool finished_ = false;
    // rpClassic: the close ended the header block, so a counted body ends
    // quietly with the bytes that had come.
    bool closedBeforeBody_ = false;
    std::string pendingBody_;

    std::string statusLine_;
    std::string statusCodeText_;
    bool hasStatus_ = false;
    bool isHttp10_ = false;
    std::int32_t statusCode_ = 0;
    TNetHeaderList headers_;
    TNetHeaderList trailers_;
    std::int64_t blockBytes_ = 0;
    std::int64_t trailerBytes_ = 0;
    std::int32_t interim_ = 0;

    TNetHTTPBodyKind bodyKind_ = TNetHTTPBodyKind::None;
    std::int64_t contentLength_ = 0;
    std::int64_t remaining_ = 0;  // of the counted body or the current chunk
    std::int64_t bodyBytes_ = 0;
};

}  // namespace corvane::net
