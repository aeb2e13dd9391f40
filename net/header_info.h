// The well-known header fields of one HTTP message, plus a list of the
// others. A client keeps one record for the request it sends and one for the
// last response it read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/date_time.h"
#include "net/header_list.h"

namespace corvane::net {

class TNetHTTP;

class TNetHeaderInfo {
  public:
    // `owner` is the client the record belongs to (none for a free record).
    explicit TNetHeaderInfo(TNetHTTP* owner = nullptr);

    TNetHTTP* Owner() const { return owner_; }

    std::string Accept;
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string Connection;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::int32_t ContentLength = 0;
    std::uint32_t ContentRangeEnd = 0;
    std::uint32_t ContentRangeStart = 0;
    std::string ContentType;
    std::string ContentVersion;
    TDateTime Date = 0;
    TDateTime Expires = 0;
    TNetHeaderList ExtraHeaders;
    std::string From;
    TDateTime LastModified = 0;
    std::string Location;
    std::string Password;
    std::string ProxyAuthenticate;
    std::string ProxyPassword;
    std::int32_t ProxyPort = 0;
    std::string ProxyServer;
    std::string ProxyUsername;
    std::string Referer;
    std::string Server;
    std::string UserAgent;
    std::string Username;
    std::string WWWAuthenticate;
    // Whether the last response stated its length as a plain decimal number
    // (ContentLength then holds it, also when it is 0 or negative). Tells an
    // announced empty body apart from a body without a stated length.
    bool HasContentLength = false;

    // The defaults of a new record: the Accept and User-Agent texts of the
    // program, everything else empty or 0.
    void ResetFields();
    // Replaces the lines of `list` with one line per field that is set, in
    // the fixed order of a request, followed by ExtraHeaders.
    void FillRequestLines(TNetHeaderList& list) const;
    // Takes the well-known headers out of `list` into the fields (a header
    // given twice: the first one); every line left over is appended to
    // ExtraHeaders. A Content-Range whose start or end is not a decimal
    // number raises EConvertError.
    void TakeResponseLines(TNetHeaderList& list);

  private:
    TNetHTTP* owner_;
};

// The Base64 form of `text` (standard alphabet, "=" padding), one line.
std::string Base64Text(std::string_view text);

// A decimal integer as a header carries it: leading blanks, an optional sign
// and digits, nothing after them, within the signed 32-bit range. False for
// anything else.
bool TryHeaderDecimal(std::string_view text, std::int32_t& value);

}  // namespace corvane::net
