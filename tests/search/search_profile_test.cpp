// Profile files: what a faulty one is told (file and line), and what the
// built-in ones and their requests look like.
#include "search/search_profile.h"

#include <gtest/gtest.h>

#include "search/profile_catalog.h"
#include "search/search_request.h"

namespace corvane::search {
namespace {

// No user folder: only the built-in profiles.
SearchProfile BuiltIn(const std::string& name) {
    return LoadProfile(name, "/nonexistent/corvane-profiles");
}

std::string ParseError(const std::string& text) {
    try {
        ParseProfile(text, "my.ini", "my");
    } catch (const ProfileError& e) {
        return e.what();
    }
    return "(parsed)";
}

const std::string kGood =
    "[request]\n"
    "url = https://s.test/?q={query}\n"
    "[answer]\n"
    "results = //a/@href\n";

TEST(ProfileParse, AFaultNamesTheFileAndLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {kGood + "kind = xml\n", "my.ini:5: unknown answer kind \"xml\" (html or json)"},
        {"[request]\nurl = x\n[answer]\n\nresults = //div[\n",
         "my.ini:5: XPath does not compile: "},
        {kGood + "[captures]\ntok = //input[@name=\n", "my.ini:6: XPath does not compile: "},
        {kGood + "block-xpath = //form[@id=]\n", "my.ini:5: XPath does not compile: "},
        {"[request]\nurl = x\npage-limit = ten\n[answer]\nresults = //a\n",
         "my.ini:3: page-limit \"ten\" is not a whole number"},
        {"[request]\nurl = x\npage-limit = 0\n[answer]\nresults = //a\n",
         "my.ini:3: page-limit \"0\" is not within 1 to 100"},
        {"[request]\nurl = {base}/?q={qeury}\n[answer]\nresults = //a\n",
         "my.ini:2: unknown placeholder {qeury} in url"},
        {"[request]\nurl = x?p={page\n[answer]\nresults = //a\n", "my.ini:2: a \"{\" without"},
        {"[request]\nfirst-url = x?t={tok}\nurl = x?t={tok}\n[answer]\nresults = //a\n"
         "[captures]\ntok = //i/@v\n",
         "my.ini:2: {tok} in first-url: page 1 has no page before it"},
        {"[request]\nurl = x\n[answer]\nreults = //a\n",
         "my.ini:4: unknown key \"reults\" in [answer]"},
        {"[request]\nurl = x\nurl = y\n", "my.ini:3: \"url\" appears twice in [request]"},
        {"[request]\nurl = x\n[Request]\n", "my.ini:3: section [Request] appears twice"},
        {"[reqest]\n", "my.ini:1: unknown section [reqest]"},
        {"url = x\n", "my.ini:1: \"url = x\" comes before the first section"},
        {"[request]\nurl x\n", "my.ini:2: \"url x\" is not a key line"},
        {"[request]\nurl = x\nbody = q={query}\n[answer]\nresults = //a\n",
         "my.ini:3: body needs method = POST"},
        {"[request]\nurl = x\nmethod = PUT\n", "my.ini:3: unknown method \"PUT\""},
        {"[profile]\nkind = modern\n", "my.ini:2: unknown profile kind \"modern\""},
        {"[request]\nurl = x\n[headers]\nHost = a\n[answer]\nresults = //a\n",
         "my.ini:4: the fetch writes Host itself"},
        {"[request]\nurl = x\n[answer]\nkind = json\nresults = results[0].url\n",
         "my.ini:5: not a JSON path: \"results[0]\": only \"[]\" may follow a name"},
        {"[request]\nurl = x\n[answer]\nkind = json\nresults = a..b\n",
         "my.ini:5: not a JSON path: an empty name"},
        {"[request]\nurl = x\n[answer]\nkind = json\nresults = a\nblock-xpath = //f\n",
         "my.ini:6: block-xpath needs kind = html"},
        {"[request]\nurl = x\n[answer]\nskip-relative = maybe\nresults = //a\n",
         "my.ini:4: skip-relative \"maybe\" is not yes or no"},
        // Required keys: an empty value names its line, a missing one the
        // section's, and without the section no line at all.
        {"[request]\nurl =\n[answer]\nresults = //a\n", "my.ini:2: url is empty"},
        {"[request]\nmethod = GET\n[answer]\nresults = //a\n", "my.ini:1: [request] needs url"},
        {"[request]\nurl = x\n", "my.ini: a web profile needs [answer] with results"},
    };
    for (const auto& c : cases) {
        const std::string message = ParseError(c.text);
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << c.text << "\ngave: " << message;
    }
}

TEST(ProfileParse, LinesAreCountedAsTheReaderEndsThem) {
    // A byte-order mark, CR LF, a lone CR, comments and blank lines.
    const std::string text =
        "\xEF\xBB\xBF; a comment\r\n[request]\r\nurl = x\r\r\n[answer]\rresults = //a[\n";
    EXPECT_EQ(ParseError(text).rfind("my.ini:6: XPath does not compile", 0), 0u)
        << ParseError(text);
}

TEST(ProfileParse, TheXPathMessageSaysWhereItStopped) {
    const std::string message = ParseError("[request]\nurl = x\n[answer]\nresults = //a[@href=\n");
    EXPECT_NE(message.find("at column"), std::string::npos) << message;
    EXPECT_NE(message.find("\"//a[@href=\""), std::string::npos) << message;
}

TEST(ProfileParse, ValuesAndDefaults) {
    const SearchProfile p = ParseProfile(
        "[profile]\ndescription = \"a test source\"\n"
        "[request]\nmethod = post\nbase = https://s.test///\nurl = {base}/x\n"
        "body = q={query}&t={Tok}\noffset-start = -5\noffset-step = 15\n"
        "[headers]\nX-One = 1\nReferer = {base}/\n"
        "[answer]\nresults = //a/@href\nunwrap-start = /RU=\nunwrap-end =  /RK=   /RS= \n"
        "skip = https://ads.test/ //ads2.test/\nskip-relative = yes\n"
        "[captures]\ntok = //input/@value\n",
        "/home/u/t.ini", "t");
    EXPECT_EQ(p.Name, "t");
    EXPECT_EQ(p.Source, "/home/u/t.ini");
    EXPECT_EQ(p.Description, "a test source");
    EXPECT_EQ(p.Method, "POST");
    EXPECT_EQ(p.Base, "https://s.test");
    EXPECT_EQ(p.OffsetStart, -5);
    EXPECT_EQ(p.OffsetStep, 15);
    EXPECT_EQ(p.PageSize, 10);
    EXPECT_EQ(p.PageLimit, 10);
    EXPECT_EQ(p.Headers, (std::vector<std::pair<std::string, std::string>>{
                             {"X-One", "1"}, {"Referer", "{base}/"}}));
    EXPECT_EQ(p.UnwrapEnds, (std::vector<std::string>{"/RK=", "/RS="}));
    EXPECT_EQ(p.SkipPrefixes, (std::vector<std::string>{"https://ads.test/", "//ads2.test/"}));
    EXPECT_TRUE(p.SkipRelative);
    ASSERT_EQ(p.Captures.size(), 1u);
    EXPECT_EQ(p.Captures[0].first, "tok");

    const SearchProfile classic = ParseProfile("[profile]\nkind = Classic\n", "c.ini", "c");
    EXPECT_EQ(classic.Kind, ProfileKind::Classic);
}

TEST(ProfileRequest, DuckDuckGoPostsAFormAndCarriesVqd) {
    const SearchProfile p = BuiltIn("duckduckgo");
    const SearchRequest first = BuildSearchRequest(p, "garden tools", 1);
    EXPECT_EQ(first.Method, "POST");
    EXPECT_EQ(first.Url, "https://html.duckduckgo.com/html/");
    EXPECT_EQ(first.Body, "q=garden+tools&b=&kl=wt-wt");
    EXPECT_EQ(first.ContentType, "application/x-www-form-urlencoded");
    const std::vector<std::pair<std::string, std::string>> headers = {
        {"Referer", "https://html.duckduckgo.com/"},
        {"Sec-Fetch-Dest", "document"},
        {"Sec-Fetch-Mode", "navigate"},
        {"Sec-Fetch-Site", "same-origin"},
        {"Sec-Fetch-User", "?1"}};
    EXPECT_EQ(first.Headers, headers);

    EXPECT_EQ(MissingCaptures(p, 1, {}), std::vector<std::string>{});
    EXPECT_EQ(MissingCaptures(p, 2, {}), std::vector<std::string>{"vqd"});
    const std::map<std::string, std::string> captures = {{"vqd", "4-1234"}};
    EXPECT_TRUE(MissingCaptures(p, 2, captures).empty());
    EXPECT_EQ(BuildSearchRequest(p, "garden tools", 2, captures).Body,
              "q=garden+tools&vqd=4-1234&nextParams=&api=d.js&o=json&v=l&s=10&dc=11");
    EXPECT_EQ(BuildSearchRequest(p, "garden tools", 3, captures).Body,
              "q=garden+tools&vqd=4-1234&nextParams=&api=d.js&o=json&v=l&s=25&dc=26");
}

TEST(ProfileRequest, PagesOfTheGetProfiles) {
    const SearchProfile mojeek = BuiltIn("mojeek");
    EXPECT_EQ(BuildSearchRequest(mojeek, "a b", 1).Url, "https://www.mojeek.com/search?q=a%20b");
    EXPECT_EQ(BuildSearchRequest(mojeek, "a b", 2).Url,
              "https://www.mojeek.com/search?q=a%20b&s=10");
    EXPECT_EQ(BuildSearchRequest(mojeek, "a b", 3).Url,
              "https://www.mojeek.com/search?q=a%20b&s=20");
    EXPECT_EQ(mojeek.PageLimit, 10);
    EXPECT_TRUE(BuildSearchRequest(mojeek, "a b", 2).Body.empty());

    const SearchProfile yahoo = BuiltIn("yahoo");
    EXPECT_EQ(BuildSearchRequest(yahoo, "k", 1).Url, "https://search.yahoo.com/search?p=k&iscqry=");
    EXPECT_EQ(BuildSearchRequest(yahoo, "k", 2).Url,
              "https://search.yahoo.com/search?p=k&b=8&pz=7&bct=0&xargs=0");
    EXPECT_EQ(BuildSearchRequest(yahoo, "k", 3).Url,
              "https://search.yahoo.com/search?p=k&b=15&pz=7&bct=0&xargs=0");
    EXPECT_EQ(yahoo.PageSize, 7);
    EXPECT_EQ(BuildSearchRequest(yahoo, "k", 1).Headers,
              (std::vector<std::pair<std::string, std::string>>{
                  {"Cookie", "sB=v=1&vm=p&fl=1&vl=lang_en&pn=10&rw=new&userset=1"}}));

    const SearchProfile brave = BuiltIn("brave");
    EXPECT_EQ(BuildSearchRequest(brave, "k", 1).Url,
              "https://search.brave.com/search?q=k&source=web&offset=0");
    EXPECT_EQ(BuildSearchRequest(brave, "k", 4).Url,
              "https://search.brave.com/search?q=k&source=web&offset=3");
}

TEST(ProfileRequest, SearxngNeedsTheAddressOfAnInstance) {
    const SearchProfile p = BuiltIn("searxng");
    EXPECT_TRUE(p.BaseRequired);
    try {
        BuildSearchRequest(p, "k", 1);
        FAIL() << "no error without a base";
    } catch (const ProfileError& e) {
        EXPECT_NE(std::string(e.what()).find("--searxng URL"), std::string::npos) << e.what();
    }
    EXPECT_THROW(BuildSearchRequest(p, "k", 1, {}, "localhost:8080"), ProfileError);
    EXPECT_EQ(BuildSearchRequest(p, "garden tools", 2, {}, "http://127.0.0.1:8080/sx/").Url,
              "http://127.0.0.1:8080/sx/search?q=garden%20tools&format=json&pageno=2");
}

TEST(ProfileRequest, TheQueryIsPercentEncodedAsFormData) {
    const SearchProfile p = ParseProfile(
        "[request]\nmethod = POST\nurl = https://s.test/?q={query}\nbody = q={query}\n"
        "[headers]\nX-Q = {query}\n[answer]\nresults = //a\n",
        "t.ini", "t");
    const SearchRequest r = BuildSearchRequest(p, "\"a&b=c\" -site:ü/+~", 1);
    EXPECT_EQ(r.Url, "https://s.test/?q=%22a%26b%3Dc%22%20-site%3A%C3%BC%2F%2B~");
    EXPECT_EQ(r.Body, "q=%22a%26b%3Dc%22+-site%3A%C3%BC%2F%2B~");
    EXPECT_EQ(r.Headers[0].second, "%22a%26b%3Dc%22%20-site%3A%C3%BC%2F%2B~");
}

}  // namespace
}  // namespace corvane::search
