#include "search/json_path.h"

namespace corvane::search {

bool ParseJsonPath(std::string_view path, std::vector<JsonPathStep>& steps, std::string& problem) {
    steps.clear();
    if (path.empty()) {
        problem = "an empty path";
        return false;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t end = path.find('.', pos);
        std::string_view part = path.substr(pos, end == std::string_view::npos ? end : end - pos);
        JsonPathStep step;
        const std::size_t bracket = part.find('[');
        step.Name = std::string(part.substr(0, bracket));
        if (step.Name.find(']') != std::string::npos) {
            problem = "a \"]\" without \"[\" in \"" + std::string(part) + "\"";
            return false;
        }
        std::string_view arrays =
            bracket == std::string_view::npos ? std::string_view() : part.substr(bracket);
        while (!arrays.empty()) {
            if (arrays.substr(0, 2) != "[]") {
                problem = "\"" + std::string(part) + "\": only \"[]\" may follow a name";
                return false;
            }
            ++step.Arrays;
            arrays.remove_prefix(2);
        }
        if (step.Name.empty() && (step.Arrays == 0 || !steps.empty())) {
            problem = "an empty name in \"" + std::string(path) + "\"";
            return false;
        }
        steps.push_back(std::move(step));
        if (end == std::string_view::npos)
            return true;
        pos = end + 1;
    }
}

}  // namespace corvane::search
