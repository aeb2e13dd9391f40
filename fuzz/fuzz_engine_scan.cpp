// fuzz-libs: corvane_engine
// Feeds arbitrary bytes as every page of a survey: the results page and each
// figure page. The run must end, fill only complete rows, and never read
// outside a page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ascii.h"
#include "engine/site_figures.h"
#include "engine/survey_run.h"
#include "engine/text_ops.h"

namespace {

using namespace corvane::engine;

class FuzzHost : public SurveyHost {
  public:
    explicit FuzzHost(std::string page) : page_(std::move(page)) {}
    void ShowStatus(const std::string&) override {}
    void PumpMessages() override {}
    bool IsEscapeDown() override { return false; }
    std::string FetchPage(const std::string&, int) override {
        // Figure pages are the input too, but each row's fetches stay bounded.
        return ++fetches_ > 64 ? std::string() : page_;
    }
    ResultsTable& Table() override { return table_; }
    std::atomic<bool>& Stop() override { return stop_; }

  private:
    std::string page_;
    int fetches_ = 0;
    ResultsTable table_;
    std::atomic<bool> stop_{false};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string low = corvane::base::LowerAscii(input);
    (void)ScrapeInboundFigure(low);
    (void)CountAbsoluteAnchors(input);
    (void)ScrapeTrafficRank(low);
    std::int32_t v = 0;
    (void)TryFigureToInt(input, v);
    (void)StripTagMarks(input);
    (void)BareDomain(input);

    FuzzHost host(input);
    try {
        ParseResults(host, input, 0);
    } catch (const ConvertError&) {
        // a figure that is not a number ends the run after its row
    }
    const ResultsTable& t = host.Table();
    for (std::size_t i = 0; i < t.Count(); ++i) {
        if (t.Row(i).Cells.size() != 5)
            __builtin_trap();
    }
    return 0;
}
