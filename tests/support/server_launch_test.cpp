// A server told its port must be proved to be the listener there: a port
// taken by another program between the pick and the server's start is not
// mistaken for the server.
#include "tests/support/server_launch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace corvane::testing {
namespace {

constexpr const char* kMicrosocks = "/usr/bin/microsocks";

TEST(LaunchOnFreePort, APortTakenInBetweenIsLeftForAnother) {
    RequireExecutable(kMicrosocks);
    // Another program's listener on the first port offered. It accepts
    // connections, so only the owner of the listening socket tells it apart.
    const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(other, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(other, 4), 0);
    ASSERT_EQ(::getsockname(other, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int taken = ntohs(a.sin_port);
    EXPECT_TRUE(ListeningPortsOfGroup(::getpgrp()).count(taken));

    std::vector<int> offered;
    TempFolder folder;
    const std::string log = folder.Path() + "/microsocks.log";
    LaunchedServer server = LaunchOnFreePort(
        "microsocks",
        [&](int port) {
            return std::make_unique<ChildProcess>(
                std::vector<std::string>{kMicrosocks, "-i", "127.0.0.1", "-p",
                                         std::to_string(port)},
                ChildOptions::Server(log));
        },
        [&] { return ReadFileText(log); },
        [&] {
            offered.push_back(offered.empty() ? taken : PickFreePort());
            return offered.back();
        });
    ::close(other);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(server.Port, offered[1]);
    EXPECT_EQ(ListeningPortsOfGroup(server.Process->Pid()), std::set<int>{server.Port});
}

}  // namespace
}  // namespace corvane::testing
