#include "cli/profiles_command.h"

#include <algorithm>
#include <ostream>

#include "cli/table_output.h"
#include "frontend/settings.h"
#include "search/profile_catalog.h"

namespace corvane::cli {

int ProfilesCommand(const std::vector<std::string>& args, std::ostream& out) {
    if (!args.empty())
        throw frontend::UsageError("profiles: unknown argument '" + args[0] + "'");
    struct Line {
        std::string name, source, description;
    };
    std::vector<Line> lines;
    std::size_t nameWidth = 0, sourceWidth = 0;
    for (const search::ProfileEntry& e : search::ListProfiles()) {
        Line line{Printable(e.Name),
                  Printable(e.Source) + (e.Overrides ? " (overrides built-in)" : ""),
                  Printable(e.Description)};
        nameWidth = std::max(nameWidth, line.name.size());
        sourceWidth = std::max(sourceWidth, line.source.size());
        lines.push_back(std::move(line));
    }
    for (const Line& line : lines) {
        out << line.name << std::string(nameWidth - line.name.size() + 2, ' ') << line.source
            << std::string(sourceWidth - line.source.size() + 2, ' ') << line.description << '\n';
    }
    out.flush();
    return 0;
}

}  // namespace corvane::cli
