#include "platform/profile_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace corvane::platform {
namespace {

std::optional<std::string> Read(const std::string& text, std::string_view section,
                                std::string_view key) {
    ProfileFile p;
    p.Parse(text);
    return p.ReadValue(section, key);
}

std::vector<std::string> Names(const std::string& text,
                               std::size_t bytes = kSectionNamesBufferBytes) {
    ProfileFile p;
    p.Parse(text);
    std::vector<std::string> out;
    for (std::string_view n : p.SectionNames(bytes))
        out.emplace_back(n);
    return out;
}

using Strings = std::vector<std::string>;

TEST(ProfileReader, NamesIgnoreAsciiCaseAndSurroundingBlanks) {
    const std::string text = "[Item0]\nURL = example.com \n\t rank\t=\t3\t\n";
    EXPECT_EQ(Read(text, "item0", "url"), "example.com");
    EXPECT_EQ(Read(text, "ITEM0", "Url"), "example.com");
    EXPECT_EQ(Read(text, " item0 ", " rank "), "3");
    EXPECT_EQ(Read("[ spaced name ]\nk=v\n", "spaced name", "k"), "v");
    EXPECT_EQ(Read(text, "item1", "url"), std::nullopt);
    EXPECT_EQ(Read(text, "item0", "in"), std::nullopt);
    // Only ASCII letters fold.
    EXPECT_EQ(Read("[\xC9]\nk=v\n", "\xE9", "k"), std::nullopt);
}

TEST(ProfileReader, ValuesQuotesAndTheLengthLimit) {
    auto value = [](const std::string& line) { return Read("[s]\n" + line + "\n", "s", "k"); };
    EXPECT_EQ(value("k="), "");
    EXPECT_EQ(value("k=\"\""), "");
    EXPECT_EQ(value("k=\"  padded  \""), "  padded  ");
    EXPECT_EQ(value("k='single'"), "single");
    EXPECT_EQ(value("k=\"\"twice\"\""), "\"twice\"");  // one pair only
    EXPECT_EQ(value("k=\"open"), "\"open");
    EXPECT_EQ(value("k=\"mixed'"), "\"mixed'");
    EXPECT_EQ(value("k=\""), "\"");
    EXPECT_EQ(value("k=a=b ; not a comment"), "a=b ; not a comment");
    EXPECT_EQ(value("k=in  between"), "in  between");
    EXPECT_EQ(value(std::string("k=\"a\0b\"", 7)), std::string("a\0b", 3));

    const std::string longText(10000, 'x');
    EXPECT_EQ(value("k=" + longText)->size(), kProfileValueLimit);
    // The quotes go first, then the cut: 2047 bytes inside quotes read whole.
    const std::string exact(kProfileValueLimit, 'y');
    EXPECT_EQ(value("k=\"" + exact + "\""), exact);
    EXPECT_EQ(value("k=\"" + exact + "z\""), exact);
    ProfileFile p;
    p.Parse("[s]\nk=abcdef\n");
    EXPECT_EQ(p.ReadValue("s", "k", 3), "abc");
    EXPECT_EQ(p.ReadString("s", "missing", "fallback"), "fallback");
}

TEST(ProfileReader, DuplicatesLinesWithoutEqualsAndComments) {
    const std::string text =
        "[a]\nk=first\nk=second\n"
        "[A]\nk=later\nonly=in-second\n"
        "[b]\nk\nk=shadowed\n"
        "[c]\n;k=comment\n  ; k=indented comment\n#k=hash\nk=real\n"
        "[d]\n[e\nk=after-bad-header\n";
    EXPECT_EQ(Read(text, "a", "k"), "first");
    EXPECT_EQ(Read(text, "a", "only"), std::nullopt);  // only the first [a] is read
    EXPECT_EQ(Read(text, "b", "k"), std::nullopt);     // its first "k" line has no "="
    EXPECT_EQ(Read(text, "c", "k"), "real");
    EXPECT_EQ(Read(text, "c", "#k"), "hash");
    // "[e" has no "]": not a header, so its key belongs to [d].
    EXPECT_EQ(Read(text, "d", "k"), "after-bad-header");
    EXPECT_EQ(Read(text, "e", "k"), std::nullopt);
    EXPECT_EQ(Names(text), (Strings{"a", "A", "b", "c", "d"}));
}

TEST(ProfileReader, LineEndsByteOrderMarkAndHeaderShapes) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        const std::string text = std::string("[s]") + eol + "k=v" + eol + "[t]" + eol + "k=w";
        EXPECT_EQ(Read(text, "s", "k"), "v") << "line end " << static_cast<int>(eol[0]);
        EXPECT_EQ(Read(text, "t", "k"), "w") << "no final line end";
    }
    EXPECT_EQ(Read("[s]\r\r\n\n\nk=v\r\n", "s", "k"), "v");
    EXPECT_EQ(Read("\xEF\xBB\xBF[s]\nk=v\n", "s", "k"), "v");
    EXPECT_EQ(Names("\xEF\xBB\xBF[s]\n"), (Strings{"s"}));
    EXPECT_EQ(Names("\n\xEF\xBB\xBF[s]\n"), Strings{});  // only at the very start
    // Keys before the first header belong to no section.
    EXPECT_EQ(Read("k=v\n[s]\n", "s", "k"), std::nullopt);
    EXPECT_EQ(Read("k=v\n[s]\n", "", "k"), std::nullopt);
    // The name runs to the last "]"; text after it is ignored.
    EXPECT_EQ(Names("[a]]\n[b] trailing\n  [c]  \n"), (Strings{"a]", "b", "c"}));
    // An empty name is not listed, but ends the section before it.
    EXPECT_EQ(Names("[a]\n[]\nk=v\n[ ]\n"), (Strings{"a"}));
    EXPECT_EQ(Read("[a]\n[]\nk=v\n", "a", "k"), std::nullopt);
}

TEST(ProfileReader, SectionNameListFitsItsBuffer) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "[item" + std::to_string(i) + "]\n";
    // 10*6 + 90*7 + 900*8 bytes for item0..item999, then 943 names of 9
    // bytes fill 16383 bytes but 6; the next name is cut to "item1".
    const Strings names = Names(text);
    ASSERT_EQ(names.size(), 1944u);
    EXPECT_EQ(names[1942], "item1942");
    EXPECT_EQ(names[1943], "item1");

    EXPECT_EQ(Names("[abc]\n[de]\n", 0), Strings{});
    EXPECT_EQ(Names("[abc]\n[de]\n", 1), Strings{});
    EXPECT_EQ(Names("[abc]\n[de]\n", 2), Strings{});
    EXPECT_EQ(Names("[abc]\n[de]\n", 3), (Strings{"a"}));
    EXPECT_EQ(Names("[abc]\n[de]\n", 5), (Strings{"abc"}));
    EXPECT_EQ(Names("[abc]\n[de]\n", 7), (Strings{"abc", "d"}));
    EXPECT_EQ(Names("[abc]\n[de]\n", 8), (Strings{"abc", "de"}));
    EXPECT_EQ(Names("[abc]\n[de]\n", 9), (Strings{"abc", "de"}));
    // A zero byte ends a listed name; one at the start leaves it empty.
    EXPECT_EQ(Names(std::string("[a\0b]\n[\0c]\n[d]\n", 15)), (Strings{"a", "d"}));
    // Empty names take no room, however many there are.
    std::string empties;
    for (int i = 0; i < 20000; ++i)
        empties += "[]\n[ ]\n";
    EXPECT_EQ(Names(empties + "[last]\n"), (Strings{"last"}));
}

TEST(ProfileReader, GarbageAndManySections) {
    std::string garbage;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>(x >> 24);
    }
    ProfileFile p;
    p.Parse(garbage);
    for (std::string_view name : p.SectionNames()) {
        (void)p.ReadValue(name, "k");
    }

    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    p.Parse(many);
    EXPECT_EQ(p.SectionCount(), 100000u);
    EXPECT_EQ(p.ReadValue("S99999", "K"), "99999");
    EXPECT_EQ(p.ReadValue("s0", "k"), "0");
    EXPECT_EQ(p.ReadValue("s100000", "k"), std::nullopt);
}

class ProfileFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-profile-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

TEST_F(ProfileFileOnDisk, LoadReadsWhatParseReadsAndRefusesOtherKinds) {
    const std::string file = dir + "/a.ini";
    std::ofstream(file, std::ios::binary) << "[S]\r\nK=\"v\"\r\n";
    ProfileFile p;
    std::error_code error = std::make_error_code(std::errc::io_error);
    ASSERT_TRUE(p.Load(file, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(p.ReadValue("s", "k"), "v");

    EXPECT_FALSE(p.Load(dir + "/missing.ini", &error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(p.SectionCount(), 0u);  // the earlier file is gone
    EXPECT_FALSE(p.Load(dir, &error));
    EXPECT_EQ(error, std::errc::is_a_directory);

    // A pipe with no writer neither blocks nor reads as a file.
    const std::string fifo = dir + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(p.Load(fifo, &error));
    EXPECT_FALSE(p.Load("/dev/zero", &error));

    std::ofstream(dir + "/empty.ini", std::ios::binary).flush();
    EXPECT_TRUE(p.Load(dir + "/empty.ini"));
    EXPECT_EQ(p.SectionCount(), 0u);
}

}  // namespace
}  // namespace corvane::platform
