// libxml2 as the search library uses it: set up once, its error printing
// silenced on the calling thread while it works, XPath expressions checked
// and evaluated, HTML read without network.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::search {

// Why an XPath 1.0 expression does not compile, in libxml2's words with
// the column; empty when it compiles.
std::string XPathCompileProblem(const std::string& expression);

// A parsed HTML page. Reading never fails for text bytes: libxml2's
// recovering parser makes a tree of whatever it is given (an empty answer
// gives an empty page).
class HtmlPage {
  public:
    explicit HtmlPage(std::string_view html);
    ~HtmlPage();
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;

    bool Parsed() const { return doc_ != nullptr; }
    // The texts an expression selects: the string value of each node of a
    // node set (an attribute's value, an element's text), or the one value
    // of a string; nothing when it does not evaluate.
    std::vector<std::string> Texts(const std::string& expression) const;
    // The expression taken as a condition: a non-empty node set or string,
    // a non-zero number, true.
    bool Matches(const std::string& expression) const;

  private:
    void* doc_ = nullptr;  // xmlDocPtr
};

}  // namespace corvane::search
