// corvane-cli fetch against real peers on loopback: what reaches stdout or
// the output file, the one stderr line and the exit code of every outcome,
// Ctrl-C, https, and the same bytes as curl for the same URL and options.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>
#include <thread>

#include "tests/cli/cli_runner.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_pki.h"
#include "tests/support/tls_servers.h"
#include "tests/support/web_servers.h"

namespace {

using corvane::testing::ChildOptions;
using corvane::testing::ChildProcess;
using corvane::testing::NginxServer;
using corvane::testing::NginxTlsServer;
using corvane::testing::PeerScript;
using corvane::testing::ProgramResult;
using corvane::testing::RefusingPort;
using corvane::testing::RunProgram;
using corvane::testing::ScriptedPeer;
using corvane::testing::TestCert;
using corvane::testing::TestPki;
using namespace corvane::testing::cli;

const std::string kCurl = "/usr/bin/curl";

// Exactly one line on stderr, "corvane-cli: " and a cause.
::testing::AssertionResult OneCauseLine(const ProgramResult& r) {
    const auto lines = Lines(r.err);
    if (lines.size() == 1 && std::regex_match(lines[0], std::regex("corvane-cli: \\S.*")))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "stderr: [" << r.err << "]";
}

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(peer.Port()) + path;
}

TEST(CliFetchFailure, EachFailureIsOneLineAndExitOne) {
    {
        RefusingPort refusing;
        const auto r = Cli({"fetch", "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "corvane-cli: Socket Error # 10061: Connection refused.\n");
    }
    {
        // Headers and part of the body, then silence: the deadline ends the
        // fetch long before the peer would, and the part is still written.
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
        ScriptedPeer peer(
            PeerScript().ReadUntil("\r\n\r\n").Send(head + "first bytes").Pause(8000));
        const auto start = std::chrono::steady_clock::now();
        const auto r = Cli({"fetch", "-m", "0.5", Url(peer)});
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "first bytes");
        EXPECT_TRUE(OneCauseLine(r));
        EXPECT_LT(took, std::chrono::seconds(6));
    }
    {
        // A peer that never answers at all.
        ScriptedPeer peer(PeerScript().ReadUntil("\r\n\r\n").Pause(8000));
        const auto r = Cli({"fetch", "--max-time", "0.3", Url(peer)});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(OneCauseLine(r));
    }
}

TEST(CliFetchFailure, BadArgumentsExitTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"fetch", "-m", "soon", "http://a/"},
          {"fetch", "-m", "-1", "http://a/"},
          {"fetch", "--max-time", "1e3", "http://a/"},
          {"fetch", "--max-filesize", "12Q", "http://a/"},
          {"fetch", "-o"},
          {"fetch", "--cacert", "/no/such/file.pem", "http://a/"},
          {"fetch", "-A", "two\nlines", "http://a/"},
          {"fetch", "-X", "PUT", "http://a/"},
          {"fetch", "-X", "HEAD", "http://a/"},
          {"fetch", "-X", "GET", "-d", "a=1", "http://a/"},
          {"fetch", "-H", "no colon", "http://a/"},
          {"fetch", "-H", ": empty name", "http://a/"},
          {"fetch", "-H", "Bad Name: v", "http://a/"},
          {"fetch", "-H", "X-Split: a\r\nInjected: 1", "http://a/"},
          {"fetch", "--header", "Host: elsewhere.example", "http://a/"},
          {"fetch", "-H", "content-length: 3", "http://a/"},
          {"fetch", "--frobnicate", "http://a/"}}) {
        const auto r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << args[1];
        EXPECT_TRUE(OneCauseLine(r)) << args[1];
    }
}

TEST(CliFetchStatus, ErrorStatusIsToldAndFailDropsTheBody) {
    NginxServer web;
    const std::string url = web.Url("/no/such/page");
    const auto plain = Cli({"fetch", url});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_NE(plain.out.find("404"), std::string::npos);
    EXPECT_EQ(plain.err, "corvane-cli: HTTP 404 Not Found\n");

    TempDir dir;
    const auto failed = Cli({"fetch", "-f", "-o", dir / "page", url});
    EXPECT_EQ(failed.exitCode, 22);
    EXPECT_EQ(failed.err, "corvane-cli: HTTP 404 Not Found\n");
    struct stat st {};
    EXPECT_NE(::stat((dir / "page").c_str(), &st), 0) << "no output file for a failed status";
    const auto failedToStdout = Cli({"fetch", "--fail", url});
    EXPECT_EQ(failedToStdout.exitCode, 22);
    EXPECT_TRUE(failedToStdout.out.empty());
}

TEST(CliFetchOutput, OutputFileIncludeAndBodiesPastTheDefaultCap) {
    NginxServer web;
    const std::string small = Pattern(100000);
    web.AddFile("small.bin", small);
    web.AddFile("empty.txt", "");
    TempDir dir;

    const auto toFile = Cli({"fetch", "-o", dir / "small", web.Url("/small.bin")});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    EXPECT_EQ(ReadAll(dir / "small"), small);
    // An empty body still makes the file; an earlier file is replaced.
    const auto empty = Cli({"fetch", "--output", dir / "small", web.Url("/empty.txt")});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(ReadAll(dir / "small"), "");

    const auto included = Cli({"fetch", "-i", web.Url("/small.bin")});
    EXPECT_EQ(included.exitCode, 0) << included.err;
    const auto blank = included.out.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(included.out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << included.out.substr(0, 40);
    EXPECT_NE(included.out.substr(0, blank).find("\r\nContent-Length: 100000"), std::string::npos);
    EXPECT_EQ(included.out.substr(blank + 4), small);

    // Past the page fetch's 64 MiB cap the body still streams whole...
    const std::string big = Pattern((std::size_t{64} << 20) + 12345);
    web.AddFile("big.bin", big);
    const auto whole = Cli({"fetch", "-o", dir / "big", web.Url("/big.bin")});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_TRUE(ReadAll(dir / "big") == big) << "the body differs";
    // ...unless a limit is asked for: then the fetch fails, keeping what fit.
    const auto limited = Cli({"fetch", "--max-filesize", "1K", web.Url("/small.bin")});
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_TRUE(OneCauseLine(limited));
    EXPECT_LE(limited.out.size(), 1024u);
    EXPECT_EQ(limited.out, small.substr(0, limited.out.size()));
}

TEST(CliFetchRequest, MethodDataAndHeadersAreSent) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nsent";
    ScriptedPeer peer(std::vector<PeerScript>{
        PeerScript().ReadUntil("\r\n\r\n").ReadBytes(12).Send(ok),
        PeerScript().ReadUntil("\r\n\r\n").Send(ok),
    });
    const auto post = Cli({"fetch", "-d", "q=tea", "--data", "page=2", "-H", "Cookie: id=42",
                           "--header", "User-Agent:   Probe/1  ", Url(peer, "/search")});
    EXPECT_EQ(post.exitCode, 0) << post.err;
    EXPECT_EQ(post.out, "sent");
    const std::string first = peer.Received(0);
    EXPECT_EQ(first.rfind("POST /search HTTP/1.1\r\n", 0), 0u) << first;
    EXPECT_NE(first.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_NE(first.find("\r\nCookie: id=42\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\r\nUser-Agent: Probe/1\r\n"), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.find("\r\n\r\n") + 4), "q=tea&page=2");

    const auto empty = Cli({"fetch", "-X", "POST", Url(peer)});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    const std::string second = peer.Received(1);
    EXPECT_EQ(second.rfind("POST / HTTP/1.1\r\n", 0), 0u) << second;
    EXPECT_NE(second.find("\r\nContent-Length: 0\r\n"), std::string::npos) << second;
}

TEST(CliFetchOutput, IncludeWithLocationWritesEveryHop) {
    ScriptedPeer peer(std::vector<PeerScript>{
        PeerScript()
            .ReadUntil("\r\n\r\n")
            .Send("HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 3\r\n\r\nold"),
        PeerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlast"),
    });
    const auto r = Cli({"fetch", "-L", "-i", Url(peer)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 3\r\n\r\n"
              "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlast");

    // Ended among the redirects: the hops seen are still written.
    ScriptedPeer endless(20, [](int) {
        return PeerScript()
            .ReadUntil("\r\n\r\n")
            .Send("HTTP/1.1 301 Moved\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n");
    });
    const auto looped = Cli({"fetch", "-L", "-i", Url(endless)});
    EXPECT_EQ(looped.exitCode, 1);
    EXPECT_TRUE(OneCauseLine(looped));
    std::size_t blocks = 0;
    for (std::size_t at = 0;
         (at = looped.out.find("HTTP/1.1 301 Moved\r\n", at)) != std::string::npos; ++at)
        ++blocks;
    EXPECT_EQ(blocks, 11u) << looped.out;
}

TEST(CliFetchOutput, AReaderThatLeavesEndsTheFetchQuietly) {
    NginxServer web;
    web.AddFile("big.bin", Pattern(16 << 20));
    const auto r = RunProgram("/bin/bash",
                              {"-c", "'" + kCli + "' fetch " + web.Url("/big.bin") +
                                         " | head -c1; echo \" exit ${PIPESTATUS[0]}\""},
                              CleanEnv());
    EXPECT_EQ(r.out, Pattern(1) + " exit 0\n");
    EXPECT_EQ(r.err, "");
}

TEST(CliFetchInterrupt, CtrlCEndsTheFetchAtOnce) {
    ScriptedPeer peer(PeerScript().ReadUntil("\r\n\r\n").Pause(15000));
    ChildProcess cli({kCli, "fetch", "-m", "0", Url(peer)}, ChildOptions::WithEnv(CleanEnv()));
    for (int i = 0; i < 500 && peer.Accepted() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(peer.Accepted(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the request is out
    cli.Signal(SIGINT);
    // Long before the peer's pause ends.
    EXPECT_EQ(cli.Wait(5000), std::optional<int>(130));
}

TEST(CliFetchHttps, CaFileInsecureAndCertificateFailures) {
    TestPki pki;
    NginxTlsServer web(pki);
    const std::string body = Pattern(300000);
    web.AddFile("page.bin", body);
    const std::string url = web.Url(TestCert::Valid, "/page.bin");

    const auto trusted = Cli({"fetch", "--cacert", pki.RootFile(), url});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_TRUE(trusted.out == body);
    const auto insecure = Cli({"fetch", "-k", web.Url(TestCert::SelfSigned, "/page.bin")});
    EXPECT_EQ(insecure.exitCode, 0) << insecure.err;
    EXPECT_TRUE(insecure.out == body);

    // Unknown issuer, expired, wrong name: one line naming the cause, no body.
    const auto untrusted = Cli({"fetch", url});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_TRUE(OneCauseLine(untrusted));
    EXPECT_TRUE(untrusted.out.empty());
    const auto expired =
        Cli({"fetch", "--cacert", pki.RootFile(), web.Url(TestCert::Expired, "/page.bin")});
    EXPECT_EQ(expired.exitCode, 1);
    EXPECT_TRUE(OneCauseLine(expired));
    EXPECT_NE(expired.err.find("expired"), std::string::npos) << expired.err;
    const auto wrongHost =
        Cli({"fetch", "--cacert", pki.RootFile(), web.Url(TestCert::WrongHost, "/page.bin")});
    EXPECT_EQ(wrongHost.exitCode, 1);
    EXPECT_TRUE(OneCauseLine(wrongHost));
}

// The same bytes on stdout as curl for the same URL and options.
TEST(CliFetchLikeCurl, SameBytesAsCurl) {
    NginxServer web;
    web.AddFile("index.html", "<html>home</html>\n");
    web.AddFile("page.bin", Pattern(200000));
    web.AddFile("chunked/page.html", "<p>" + Pattern(50000) + "</p>\n");
    TestPki pki;
    NginxTlsServer secure(pki);
    secure.AddFile("page.bin", Pattern(150000));
    secure.AddFile("chunked/page.html", "<p>" + Pattern(40000) + "</p>\n");

    const std::vector<std::vector<std::string>> cases = {
        {web.Url("/page.bin")},
        {web.Url("/chunked/page.html")},
        {web.Url("/no/such/page")},
        {"-L", web.Url("/moved")},
        {web.Url("/moved")},
        {"--cacert", pki.RootFile(), secure.Url(TestCert::Valid, "/page.bin")},
        {"-k", secure.Url(TestCert::SelfSigned, "/chunked/page.html")},
        {"--compressed", "--cacert", pki.RootFile(),
         secure.Url(TestCert::Valid, "/chunked/page.html")},
        {"-L", "--cacert", pki.RootFile(), secure.Url(TestCert::Valid, "/chunked/page.html")},
    };
    for (const auto& c : cases) {
        std::vector<std::string> ours = {"fetch"};
        ours.insert(ours.end(), c.begin(), c.end());
        std::vector<std::string> theirs = {"-s"};
        theirs.insert(theirs.end(), c.begin(), c.end());
        const auto a = Cli(ours);
        const auto b = RunProgram(kCurl, theirs, {"SSL_CERT_FILE=", "SSL_CERT_DIR="});
        ASSERT_EQ(b.exitCode, 0) << c.back();
        EXPECT_EQ(a.exitCode, 0) << c.back() << ": " << a.err;
        EXPECT_TRUE(a.out == b.out)
            << c.back() << ": " << a.out.size() << " bytes, curl " << b.out.size();
    }
}

TEST(CliSurveyFailures, TheSummaryCountsFailedPagesByCause) {
    RefusingPort refusing;
    const std::string dead = "http://127.0.0.1:" + std::to_string(refusing.Port());
    const auto r = Cli({"survey", "--no-history", "--keyword", "tea", "--search-endpoint", dead,
                        "--traffic-endpoint", dead});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("0 rows, 1 requests, 1 page failed: 1 connection failure\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
