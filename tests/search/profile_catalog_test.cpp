// The profiles a user can choose: built-in ones, the user's own files and
// the user's corrections of built-in ones.
#include "search/profile_catalog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace corvane::search {
namespace {

class ProfileCatalog : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-profiles-test-XXXXXX";
        folder_ = mkdtemp(tmpl);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& file, const std::string& text) {
        const std::string path = folder_ + "/" + file;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::string folder_;
};

const std::string kMine =
    "[profile]\ndescription = my corrected mojeek\n"
    "[request]\nurl = https://www.mojeek.com/search?q={query}\n"
    "[answer]\nresults = //ol[@class=\"new-results\"]/li/a/@href\n";

TEST_F(ProfileCatalog, BuiltInProfilesAreListedAndAllParse) {
    const std::vector<ProfileEntry> entries = ListProfiles(folder_);
    std::vector<std::string> names;
    for (const ProfileEntry& e : entries) {
        names.push_back(e.Name);
        EXPECT_EQ(e.Source, "built-in");
        EXPECT_FALSE(e.Overrides);
        EXPECT_FALSE(e.Description.empty()) << e.Name;
        EXPECT_NO_THROW(LoadProfile(e.Name, folder_)) << e.Name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"brave", "classic", "duckduckgo", "mojeek",
                                               "searxng", "yahoo"}));
    EXPECT_EQ(LoadProfile("classic", folder_).Kind, ProfileKind::Classic);
    EXPECT_EQ(LoadProfile("yahoo", folder_).Source, "built-in");
}

TEST_F(ProfileCatalog, AUserFileOverridesABuiltInOneAndAddsItsOwn) {
    const std::string mine = Write("mojeek.ini", kMine);
    const std::string extra = Write("local.ini", kMine);
    const std::string broken =
        Write("broken.ini", "[request]\nurl = x\n[answer]\nresults = //a[\n");
    Write("notes.txt", "not a profile");
    Write(".hidden.ini", kMine);

    const std::vector<ProfileEntry> entries = ListProfiles(folder_);
    std::vector<std::string> names;
    for (const ProfileEntry& e : entries) {
        names.push_back(e.Name);
        if (e.Name == "mojeek") {
            EXPECT_EQ(e.Source, mine);
            EXPECT_TRUE(e.Overrides);
            EXPECT_EQ(e.Description, "my corrected mojeek");
        } else if (e.Name == "local") {
            EXPECT_EQ(e.Source, extra);
            EXPECT_FALSE(e.Overrides);
        } else if (e.Name == "broken") {
            EXPECT_EQ(e.Description.rfind(broken + ":4: XPath does not compile", 0), 0u)
                << e.Description;
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"brave", "broken", "classic", "duckduckgo", "local",
                                               "mojeek", "searxng", "yahoo"}));

    const SearchProfile p = LoadProfile("mojeek", folder_);
    EXPECT_EQ(p.Source, mine);
    EXPECT_EQ(p.Results, "//ol[@class=\"new-results\"]/li/a/@href");
    EXPECT_EQ(LoadProfile("duckduckgo", folder_).Source, "built-in");
    EXPECT_THROW(LoadProfile("broken", folder_), ProfileError);
}

TEST_F(ProfileCatalog, APathIsReadAsAFile) {
    const std::string path = Write("elsewhere.ini", kMine);
    const SearchProfile p = LoadProfile(path, "/nonexistent");
    EXPECT_EQ(p.Name, "elsewhere");
    EXPECT_EQ(p.Source, path);
    try {
        LoadProfile(folder_ + "/missing.ini", folder_);
        FAIL();
    } catch (const ProfileError& e) {
        EXPECT_EQ(std::string(e.what()), folder_ + "/missing.ini: no such profile file");
    }
    EXPECT_THROW(LoadProfile(folder_ + "/", folder_), ProfileError);  // a folder
    try {
        LoadProfile("bingo", folder_);
        FAIL();
    } catch (const ProfileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("no profile named bingo (there are brave, ", 0), 0u)
            << e.what();
    }
}

}  // namespace
}  // namespace corvane::search
