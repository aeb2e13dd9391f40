#include "search/profile_catalog.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/ascii.h"
#include "platform/user_paths.h"
#include "search/builtin_profiles.h"

namespace corvane::search {

namespace {

namespace fs = std::filesystem;

// Far beyond any profile; keeps a wrong path (a disk image) from being read.
constexpr std::uintmax_t kLargestProfile = std::uintmax_t{1} << 20;

bool EndsWithIni(std::string_view text) {
    return text.size() >= 4 && base::EqualsIgnoringCase(text.substr(text.size() - 4), ".ini");
}

std::string Folder(const std::string& userFolder) {
    return userFolder.empty() ? UserProfileFolder() : userFolder;
}

const BuiltinProfileText* FindBuiltin(std::string_view name) {
    for (const BuiltinProfileText& p : BuiltinProfileTexts()) {
        if (p.Name == name)
            return &p;
    }
    return nullptr;
}

// The text of a profile file; ProfileError when it cannot be read.
std::string ReadProfileFile(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        throw ProfileError(path + ": no such profile file");
    if (!fs::is_regular_file(status))
        throw ProfileError(path + ": not a regular file");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kLargestProfile)
        throw ProfileError(path + ": too large for a profile file");
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open())
        throw ProfileError(path + ": cannot be read");
    return text;
}

// The user's profile files: NAME -> path.
std::vector<std::pair<std::string, std::string>> UserFiles(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string file = path.filename().string();
        std::error_code typeError;
        if (file.empty() || file[0] == '.' || !EndsWithIni(file) || !it->is_regular_file(typeError))
            continue;
        files.emplace_back(file.substr(0, file.size() - 4), path.string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string UserProfileFolder() {
    return platform::ConfigHome() + "/corvane/profiles";
}

std::vector<ProfileEntry> ListProfiles(const std::string& userFolder) {
    std::vector<ProfileEntry> entries;
    const auto user = UserFiles(Folder(userFolder));
    for (const BuiltinProfileText& p : BuiltinProfileTexts()) {
        const std::string name(p.Name);
        const bool overridden =
            std::any_of(user.begin(), user.end(), [&](const auto& u) { return u.first == name; });
        if (!overridden)
            entries.push_back({name,
                               ParseProfile(std::string(p.Text), "built-in", name).Description,
                               "built-in", false});
    }
    for (const auto& [name, path] : user) {
        ProfileEntry entry{name, std::string(), path, FindBuiltin(name) != nullptr};
        try {
            entry.Description = ParseProfile(ReadProfileFile(path), path, name).Description;
        } catch (const ProfileError& e) {
            entry.Description = e.what();
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const ProfileEntry& a, const ProfileEntry& b) { return a.Name < b.Name; });
    return entries;
}

SearchProfile LoadProfile(const std::string& nameOrFile, const std::string& userFolder) {
    if (nameOrFile.find('/') != std::string::npos || EndsWithIni(nameOrFile)) {
        std::string name = fs::path(nameOrFile).filename().string();
        if (EndsWithIni(name))
            name.resize(name.size() - 4);
        return ParseProfile(ReadProfileFile(nameOrFile), nameOrFile, name);
    }
    const std::string userFile = Folder(userFolder) + "/" + nameOrFile + ".ini";
    std::error_code ec;
    if (!nameOrFile.empty() && fs::exists(userFile, ec))
        return ParseProfile(ReadProfileFile(userFile), userFile, nameOrFile);
    if (const BuiltinProfileText* builtin = FindBuiltin(nameOrFile))
        return ParseProfile(std::string(builtin->Text), "built-in", nameOrFile);
    std::string known;
    for (const ProfileEntry& e : ListProfiles(userFolder))
        known += (known.empty() ? "" : ", ") + e.Name;
    throw ProfileError("no profile named " + nameOrFile + " (there are " + known + ")");
}

}  // namespace corvane::search
