// Splitting a URL text into the parts an HTTP request needs.
//
// The split is purely textual and forgiving: it never fails, decodes no
// percent escapes and checks no characters. The query string stays in the
// document, so Path + Document is the request target exactly as written.
#pragma once

#include <string>
#include <string_view>

namespace corvane::net {

struct UriParts {
    std::string Protocol;  // before the first "://"; empty without one
    std::string Host;      // after "://", up to the first ":" or "/"
    std::string Port;      // after that ":", up to the first "/"; a text
    std::string Path;      // from the "/" after the host to the last "/"; begins with "/"
    std::string Document;  // after the last "/", query included, fragment not
    std::string Fragment;  // after the first "#" of the document
};

// Every "\" becomes "/" (the second byte of a double-byte character is left
// alone).
void UnifySlashes(std::string& text);

// The six parts of `uri`. A "://" anywhere counts as the scheme separator;
// user information and bracketed address literals are not recognised.
UriParts SplitUri(std::string_view uri);

// A URI text with its parts. Setting the text stores it with its backslashes
// turned into slashes and splits it.
class TNetURI {
  public:
    TNetURI() = default;
    // An empty text leaves the holder as a default one (all parts empty).
    explicit TNetURI(std::string_view uri);

    const std::string& URI() const { return uri_; }
    void SetURI(std::string_view uri);

    const UriParts& Parts() const { return parts_; }
    const std::string& Protocol() const { return parts_.Protocol; }
    const std::string& Host() const { return parts_.Host; }
    const std::string& Port() const { return parts_.Port; }
    const std::string& Path() const { return parts_.Path; }
    const std::string& Document() const { return parts_.Document; }
    const std::string& Fragment() const { return parts_.Fragment; }

  private:
    std::string uri_;
    UriParts parts_;
};

}  // namespace corvane::net
