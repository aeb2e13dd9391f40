// Kept-alive connections of one run of page fetches (a survey), for the
// fetches that follow to the same place: the client with its open socket,
// and the TLS channel running over it when the address is secure.
//
// A connection is filed under a key made of the scheme, host and port of
// the address and of every setting that shaped the connection (the HTTP
// proxy, the SOCKS proxy, the TLS trust settings), so that a fetch only ever
// gets a connection it would have opened itself. FetchTo (with
// FetchOptions::Pool) takes one before a request and gives it back after a
// response that allows another request and was read to its end; it never
// gives back a connection after a failure, a cancel, a body cut at a limit,
// "Connection: close", an HTTP/1.0 answer or a body read until the close.
//
// Thread-safe: the fetch scheduler's workers share one pool, and any number
// of threads may take, give back and close at once. A connection taken out
// belongs to its taker alone until given back.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/tls_channel.h"

namespace corvane::net {

struct FetchOptions;
class ConnectionPool;

// One connection as the pool keeps it. The client is declared first, so
// that a connection dropped without Close ends as a fetch's own client
// always has: the channel goes first and the socket closes without an alert.
class PooledConnection {
  public:
    // A connection of `owner` counts as open in it until it is destroyed
    // (the owner must outlive it); one without owner counts nowhere.
    explicit PooledConnection(ConnectionPool* owner = nullptr);
    ~PooledConnection();
    PooledConnection(const PooledConnection&) = delete;
    PooledConnection& operator=(const PooledConnection&) = delete;

    TNetHTTP Client;
    TNetTLSChannel Tls;
    // When it was given back; how long it has been idle.
    std::chrono::steady_clock::time_point IdleSince;

    // Closes the socket; over TLS a close_notify alert goes first.
    void Close();

  private:
    ConnectionPool* const owner_;
};

class ConnectionPool {
  public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        // Idle connections kept under one key; beyond it the longest idle
        // one is closed.
        std::size_t PerKey = 4;
        // Connections of the pool open at once, idle or in use: a new one
        // beyond it first closes the longest idle one. (A fetch never waits
        // for room: with more fetches running than this, the bound holds
        // once enough of them have ended.)
        std::size_t Total = 32;
        // An idle connection older than this is closed instead of used:
        // servers close theirs after a while, often without a word.
        std::chrono::milliseconds MaxIdle{20000};
    };

    struct Counts {
        std::uint64_t Opened = 0;   // new connections handed out
        std::uint64_t Reused = 0;   // idle connections handed out again
        std::uint64_t Kept = 0;     // connections taken back
        std::uint64_t Dropped = 0;  // idle ones found closed, stale or too old
    };

    ConnectionPool();
    explicit ConnectionPool(Limits limits);
    // Closes every idle connection.
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // The key of a fetch of `url` with `options`.
    static std::string KeyFor(const std::string& url, const FetchOptions& options);

    // The idle connection under `key` given back last that is still usable:
    // open, nothing unread in it and nothing arrived on its socket since
    // (a server that closed an idle connection has made it readable), and
    // not idle too long. Connections that fail the check are closed. None
    // when no usable one is kept.
    std::unique_ptr<PooledConnection> Take(const std::string& key);
    // A new, unconnected connection (counted as opened), for which the
    // longest idle ones are closed while the pool is over its total.
    std::unique_ptr<PooledConnection> NewConnection();
    // Keeps `connection` idle under `key`; the caller has checked that its
    // last response allows another request. One that is no longer open, or
    // any given back after Close, is closed instead.
    void GiveBack(const std::string& key, std::unique_ptr<PooledConnection> connection);
    // Closes every idle connection; connections given back later are closed
    // at once. A run's end calls it once its fetches have ended.
    void Close();

    std::size_t IdleCount() const;
    // Connections of the pool not yet destroyed, idle or in use.
    std::size_t OpenCount() const;
    Counts Stats() const;

  private:
    friend class PooledConnection;

    // Closes connections outside the lock.
    static void CloseAll(std::vector<std::unique_ptr<PooledConnection>>& connections);
    bool Usable(PooledConnection& connection, Clock::time_point now) const;
    // Moves the longest idle connection of all into `out`.
    void EvictOldest(std::vector<std::unique_ptr<PooledConnection>>& out);

    const Limits limits_;
    mutable std::mutex mutex_;
    // Per key, the longest idle first.
    std::map<std::string, std::deque<std::unique_ptr<PooledConnection>>> idle_;
    std::size_t idleCount_ = 0;
    std::size_t openCount_ = 0;
    bool closed_ = false;
    Counts counts_;
};

}  // namespace corvane::net
