// The profiles a user can choose: the built-in ones, shipped with the
// program, and the user's own in $XDG_CONFIG_HOME/corvane/profiles/NAME.ini,
// which override a built-in one of the same name.
#pragma once

#include <string>
#include <vector>

#include "search/search_profile.h"

namespace corvane::search {

// $XDG_CONFIG_HOME/corvane/profiles
std::string UserProfileFolder();

struct ProfileEntry {
    std::string Name;
    std::string Description;
    std::string Source;      // the user's file, or "built-in"
    bool Overrides = false;  // a user's file in place of a built-in profile
};

// Every profile, sorted by name; `userFolder` empty: UserProfileFolder().
// A user's file that does not parse is listed with its error as description.
std::vector<ProfileEntry> ListProfiles(const std::string& userFolder = {});

// A profile by name (the user's file first, then the built-in one) or, when
// the text holds a "/" or ends in ".ini", from that file. Throws
// ProfileError naming the file and line, or "no profile named NAME".
SearchProfile LoadProfile(const std::string& nameOrFile, const std::string& userFolder = {});

}  // namespace corvane::search
