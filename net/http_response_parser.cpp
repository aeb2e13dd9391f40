#include "net/http_response_parser.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "net/header_info.h"
#include "net/text_tokens.h"

namespace corvane::net {

namespace {

using State = TNetHTTPParseState;
using Status = TNetHTTPParseStatus;
using ParseError = TNetHTTPParseError;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Calls `each` with every non-empty element of a comma-separated list, blanks
// around it removed.
template <class F>
void ForEachListElement(std::string_view list, F each) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view element = TrimBlanks(list.substr(0, comma));
        if (!element.empty())
            each(element);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
}

// Decimal digits only, at most 18 of them (so the value fits 64 bits).
bool ParseCount(std::string_view text, std::int64_t& value) {
    std::uint64_t v = 0;
    if (text.size() > 18 || !base::TryReadDecimalDigits(text, 999999999999999999u, v))
        return false;
    value = static_cast<std::int64_t>(v);
    return true;
}

// The values of every header line called `name`, joined with commas (the
// way RFC 9110 combines repeated list fields). False when there is none.
bool CombinedValue(const TNetHeaderList& headers, std::string_view name, std::string& value) {
    bool found = false;
    value.clear();
    for (int i = 0; i < headers.Count(); ++i) {
        if (!SameTextLocale(headers.NameOfLine(i), name))
            continue;
        if (found)
            value += ',';
        value += headers.ValueOfLine(i);
        found = true;
    }
    return found;
}

}  // namespace

void TNetHTTPResponseParser::Reset() {
    state_ = State::StatusLine;
    error_ = ParseError::None;
    line_.clear();
    sawCR_ = false;
    afterInterim_ = false;
    headersComplete_ = false;
    finished_ = false;
    closedBeforeBody_ = false;
    pendingBody_.clear();
    statusLine_.clear();
    statusCodeText_.clear();
    hasStatus_ = false;
    isHttp10_ = false;
    statusCode_ = 0;
    headers_.Clear();
    trailers_.Clear();
    blockBytes_ = 0;
    trailerBytes_ = 0;
    interim_ = 0;
    bodyKind_ = TNetHTTPBodyKind::None;
    contentLength_ = 0;
    remaining_ = 0;
    bodyBytes_ = 0;
}

void TNetHTTPResponseParser::StartAtHeaders() {
    Reset();
    state_ = State::HeaderLine;
}

TNetHTTPParseResult TNetHTTPResponseParser::Result(const char* start, const char* p,
                                                   Status status) const {
    return {static_cast<std::size_t>(p - start), status};
}

Status TNetHTTPResponseParser::Fail(ParseError error) {
    state_ = State::Failed;
    error_ = error;
    line_.clear();
    pendingBody_.clear();
    return Status::Error;
}

TNetHTTPResponseParser::LineResult TNetHTTPResponseParser::GatherLine(const char*& p,
                                                                      const char* end) {
    const std::size_t limit = MaxLineLength > 0 ? static_cast<std::size_t>(MaxLineLength)
                                                : std::numeric_limits<std::size_t>::max();
    const void* lf = p < end ? std::memchr(p, '\n', static_cast<std::size_t>(end - p)) : nullptr;
    if (!lf) {
        line_.append(p, end);
        p = end;
        // The shortest the line can still turn out to be: one byte may be
        // the CR of its line end.
        if (!line_.empty() && line_.size() - 1 > limit) {
            Fail(ParseError::LineTooLong);
            return LineResult::Failed;
        }
        return LineResult::Partial;
    }
    const char* e = static_cast<const char*>(lf);
    line_.append(p, e);
    p = e + 1;
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    if (line_.size() > limit) {
        Fail(ParseError::LineTooLong);
        return LineResult::Failed;
    }
    return LineResult::Complete;
}

bool TNetHTTPResponseParser::CountHeaderBytes(std::int64_t& counter, std::size_t lineSize) {
    counter += static_cast<std::int64_t>(lineSize) + 2;
    if (counter > MaxHeaderBlockSize) {
        Fail(ParseError::HeaderTooLarge);
        return false;
    }
    return true;
}

bool TNetHTTPResponseParser::BodyOverLimit(bool moreDue) {
    if (!moreDue || bodyBytes_ < Limit())
        return false;
    Fail(ParseError::BodyTooLarge);
    return true;
}

void TNetHTTPResponseParser::Deliver(const char* data, std::size_t size) {
    if (size == 0)
        return;
    if (OnBody)
        OnBody(data, size);
    TakeBody(static_cast<std::int64_t>(size));
}

void TNetHTTPResponseParser::TakeBody(std::int64_t count) {
    bodyBytes_ += count;
    if (state_ == State::BodyUntilClose)
        return;
    remaining_ -= count;
    if (remaining_ == 0) {
        state_ = state_ == State::BodyCounted ? State::Done : State::ChunkDataEnd;
        sawCR_ = false;
        return;
    }
    BodyOverLimit(true);
}

std::int64_t TNetHTTPResponseParser::BodyRoom() const {
    if (finished_ || !pendingBody_.empty())
        return 0;
    const std::int64_t allowance = std::max<std::int64_t>(0, Limit() - bodyBytes_);
    switch (state_) {
        case State::BodyCounted:
        case State::ChunkData:
            return std::min(remaining_, allowance);
        case State::BodyUntilClose:
            return allowance;
        default:
            return 0;
    }
}

void TNetHTTPResponseParser::AdvanceBody(std::int64_t count) {
    count = std::clamp<std::int64_t>(count, 0, BodyRoom());
    if (count > 0)
        TakeBody(count);
}

TNetHTTPParseResult TNetHTTPResponseParser::Put(const char* data, std::size_t size) {
    if (finished_) {
        // The stream has ended; nothing more is taken.
        const Status s = state_ == State::Done     ? Status::MessageDone
                         : state_ == State::Failed ? Status::Error
                                                   : Status::NeedMore;
        return {0, s};
    }
    return Feed(data, size);
}

TNetHTTPParseResult TNetHTTPResponseParser::Feed(const char* data, std::size_t size) {
    const char* p = data;
    const char* const end = data + size;
    for (;;) {
        switch (state_) {
            case State::Done:
                return Result(data, p, Status::MessageDone);
            case State::Failed:
                return Result(data, p, Status::Error);

            case State::BodyCounted:
            case State::ChunkData: {
                // The limit may have been reached before a byte of this part came.
                if (BodyOverLimit(remaining_ > 0))
                    return Result(data, p, Status::Error);
                if (p == end)
                    return Result(data, p, Status::NeedMore);
                const std::int64_t n = std::min(
                    {static_cast<std::int64_t>(end - p), remaining_, Limit() - bodyBytes_});
                const char* from = p;
                p += n;
                Deliver(from, static_cast<std::size_t>(n));
                break;
            }

            case State::BodyUntilClose: {
                if (p == end)
                    return Result(data, p, Status::NeedMore);
                const std::int64_t room = Limit() - bodyBytes_;
                if (room <= 0) {
                    Fail(ParseError::BodyTooLarge);
                    return Result(data, p, Status::Error);
                }
                const std::int64_t n = std::min(static_cast<std::int64_t>(end - p), room);
                const char* from = p;
                p += n;
                Deliver(from, static_cast<std::size_t>(n));
                break;
            }

            case State::ChunkDataEnd:
                if (Policy == rpModern) {
                    // Exactly CR LF (or a bare LF) after a chunk's bytes.
                    if (p == end)
                        return Result(data, p, Status::NeedMore);
                    if (*p == '\r' && !sawCR_) {
                        sawCR_ = true;
                        ++p;
                    } else if (*p == '\n') {
                        ++p;
                        state_ = State::ChunkSize;
                    } else {
                        Fail(ParseError::BadChunk);
                        return Result(data, p, Status::Error);
                    }
                    break;
                }
                [[fallthrough]];  // rpClassic: whatever line follows is read and dropped

            default: {
                const LineResult line = GatherLine(p, end);
                if (line == LineResult::Failed)
                    return Result(data, p, Status::Error);
                if (line == LineResult::Partial)
                    return Result(data, p, Status::NeedMore);
                const Status s = OnLine();
                line_.clear();
                if (s == Status::HeadersDone || s == Status::Error)
                    return Result(data, p, s);
                break;
            }
        }
    }
}

Status TNetHTTPResponseParser::OnLine() {
    switch (state_) {
        case State::StatusLine:
            return OnStatusLine();
        case State::HeaderLine:
            if (!CountHeaderBytes(blockBytes_, line_.size()))
                return Status::Error;
            if (line_.empty())
                return EndOfHeaders(false);
            headers_.Add(line_);
            return Status::NeedMore;
        case State::ChunkSize:
            return OnChunkSizeLine();
        case State::ChunkDataEnd:
            state_ = State::ChunkSize;
            return Status::NeedMore;
        case State::Trailer:
            return OnTrailerLine();
        case State::ChunkTail:
            state_ = State::Done;
            return Status::NeedMore;
        default:
            return Status::NeedMore;
    }
}

Status TNetHTTPResponseParser::OnStatusLine() {
    if (!CountHeaderBytes(blockBytes_, line_.size()))
        return Status::Error;
    // Empty lines before a status line: a stray line end after an interim
    // answer (or, under rpModern, anywhere before the first one).
    if (line_.empty() && (afterInterim_ || Policy == rpModern))
        return Status::NeedMore;
    statusLine_ = line_;
    hasStatus_ = true;
    headers_.Clear();
    if (Policy == rpClassic) {
        // The first word is the version; the code is the text up to the next space.
        std::string rest = statusLine_;
        TakeToken(rest, " ");
        statusCodeText_ = TakeToken(rest, " ");
        isHttp10_ = statusLine_.size() >= 8 &&
                    SameTextLocale(std::string_view(statusLine_).substr(5, 3), "1.0");
        std::int32_t code = 0;
        if (!TryHeaderDecimal(statusCodeText_, code))
            return Fail(ParseError::BadStatusCode);
        statusCode_ = code;
    } else {
        // "HTTP/" digit "." digit, a space, three digits, then a space and a
        // reason phrase or nothing.
        const std::string& s = statusLine_;
        statusCodeText_ = s.size() >= 12 ? s.substr(9, 3) : std::string();
        const bool ok = s.size() >= 12 && s.compare(0, 5, "HTTP/") == 0 && base::IsDigit(s[5]) &&
                        s[6] == '.' && base::IsDigit(s[7]) && s[8] == ' ' && base::IsDigit(s[9]) &&
                        base::IsDigit(s[10]) && base::IsDigit(s[11]) &&
                        (s.size() == 12 || s[12] == ' ');
        if (!ok)
            return Fail(ParseError::BadStatusLine);
        statusCode_ = (s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0');
        isHttp10_ = s[5] == '1' && s[7] == '0';
    }
    state_ = State::HeaderLine;
    return Status::NeedMore;
}

Status TNetHTTPResponseParser::EndOfHeaders(bool byClose) {
    // An interim answer (1xx other than a protocol switch) is followed by the
    // real one. Under rpClassic one that announces a body of its own is read
    // as the answer, as it always was.
    const bool interim =
        hasStatus_ && statusCode_ >= 100 && statusCode_ <= 199 && statusCode_ != 101;
    if (interim && !byClose &&
        (Policy == rpModern ||
         (headers_.FindName("Content-Length") < 0 && headers_.FindName("Transfer-Encoding") < 0))) {
        ++interim_;
        afterInterim_ = true;
        state_ = State::StatusLine;
        statusLine_.clear();
        statusCodeText_.clear();
        hasStatus_ = false;
        statusCode_ = 0;
        headers_.Clear();
        return Status::NeedMore;
    }
    headersComplete_ = true;
    return Policy == rpClassic ? ChooseClassicBody() : ChooseModernBody();
}

Status TNetHTTPResponseParser::ChooseClassicBody() {
    std::int32_t length = 0;
    const bool hasLength = TryHeaderDecimal(headers_.ValueOf("Content-Length"), length);
    if (hasLength && length >= 0) {
        bodyKind_ = TNetHTTPBodyKind::Counted;
        contentLength_ = length;
        remaining_ = length;
        state_ = length > 0 ? State::BodyCounted : State::Done;
    } else if (headers_.ValueOf("Transfer-Encoding").find("chunked") != std::string::npos) {
        bodyKind_ = TNetHTTPBodyKind::Chunked;
        state_ = State::ChunkSize;
    } else {
        bodyKind_ = TNetHTTPBodyKind::UntilClose;
        state_ = State::BodyUntilClose;
    }
    return Status::HeadersDone;
}

Status TNetHTTPResponseParser::ChooseModernBody() {
    if (hasStatus_ && statusCode_ == 101)
        return Fail(ParseError::UnexpectedUpgrade);
    if (NoBodyExpected || statusCode_ == 204 || statusCode_ == 304 ||
        (statusCode_ >= 100 && statusCode_ <= 199)) {
        bodyKind_ = TNetHTTPBodyKind::None;
        state_ = State::Done;
        return Status::HeadersDone;
    }
    std::string value;
    if (CombinedValue(headers_, "Transfer-Encoding", value)) {
        // Chunked only when it is the final coding; any other final coding
        // leaves the end of the body to the close. An HTTP/1.0 answer cannot
        // be chunked, so its framing is not trusted either.
        std::string_view last;
        ForEachListElement(value, [&last](std::string_view coding) { last = coding; });
        last = TrimBlanks(last.substr(0, last.find(';')));
        if (!isHttp10_ && SameTextLocale(last, "chunked")) {
            bodyKind_ = TNetHTTPBodyKind::Chunked;
            state_ = State::ChunkSize;
        } else {
            bodyKind_ = TNetHTTPBodyKind::UntilClose;
            state_ = State::BodyUntilClose;
        }
        return Status::HeadersDone;
    }
    if (CombinedValue(headers_, "Content-Length", value)) {
        // One count, possibly repeated; anything else cannot be trusted.
        std::int64_t length = -1;
        bool valid = true;
        ForEachListElement(value, [&](std::string_view element) {
            std::int64_t v = 0;
            if (!ParseCount(element, v) || (length >= 0 && v != length))
                valid = false;
            length = v;
        });
        if (!valid || length < 0)
            return Fail(ParseError::BadContentLength);
        bodyKind_ = TNetHTTPBodyKind::Counted;
        contentLength_ = length;
        remaining_ = length;
        state_ = length > 0 ? State::BodyCounted : State::Done;
        return Status::HeadersDone;
    }
    bodyKind_ = TNetHTTPBodyKind::UntilClose;
    state_ = State::BodyUntilClose;
    return Status::HeadersDone;
}

std::int32_t TNetHTTPResponseParser::ClassicChunkLength(std::string_view line, bool& zero) {
    zero = false;
    line = line.substr(0, line.find(' '));
    std::uint64_t v = 0;
    if (line.size() > 8 || !base::TryReadHexDigits(line, 0xFFFFFFFFu, v))
        return 0;
    zero = v == 0;
    return v >= 0x80000000u ? 0 : static_cast<std::int32_t>(v);
}

Status TNetHTTPResponseParser::OnChunkSizeLine() {
    std::int64_t size = 0;
    bool last = false;
    if (Policy == rpClassic) {
        size = ClassicChunkLength(line_, last);
        if (size == 0 && !last) {
            // Not a count: the chunks end here, and one more line is read.
            state_ = State::ChunkTail;
            return Status::NeedMore;
        }
    } else {
        // chunk-size [ BWS ";" chunk-ext ]; the extension is skipped.
        std::size_t i = 0;
        while (i < line_.size() && base::HexDigitValue(line_[i]) >= 0)
            ++i;
        std::uint64_t digits = 0;
        if (!base::TryReadHexDigits(std::string_view(line_).substr(0, i),
                                    std::numeric_limits<std::int64_t>::max(), digits)) {
            return Fail(ParseError::BadChunk);
        }
        size = static_cast<std::int64_t>(digits);
        while (i < line_.size() && IsBlank(line_[i]))
            ++i;
        if (i < line_.size() && line_[i] != ';')
            return Fail(ParseError::BadChunk);
        last = size == 0;
    }
    if (last) {
        state_ = State::Trailer;
        trailerBytes_ = 0;
    } else {
        state_ = State::ChunkData;
        remaining_ = size;
    }
    return Status::NeedMore;
}

Status TNetHTTPResponseParser::OnTrailerLine() {
    if (!CountHeaderBytes(trailerBytes_, line_.size()))
        return Status::Error;
    if (line_.empty()) {
        state_ = State::Done;
    } else {
        trailers_.Add(line_);
    }
    return Status::NeedMore;
}

TNetHTTPParseResult TNetHTTPResponseParser::Finish() {
    if (state_ == State::Done)
        return {0, Status::MessageDone};
    if (state_ == State::Failed)
        return {0, Status::Error};
    finished_ = true;
    if (!pendingBody_.empty()) {
        // The bytes of a header line cut by the close start the body; what
        // the body does not take stays unread.
        std::string pending;
        pending.swap(pendingBody_);
        Feed(pending.data(), pending.size());
    }
    return {0, Policy == rpClassic ? FinishClassic() : FinishModern()};
}

Status TNetHTTPResponseParser::FinishClassic() {
    // A line cut by the close reads as an empty line once; a line read with
    // nothing left fails.
    const bool partial = !line_.empty();
    switch (state_) {
        case State::Done:
            return Status::MessageDone;
        case State::Failed:
            return Status::Error;
        case State::StatusLine:
            if (!partial)
                return Fail(ParseError::ClosedEarly);
            line_.clear();
            if (OnStatusLine() == Status::Error)
                return Status::Error;
            return Fail(ParseError::ClosedEarly);
        case State::HeaderLine:
            if (!partial)
                return Fail(ParseError::ClosedEarly);
            if (!CountHeaderBytes(blockBytes_, 0))
                return Status::Error;
            pendingBody_.swap(line_);
            line_.clear();
            closedBeforeBody_ = true;
            // The next call feeds the pending bytes to the body.
            if (EndOfHeaders(true) == Status::Error)
                return Status::Error;
            return Status::HeadersDone;
        case State::BodyCounted:
            if (BodyOverLimit(true))
                return Status::Error;
            if (!closedBeforeBody_)
                return Fail(ParseError::ClosedEarly);
            state_ = State::Done;
            return Status::MessageDone;
        case State::BodyUntilClose:
            state_ = State::Done;
            return Status::MessageDone;
        case State::Trailer:
            if (!partial)
                return Fail(ParseError::ClosedEarly);
            if (!CountHeaderBytes(trailerBytes_, 0))
                return Status::Error;
            state_ = State::Done;
            return Status::MessageDone;
        case State::ChunkTail:
            if (!partial)
                return Fail(ParseError::ClosedEarly);
            state_ = State::Done;
            return Status::MessageDone;
        default:
            return Fail(ParseError::ClosedEarly);
    }
}

Status TNetHTTPResponseParser::FinishModern() {
    switch (state_) {
        case State::Done:
            return Status::MessageDone;
        case State::Failed:
            return Status::Error;
        case State::BodyCounted:
            if (BodyOverLimit(true))
                return Status::Error;
            return Fail(ParseError::ClosedEarly);
        case State::BodyUntilClose:
        case State::Trailer:
            // The whole body has come; only the end of the trailer block may
            // be missing.
            state_ = State::Done;
            return Status::MessageDone;
        default:
            return Fail(ParseError::ClosedEarly);
    }
}

std::string TNetHTTPResponseParser::ErrorText() const {
    switch (error_) {
        case ParseError::None:
            return std::string();
        case ParseError::LineTooLong:
            return "Line too long.";
        case ParseError::HeaderTooLarge:
            return "Response header block too large.";
        case ParseError::BodyTooLarge:
            return "Response body too large.";
        case ParseError::BadStatusCode:
            return "'" + statusCodeText_ + "' is not a valid integer value";
        case ParseError::BadStatusLine:
            return "Malformed status line.";
        case ParseError::BadContentLength:
            return "Malformed Content-Length.";
        case ParseError::BadChunk:
            return "Malformed chunk.";
        case ParseError::UnexpectedUpgrade:
            return "Unrequested protocol switch (101).";
        case ParseError::ClosedEarly:
            return "Connection closed before the response was complete.";
    }
    return std::string();
}

}  // namespace corvane::net
