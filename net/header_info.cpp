#include "net/header_info.h"

#include "net/internet_date.h"
#include "net/text_tokens.h"

#include <limits>

#include "base/integer_text.h"
#include "net/net_exceptions.h"

namespace corvane::net {

namespace {

const char* const kDefaultAccept = "text/html, */*";
const char* const kDefaultUserAgent = "Mozilla/3.0 (compatible; Corvane)";

// Takes the value of the first header called `name` out of the list (with
// its continuation lines).
std::string TakeValue(TNetHeaderList& list, std::string_view name) {
    std::string value = list.ValueOf(name);
    list.StoreValue(name, std::string_view());
    return value;
}

std::uint32_t RangeBound(const std::string& text) {
    std::int32_t v = 0;
    if (!TryHeaderDecimal(text, v))
        throw EConvertError(text);
    return static_cast<std::uint32_t>(v);
}

}  // namespace

bool TryHeaderDecimal(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    return base::TryReadDecimalInt32(text.substr(i), value);
}

TNetHeaderInfo::TNetHeaderInfo(TNetHTTP* owner) : owner_(owner) {
    ResetFields();
}

void TNetHeaderInfo::ResetFields() {
    Accept = kDefaultAccept;
    UserAgent = kDefaultUserAgent;
    AcceptCharSet.clear();
    Location.clear();
    Server.clear();
    Connection.clear();
    ContentVersion.clear();
    WWWAuthenticate.clear();
    ContentEncoding.clear();
    ContentLanguage.clear();
    ContentType.clear();
    ProxyServer.clear();
    ProxyUsername.clear();
    ProxyPassword.clear();
    ProxyAuthenticate.clear();
    ContentLength = 0;
    HasContentLength = false;
    ContentRangeStart = 0;
    ContentRangeEnd = 0;
    ProxyPort = 0;
    Date = 0;
    Expires = 0;
    LastModified = 0;
    ExtraHeaders.Clear();
}

void TNetHeaderInfo::FillRequestLines(TNetHeaderList& list) const {
    list.Clear();
    auto add = [&list](const char* prefix, const std::string& value) {
        if (!value.empty())
            list.Add(prefix + value);
    };
    add("Accept: ", Accept);
    add("Accept-Charset: ", AcceptCharSet);
    add("Accept-Encoding: ", AcceptEncoding);
    add("Accept-Language: ", AcceptLanguage);
    add("From: ", From);
    add("Referer: ", Referer);
    add("User-Agent: ", UserAgent);
    add("Connection: ", Connection);
    add("Content-Version: ", ContentVersion);
    add("Content-Encoding: ", ContentEncoding);
    add("Content-Language: ", ContentLanguage);
    add("Content-Type: ", ContentType);
    if (ContentLength != 0)
        list.Add("Content-Length: " + std::to_string(ContentLength));
    if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
        std::string range = "Range: bytes=" + std::to_string(ContentRangeStart) + "-";
        if (ContentRangeEnd != 0)
            range += std::to_string(ContentRangeEnd);
        list.Add(std::move(range));
    }
    if (!Username.empty())
        list.Add("Authorization: Basic " + Base64Text(Username + ":" + Password));
    if (!ProxyServer.empty() && !ProxyUsername.empty()) {
        list.Add("Proxy-Authorization: Basic " + Base64Text(ProxyUsername + ":" + ProxyPassword));
    }
    list.AddLines(ExtraHeaders);
}

void TNetHeaderInfo::TakeResponseLines(TNetHeaderList& list) {
    ExtraHeaders.Clear();
    Location = TakeValue(list, "Location");
    Server = TakeValue(list, "Server");
    Connection = TakeValue(list, "Connection");
    ContentVersion = TakeValue(list, "Content-Version");
    WWWAuthenticate = TakeValue(list, "WWWAuthenticate");
    ContentEncoding = TakeValue(list, "Content-Encoding");
    ContentLanguage = TakeValue(list, "Content-Language");
    ContentType = TakeValue(list, "Content-Type");

    const std::string length = TakeValue(list, "Content-Length");
    std::int32_t n = 0;
    HasContentLength = TryHeaderDecimal(length, n);
    ContentLength = HasContentLength ? n : 0;

    if (list.FindName("Content-Range") >= 0) {
        std::string range = TakeValue(list, "Content-Range");
        TakeToken(range, " ");
        const std::string start = TakeToken(range, "-");
        const std::string end = TakeToken(range, "/");
        ContentRangeStart = RangeBound(start);
        ContentRangeEnd = RangeBound(end);
    }

    Date = InternetDateToLocal(TakeValue(list, "Date"));
    LastModified = InternetDateToLocal(TakeValue(list, "Last-Modified"));
    Expires = InternetDateToLocal(TakeValue(list, "Expires"));
    ProxyAuthenticate = TakeValue(list, "Proxy-Authenticate");
    ExtraHeaders.AddLines(list);
}

std::string Base64Text(std::string_view text) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto byte = [&text](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(text[k]));
    };
    for (; i + 3 <= text.size(); i += 3) {
        const std::uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = text.size() - i;
    if (rest > 0) {
        std::uint32_t v = byte(i) << 16;
        if (rest == 2)
            v |= byte(i + 1) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace corvane::net
