// Header-list lookups, stores and folding on arbitrary header blocks.
// Input: one byte of settings, then lines separated by LF: a name, a value,
// then the lines of the list.
// fuzz-libs: corvane_net
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "net/header_list.h"
#include "net/line_wrap.h"
#include "net/text_tokens.h"

using namespace corvane::net;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string_view NextLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

void CheckFolded(const std::vector<std::string>& pieces) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Check(pieces[i].find("\r\n") == std::string::npos);
        if (i > 0) {
            Check(!pieces[i].empty() && (pieces[i][0] == ' ' || pieces[i][0] == '\t'));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    TNetHeaderListSettings settings;
    settings.MatchCase = (flags & 1) != 0;
    settings.JoinContinuations = (flags & 2) == 0;
    settings.FoldOnStore = (flags & 4) == 0;
    settings.FoldWidth = static_cast<std::int32_t>(flags >> 3) * 4 - 8;  // -8 to 116
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view name = NextLine(rest);
    const std::string_view value = NextLine(rest);

    TNetHeaderList list(settings);
    while (!rest.empty()) {
        list.Add(std::string(NextLine(rest)));
    }

    const int found = list.FindName(name);
    Check(found >= -1 && found < list.Count());
    const std::string v = list.ValueOf(name);
    Check(v.empty() || static_cast<unsigned char>(v[0]) > 32);
    if (found >= 0) {
        Check(SameTextLocale(list.NameOfLine(found), name));
    }
    if (!list.Empty()) {
        list.NameOfLine(list.Count() - 1);
        list.ValueOfLine(0);
    }

    const std::string wrapped = WrapAtBreaks(value, "\r\n ", "\t ", settings.FoldWidth);
    Check(wrapped.size() >= value.size() && (wrapped.size() - value.size()) % 3 == 0);
    CheckFolded(list.FoldText(value));

    // A name without blanks is never folded apart from its ":", so the
    // header just stored is found, and removing it takes all of it.
    const bool plainName = name.find_first_of(": \t\r\n") == std::string_view::npos;
    const int before = list.Count();
    list.StoreValue(name, value);
    if (plainName && !value.empty()) {
        Check(list.FindName(name) >= 0);
    }
    list.StoreValue(name, "");
    if (plainName) {
        Check(list.Count() <= before);
    }
    if (!list.Empty()) {
        list.DropContinuations(0);
        list.ReplaceWithFolded(value, list.Count() - 1);
    }
    return 0;
}
