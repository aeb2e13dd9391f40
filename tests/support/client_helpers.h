// Small helpers for tests that drive a TNetTCPClient against a loopback peer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "net/tcp_client.h"
#include "tests/support/scripted_peer.h"

namespace corvane::testing {

// A client aimed at the peer with short limits, so that a fault cannot hang
// the test; opened unless open is false.
inline std::unique_ptr<net::TNetTCPClient> ClientFor(const ScriptedPeer& peer, bool open = true) {
    auto client = std::make_unique<net::TNetTCPClient>();
    client->Host = peer.Host();
    client->Port = peer.Port();
    client->ConnectTimeout = 5000;
    client->ReadTimeout = 5000;
    if (open)
        client->OpenConnection();
    return client;
}

// Records the events of a connection as texts, in order:
// "status <n>: <text>", "disconnected", "connected", "begin <mode> <total>",
// "work <mode> <count>", "end <mode>".
struct EventLog {
    std::vector<std::string> events;

    void AttachStatus(net::TNetTCPConnection& c) {
        c.OnStatus = [this](net::TNetComponent&, net::TNetStatus s, const std::string& text) {
            events.push_back("status " + std::to_string(static_cast<int>(s)) + ": " + text);
        };
        c.OnDisconnected = [this](net::TNetTCPConnection&) { events.push_back("disconnected"); };
    }
    void AttachConnected(net::TNetTCPClient& c) {
        c.OnConnected = [this](net::TNetTCPClient&) { events.push_back("connected"); };
    }
    void AttachWork(net::TNetComponent& c) {
        c.OnWorkBegin = [this](net::TNetComponent&, net::TWorkMode m, std::int32_t total) {
            events.push_back("begin " + std::to_string(static_cast<int>(m)) + " " +
                             std::to_string(total));
        };
        c.OnWork = [this](net::TNetComponent&, net::TWorkMode m, std::int32_t count) {
            events.push_back("work " + std::to_string(static_cast<int>(m)) + " " +
                             std::to_string(count));
        };
        c.OnWorkEnd = [this](net::TNetComponent&, net::TWorkMode m) {
            events.push_back("end " + std::to_string(static_cast<int>(m)));
        };
    }
};

}  // namespace corvane::testing
