// Reads arbitrary bytes as a profile file and as a survey file, checks the
// shape of what comes out, and that saving the table and reading it again
// gives the same table.
// fuzz-libs: corvane_engine corvane_platform
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/results_table.h"
#include "engine/survey_file.h"
#include "platform/profile_reader.h"

using namespace corvane;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Rows item0..item1943 are all that a list of section names of 16384 bytes
// holds when the sections are named as SaveSurvey names them.
constexpr std::size_t kSavedRowLimit = 1944;

bool ValueShape(const std::string& v) {
    return v.size() <= platform::kProfileValueLimit && v.find_first_of("\r\n") == std::string::npos;
}

// A file in memory, so that LoadSurvey's own reading is covered too.
int MemoryFile() {
    static const int fd = ::memfd_create("fuzz_survey_file", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    platform::ProfileFile profile;
    profile.Parse(text);
    const auto names = profile.SectionNames();
    std::size_t listed = 0;
    for (std::string_view name : names) {
        Check(!name.empty());
        listed += name.size() + 1;
        if (auto section = profile.FindSection(name)) {
            for (const char* key : {"url", "check", "", " ", "[", ";"}) {
                if (auto v = section->Value(key))
                    Check(ValueShape(*v));
            }
        }
    }
    Check(listed < platform::kSectionNamesBufferBytes);
    Check(names.size() <= profile.SectionCount());

    engine::ResultsTable table;
    engine::ReadSurvey(table, profile);
    Check(table.Count() == names.size());
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const engine::ResultRow& row = table.Row(i);
        Check(row.Cells.size() == static_cast<std::size_t>(engine::kCellCount));
        Check(ValueShape(row.Caption));
        for (const std::string& c : row.Cells)
            Check(ValueShape(c));
    }

    // What SaveSurvey would write reads back as the same table.
    platform::ProfileFile again;
    again.Parse(engine::FormatSurvey(table));
    engine::ResultsTable reread;
    engine::ReadSurvey(reread, again);
    Check(reread.Count() == std::min(table.Count(), kSavedRowLimit));
    for (std::size_t i = 0; i < reread.Count(); ++i) {
        const engine::ResultRow& a = table.Row(i);
        const engine::ResultRow& b = reread.Row(i);
        Check(a.Caption == b.Caption && a.Cells == b.Cells && a.Checked == b.Checked);
    }

    // The same bytes through LoadSurvey agree with the in-memory read.
    const int fd = MemoryFile();
    if (fd >= 0 && ::ftruncate(fd, 0) == 0 &&
        ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
        engine::ResultsTable loaded;
        Check(engine::LoadSurvey(loaded, "/proc/self/fd/" + std::to_string(fd)));
        Check(loaded.Count() == table.Count());
        for (std::size_t i = 0; i < loaded.Count(); ++i) {
            Check(loaded.Row(i).Caption == table.Row(i).Caption &&
                  loaded.Row(i).Cells == table.Row(i).Cells &&
                  loaded.Row(i).Checked == table.Row(i).Checked);
        }
    }
    return 0;
}
