#include "search/search_profile.h"

#include <algorithm>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "platform/profile_reader.h"
#include "search/json_path.h"
#include "search/xml_support.h"

namespace corvane::search {

namespace {

// Values longer than the reader's usual limit are fine here: an XPath or a
// form body may be long.
constexpr std::size_t kValueLimit = std::size_t{1} << 16;

const char* const kSections[] = {"profile", "request", "headers", "answer", "captures"};
const char* const kProfileKeys[] = {"description", "kind"};
const char* const kRequestKeys[] = {"method",      "base",      "base-required", "url",
                                    "first-url",   "body",      "first-body",    "offset-start",
                                    "offset-step", "page-size", "page-limit"};
const char* const kAnswerKeys[] = {"kind",       "results", "unwrap-parameter", "unwrap-start",
                                   "unwrap-end", "skip",    "skip-relative",    "block-xpath",
                                   "block-text", "refused"};
const char* const kBuiltinPlaceholders[] = {"base", "query", "page", "offset", "offset1"};
// Headers the fetch writes itself.
const char* const kReservedHeaders[] = {"host", "content-length", "connection", "transfer-encoding",
                                        "content-type"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool OneOf(std::string_view name, std::span<const char* const> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char* n) { return base::EqualsIgnoringCase(name, n); });
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

struct KeyLine {
    std::string Name;
    int Line = 0;
};

struct SectionLines {
    std::string Name;
    int Line = 0;
    std::vector<KeyLine> Keys;

    const KeyLine* Find(std::string_view key) const {
        for (const KeyLine& k : Keys) {
            if (base::EqualsIgnoringCase(k.Name, key))
                return &k;
        }
        return nullptr;
    }
};

// One profile file being read: its sections and keys with their lines (the
// reader keeps no line numbers), the values through the reader, and the
// messages naming the file and line.
class ProfileText {
  public:
    ProfileText(const std::string& text, std::string where) : where_(std::move(where)) {
        file_.Parse(text);
        ScanLines(text);
    }

    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw ProfileError(where_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                           what);
    }

    const SectionLines* Section(std::string_view name) const {
        for (const SectionLines& s : sections_) {
            if (base::EqualsIgnoringCase(s.Name, name))
                return &s;
        }
        return nullptr;
    }

    int LineOf(std::string_view section, std::string_view key) const {
        const SectionLines* s = Section(section);
        const KeyLine* k = s != nullptr ? s->Find(key) : nullptr;
        return k != nullptr ? k->Line : 0;
    }

    std::optional<std::string> Value(std::string_view section, std::string_view key) const {
        return file_.ReadValue(section, key, kValueLimit);
    }

    std::string Text(std::string_view section, std::string_view key,
                     std::string_view fallback = {}) const {
        return Value(section, key).value_or(std::string(fallback));
    }

    // A value that must be there and not be empty.
    std::string Required(std::string_view section, std::string_view key) const {
        std::string value = Text(section, key);
        if (!value.empty())
            return value;
        if (const int line = LineOf(section, key); line > 0)
            Fail(line, std::string(key) + " is empty");
        if (const SectionLines* s = Section(section))
            Fail(s->Line, "[" + std::string(section) + "] needs " + std::string(key));
        Fail(0, "a web profile needs [" + std::string(section) + "] with " + std::string(key));
    }

    std::int32_t Number(std::string_view section, std::string_view key, std::int32_t fallback,
                        std::int32_t low, std::int32_t high) const {
        const std::optional<std::string> text = Value(section, key);
        if (!text)
            return fallback;
        std::int32_t value = 0;
        if (!base::TryReadDecimalInt32(*text, value))
            Fail(LineOf(section, key),
                 std::string(key) + " " + Quoted(*text) + " is not a whole number");
        if (value < low || value > high)
            Fail(LineOf(section, key), std::string(key) + " " + Quoted(*text) + " is not within " +
                                           std::to_string(low) + " to " + std::to_string(high));
        return value;
    }

    bool Flag(std::string_view section, std::string_view key) const {
        const std::optional<std::string> text = Value(section, key);
        if (!text)
            return false;
        const std::string v = base::LowerAscii(*text);
        if (v == "yes" || v == "true" || v == "on" || v == "1")
            return true;
        if (v == "no" || v == "false" || v == "off" || v == "0" || v.empty())
            return false;
        Fail(LineOf(section, key), std::string(key) + " " + Quoted(*text) + " is not yes or no");
    }

    const std::vector<SectionLines>& Sections() const { return sections_; }

  private:
    // The layout of the file by the reader's rules, with line numbers; the
    // faults the reader would pass over in silence are errors here.
    void ScanLines(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        int number = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            ++number;
            std::size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string_view::npos)
                end = text.size();
            const std::string_view line = Trim(text.substr(pos, end - pos));
            pos = end;
            if (pos < text.size())
                pos +=
                    (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2u : 1u;
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[' && line.find(']') != std::string_view::npos) {
                const std::string_view name = Trim(line.substr(1, line.rfind(']') - 1));
                if (Section(name) != nullptr)
                    Fail(number, "section [" + std::string(name) + "] appears twice");
                if (!OneOf(name, kSections))
                    Fail(number, "unknown section [" + std::string(name) +
                                     "] (profile, request, headers, answer or captures)");
                sections_.push_back(SectionLines{std::string(name), number, {}});
                continue;
            }
            const std::size_t eq = line.find('=');
            if (eq == std::string_view::npos)
                Fail(number, Quoted(line) + " is not a key line (NAME = VALUE)");
            if (sections_.empty())
                Fail(number, Quoted(line) + " comes before the first section");
            SectionLines& section = sections_.back();
            const std::string_view key = Trim(line.substr(0, eq));
            if (key.empty())
                Fail(number, "a value without a key name");
            if (section.Find(key) != nullptr)
                Fail(number, Quoted(key) + " appears twice in [" + section.Name + "]");
            const std::string& s = section.Name;
            if ((base::EqualsIgnoringCase(s, "profile") && !OneOf(key, kProfileKeys)) ||
                (base::EqualsIgnoringCase(s, "request") && !OneOf(key, kRequestKeys)) ||
                (base::EqualsIgnoringCase(s, "answer") && !OneOf(key, kAnswerKeys)))
                Fail(number, "unknown key " + Quoted(key) + " in [" + s + "]");
            section.Keys.push_back(KeyLine{std::string(key), number});
        }
    }

    std::string where_;
    platform::ProfileFile file_;
    std::vector<SectionLines> sections_;
};

bool IsNameChar(char c) {
    return base::IsLetterOrDigit(c) || c == '_' || c == '-';
}

bool IsHeaderNameChar(char c) {
    return base::IsLetterOrDigit(c) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::vector<std::string> SplitBlanks(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        if (end > pos)
            parts.emplace_back(text.substr(pos, end - pos));
        pos = end;
    }
    return parts;
}

// Checks the placeholders of a template: each "{NAME}" must be a built-in
// one or a capture (not in a page-1 template).
void CheckPlaceholders(const ProfileText& file, std::string_view section, std::string_view key,
                       const std::string& text, const std::set<std::string>& captures,
                       bool firstPage) {
    const int line = file.LineOf(section, key);
    std::size_t pos = 0;
    while ((pos = text.find('{', pos)) != std::string::npos) {
        const std::size_t close = text.find('}', pos);
        if (close == std::string::npos)
            file.Fail(line, "a \"{\" without \"}\" in " + std::string(key));
        const std::string name = text.substr(pos + 1, close - pos - 1);
        const std::string folded = base::LowerAscii(name);
        if (!OneOf(folded, kBuiltinPlaceholders)) {
            if (captures.count(folded) == 0)
                file.Fail(line, "unknown placeholder {" + name + "} in " + std::string(key) +
                                    " (base, query, page, offset, offset1, or a name of "
                                    "[captures])");
            if (firstPage)
                file.Fail(line, "{" + name + "} in " + std::string(key) +
                                    ": page 1 has no page before it to capture from");
        }
        pos = close + 1;
    }
}

void CheckXPath(const ProfileText& file, std::string_view section, std::string_view key,
                const std::string& expression) {
    const std::string problem = XPathCompileProblem(expression);
    if (!problem.empty())
        file.Fail(file.LineOf(section, key),
                  "XPath does not compile: " + problem + " in " + Quoted(expression));
}

void CheckJsonPath(const ProfileText& file, std::string_view section, std::string_view key,
                   const std::string& path) {
    std::vector<JsonPathStep> steps;
    std::string problem;
    if (!ParseJsonPath(path, steps, problem))
        file.Fail(file.LineOf(section, key), "not a JSON path: " + problem);
}

}  // namespace

SearchProfile ParseProfile(const std::string& text, const std::string& source,
                           const std::string& name) {
    const ProfileText file(text, source == "built-in" ? "built-in " + name + ".ini" : source);
    SearchProfile p;
    p.Name = name;
    p.Source = source;
    p.Description = file.Text("profile", "description");

    const std::string kind = base::LowerAscii(file.Text("profile", "kind", "web"));
    if (kind == "classic") {
        p.Kind = ProfileKind::Classic;
        return p;
    }
    if (kind != "web")
        file.Fail(file.LineOf("profile", "kind"),
                  "unknown profile kind " + Quoted(kind) + " (web or classic)");
    p.Kind = ProfileKind::Web;

    // The request.
    p.Method = base::UpperAscii(file.Text("request", "method", "GET"));
    if (p.Method != "GET" && p.Method != "POST")
        file.Fail(file.LineOf("request", "method"),
                  "unknown method " + Quoted(p.Method) + " (GET or POST)");
    p.Base = file.Text("request", "base");
    while (!p.Base.empty() && p.Base.back() == '/')
        p.Base.pop_back();
    p.BaseRequired = file.Flag("request", "base-required");
    p.UrlTemplate = file.Required("request", "url");
    p.FirstUrlTemplate = file.Text("request", "first-url");
    p.BodyTemplate = file.Text("request", "body");
    p.FirstBodyTemplate = file.Text("request", "first-body");
    if (p.Method == "GET") {
        for (const char* key : {"body", "first-body"}) {
            if (file.Value("request", key))
                file.Fail(file.LineOf("request", key), std::string(key) + " needs method = POST");
        }
    }
    constexpr std::int32_t kMax = 2147483647;
    p.OffsetStart = file.Number("request", "offset-start", 0, -kMax, kMax);
    p.OffsetStep = file.Number("request", "offset-step", 10, -kMax, kMax);
    p.PageSize = file.Number("request", "page-size", 10, 1, 1000);
    p.PageLimit = file.Number("request", "page-limit", 10, 1, 100);

    // The answer.
    const std::string answer = base::LowerAscii(file.Text("answer", "kind", "html"));
    if (answer == "html")
        p.Answer = AnswerKind::Html;
    else if (answer == "json")
        p.Answer = AnswerKind::Json;
    else
        file.Fail(file.LineOf("answer", "kind"),
                  "unknown answer kind " + Quoted(answer) + " (html or json)");
    p.Results = file.Required("answer", "results");
    p.UnwrapParameter = file.Text("answer", "unwrap-parameter");
    p.UnwrapStart = file.Text("answer", "unwrap-start");
    p.UnwrapEnds = SplitBlanks(file.Text("answer", "unwrap-end"));
    if (!p.UnwrapEnds.empty() && p.UnwrapStart.empty())
        file.Fail(file.LineOf("answer", "unwrap-end"), "unwrap-end needs unwrap-start");
    p.SkipPrefixes = SplitBlanks(file.Text("answer", "skip"));
    p.SkipRelative = file.Flag("answer", "skip-relative");
    p.BlockXPath = file.Text("answer", "block-xpath");
    p.BlockText = file.Text("answer", "block-text");
    p.RefusedHint = file.Text("answer", "refused");
    if (p.Answer == AnswerKind::Json && !p.BlockXPath.empty())
        file.Fail(file.LineOf("answer", "block-xpath"), "block-xpath needs kind = html");

    // Captures, then the templates that may use them.
    std::set<std::string> captureNames;
    if (const SectionLines* captures = file.Section("captures")) {
        for (const KeyLine& key : captures->Keys) {
            if (!std::all_of(key.Name.begin(), key.Name.end(), IsNameChar))
                file.Fail(key.Line, "capture name " + Quoted(key.Name) +
                                        " is not made of letters, digits, \"-\" and \"_\"");
            if (OneOf(key.Name, kBuiltinPlaceholders))
                file.Fail(key.Line, "capture name " + Quoted(key.Name) + " is a placeholder's");
            const std::string expression = file.Text("captures", key.Name);
            if (expression.empty())
                file.Fail(key.Line, "capture " + Quoted(key.Name) + " is empty");
            captureNames.insert(base::LowerAscii(key.Name));
            p.Captures.emplace_back(key.Name, expression);
        }
    }
    CheckPlaceholders(file, "request", "url", p.UrlTemplate, captureNames, false);
    CheckPlaceholders(file, "request", "first-url", p.FirstUrlTemplate, captureNames, true);
    CheckPlaceholders(file, "request", "body", p.BodyTemplate, captureNames, false);
    CheckPlaceholders(file, "request", "first-body", p.FirstBodyTemplate, captureNames, true);
    if (const SectionLines* headers = file.Section("headers")) {
        for (const KeyLine& key : headers->Keys) {
            if (!std::all_of(key.Name.begin(), key.Name.end(), IsHeaderNameChar))
                file.Fail(key.Line, Quoted(key.Name) + " is not a header name");
            if (OneOf(key.Name, kReservedHeaders))
                file.Fail(key.Line, "the fetch writes " + key.Name + " itself");
            std::string value = file.Text("headers", key.Name);
            CheckPlaceholders(file, "headers", key.Name, value, captureNames, false);
            p.Headers.emplace_back(key.Name, std::move(value));
        }
    }

    // The expressions.
    if (p.Answer == AnswerKind::Html) {
        CheckXPath(file, "answer", "results", p.Results);
        if (!p.BlockXPath.empty())
            CheckXPath(file, "answer", "block-xpath", p.BlockXPath);
        for (const auto& [captureName, expression] : p.Captures)
            CheckXPath(file, "captures", captureName, expression);
    } else {
        CheckJsonPath(file, "answer", "results", p.Results);
        for (const auto& [captureName, path] : p.Captures)
            CheckJsonPath(file, "captures", captureName, path);
    }
    return p;
}

}  // namespace corvane::search
