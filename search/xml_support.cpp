#include "search/xml_support.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>
#include <memory>

namespace corvane::search {

namespace {

void InitLibxml() {
    static const bool done = [] {
        xmlInitParser();
        return true;
    }();
    (void)done;
}

void IgnoreStructured(void*, xmlErrorPtr) {}
void IgnoreGeneric(void*, const char*, ...) {}

// Keeps libxml2 from printing on this thread while it lives; what it would
// have said goes nowhere (the callers report faults in their own words).
class QuietLibxml {
  public:
    QuietLibxml()
        : structured_(xmlStructuredError),
          structuredContext_(xmlStructuredErrorContext),
          generic_(xmlGenericError),
          genericContext_(xmlGenericErrorContext) {
        InitLibxml();
        xmlSetStructuredErrorFunc(nullptr, IgnoreStructured);
        xmlSetGenericErrorFunc(nullptr, IgnoreGeneric);
    }
    ~QuietLibxml() {
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
    }
    QuietLibxml(const QuietLibxml&) = delete;
    QuietLibxml& operator=(const QuietLibxml&) = delete;

  private:
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
};

const xmlChar* Xml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

struct ContextFree {
    void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
};
struct CompFree {
    void operator()(xmlXPathCompExpr* c) const { xmlXPathFreeCompExpr(c); }
};
struct ObjectFree {
    void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};

// The first error an XPath context reports.
void KeepFirstError(void* data, xmlErrorPtr error) {
    auto* kept = static_cast<std::string*>(data);
    if (!kept->empty() || error == nullptr)
        return;
    std::string message = error->message != nullptr ? error->message : "error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    // int1 is the offset in the expression where the compiler stopped.
    *kept = message + " at column " + std::to_string(error->int1 + 1);
}

std::unique_ptr<xmlXPathObject, ObjectFree> Evaluate(void* doc, const std::string& expression) {
    if (doc == nullptr || expression.find('\0') != std::string::npos)
        return nullptr;
    const QuietLibxml quiet;
    std::unique_ptr<xmlXPathContext, ContextFree> context(
        xmlXPathNewContext(static_cast<xmlDocPtr>(doc)));
    if (!context)
        return nullptr;
    std::string ignored;
    context->error = KeepFirstError;
    context->userData = &ignored;
    return std::unique_ptr<xmlXPathObject, ObjectFree>(
        xmlXPathEvalExpression(Xml(expression), context.get()));
}

}  // namespace

std::string XPathCompileProblem(const std::string& expression) {
    if (expression.find('\0') != std::string::npos)
        return "a zero byte in the expression";
    const QuietLibxml quiet;
    std::unique_ptr<xmlXPathContext, ContextFree> context(xmlXPathNewContext(nullptr));
    if (!context)
        return "out of memory";
    std::string problem;
    context->error = KeepFirstError;
    context->userData = &problem;
    const std::unique_ptr<xmlXPathCompExpr, CompFree> compiled(
        xmlXPathCtxtCompile(context.get(), Xml(expression)));
    if (compiled)
        return std::string();
    return problem.empty() ? std::string("invalid expression") : problem;
}

HtmlPage::HtmlPage(std::string_view html) {
    if (html.empty())
        return;
    const QuietLibxml quiet;
    const int size =
        html.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(html.size());
    // Search answers are UTF-8; the parser falls back to Latin-1 by itself
    // for bytes that are not.
    doc_ = htmlReadMemory(html.data(), size, nullptr, "UTF-8",
                          HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_COMPACT);
}

HtmlPage::~HtmlPage() {
    if (doc_ != nullptr)
        xmlFreeDoc(static_cast<xmlDocPtr>(doc_));
}

std::vector<std::string> HtmlPage::Texts(const std::string& expression) const {
    std::vector<std::string> texts;
    const auto result = Evaluate(doc_, expression);
    if (!result)
        return texts;
    const auto take = [&](xmlChar* text) {
        if (text != nullptr) {
            texts.emplace_back(reinterpret_cast<const char*>(text));
            xmlFree(text);
        }
    };
    switch (result->type) {
        case XPATH_NODESET:
            if (result->nodesetval != nullptr) {
                for (int i = 0; i < result->nodesetval->nodeNr; ++i)
                    take(xmlXPathCastNodeToString(result->nodesetval->nodeTab[i]));
            }
            break;
        case XPATH_STRING:
            take(xmlXPathCastToString(result.get()));
            break;
        default:
            break;
    }
    return texts;
}

bool HtmlPage::Matches(const std::string& expression) const {
    const auto result = Evaluate(doc_, expression);
    return result && xmlXPathCastToBoolean(result.get()) != 0;
}

}  // namespace corvane::search
