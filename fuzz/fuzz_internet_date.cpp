// Header dates and zones from arbitrary text.
// fuzz-libs: corvane_net
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "net/internet_date.h"

using namespace corvane::net;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string rest(text);
    double value = -1;
    const bool ok = TryParseInternetDate(rest, value);
    Check(std::isfinite(value) && (ok || value == 0));
    Check(value > -700000 && value < 3000000);  // years 1 to 9999
    // What is left is the end of the input without its trailing blanks.
    std::string_view trimmed = text;
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= 32) {
        trimmed.remove_suffix(1);
    }
    Check(rest.size() <= trimmed.size() && trimmed.substr(trimmed.size() - rest.size()) == rest);

    const double local = InternetDateToLocal(text);
    Check(std::isfinite(local) && (ok || local == 0));
    const double zone = ZoneOffset(text);
    Check(zone >= -5.0 && zone <= 5.0);
    const int day = DayNameIndex(text.substr(0, 3));
    const int month = MonthIndex(text.substr(0, 3));
    Check(day >= 0 && day <= 7 && month >= 0 && month <= 12);
    return 0;
}
