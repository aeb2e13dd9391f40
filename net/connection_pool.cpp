#include "net/connection_pool.h"

#include <utility>

#include "base/ascii.h"
#include "net/page_fetch.h"
#include "net/text_tokens.h"
#include "net/uri.h"

namespace corvane::net {

namespace {

// Each field with its length in front, so that no two settings give one key.
void AddField(std::string& key, const std::string& field) {
    key += std::to_string(field.size());
    key += ':';
    key += field;
}

}  // namespace

PooledConnection::PooledConnection(ConnectionPool* owner) : owner_(owner) {
    if (owner_) {
        const std::lock_guard<std::mutex> lock(owner_->mutex_);
        ++owner_->openCount_;
    }
}

PooledConnection::~PooledConnection() {
    if (owner_) {
        const std::lock_guard<std::mutex> lock(owner_->mutex_);
        --owner_->openCount_;
    }
}

void PooledConnection::Close() {
    // Over TLS the channel is still attached: the close sends its alert.
    Client.CloseConnection();
}

ConnectionPool::ConnectionPool() : ConnectionPool(Limits()) {}

ConnectionPool::ConnectionPool(Limits limits) : limits_(limits) {}

ConnectionPool::~ConnectionPool() {
    Close();
}

std::string ConnectionPool::KeyFor(const std::string& url, const FetchOptions& options) {
    const UriParts parts = SplitUri(url);
    const bool secure = SameTextLocale(parts.Protocol, "HTTPS");
    std::string key;
    AddField(key, secure ? "https" : "http");
    AddField(key, base::LowerAscii(parts.Host));
    AddField(key, parts.Port.empty() ? (secure ? "443" : "80") : parts.Port);
    AddField(key, options.ProxyHost);
    if (!options.ProxyHost.empty()) {
        AddField(key, std::to_string(options.ProxyPort));
        AddField(key, options.ProxyUser);
        AddField(key, options.ProxyPassword);
    }
    AddField(key, std::to_string(static_cast<int>(options.SocksVersion)));
    if (options.SocksVersion != svNoSocks) {
        AddField(key, options.SocksHost);
        AddField(key, std::to_string(options.SocksPort));
        AddField(key, options.SocksUser);
        AddField(key, options.SocksPassword);
    }
    if (secure) {
        // A channel verified one way is no channel for a fetch that asks for
        // another.
        AddField(key, options.Insecure ? "insecure" : "verified");
        AddField(key, options.CaFile);
    }
    return key;
}

bool ConnectionPool::Usable(PooledConnection& connection, Clock::time_point now) const {
    TNetHTTP& client = connection.Client;
    if (now - connection.IdleSince > limits_.MaxIdle)
        return false;
    if (!client.IsConnected() || client.InputSize() != 0)
        return false;
    if (client.InterceptEnabled() && connection.Tls.HasBufferedInput())
        return false;
    // Nothing may be waiting: an idle peer that closed (or sent anything at
    // all) has made the socket readable.
    return client.SocketHandle().SelectReadable(0) == 0;
}

std::unique_ptr<PooledConnection> ConnectionPool::Take(const std::string& key) {
    for (;;) {
        std::unique_ptr<PooledConnection> connection;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const auto found = idle_.find(key);
            if (found == idle_.end())
                return nullptr;
            connection = std::move(found->second.back());
            found->second.pop_back();
            if (found->second.empty())
                idle_.erase(found);
            --idleCount_;
        }
        // Checked outside the lock: it asks the socket.
        const bool usable = Usable(*connection, Clock::now());
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++(usable ? counts_.Reused : counts_.Dropped);
        }
        if (usable)
            return connection;
        connection->Close();
    }
}

std::unique_ptr<PooledConnection> ConnectionPool::NewConnection() {
    auto connection = std::make_unique<PooledConnection>(this);
    std::vector<std::unique_ptr<PooledConnection>> closing;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++counts_.Opened;
        // Room for the new one: the connections idle longest make way.
        for (std::size_t open = openCount_; open > limits_.Total && idleCount_ > 0; --open)
            EvictOldest(closing);
    }
    CloseAll(closing);
    return connection;
}

void ConnectionPool::GiveBack(const std::string& key,
                              std::unique_ptr<PooledConnection> connection) {
    if (!connection)
        return;
    std::vector<std::unique_ptr<PooledConnection>> closing;
    if (!connection->Client.IsConnected()) {
        closing.push_back(std::move(connection));
    } else {
        connection->IdleSince = Clock::now();
        const std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || limits_.PerKey == 0 || limits_.Total == 0) {
            closing.push_back(std::move(connection));
        } else {
            ++counts_.Kept;
            auto& list = idle_[key];
            list.push_back(std::move(connection));
            ++idleCount_;
            if (list.size() > limits_.PerKey) {
                closing.push_back(std::move(list.front()));
                list.pop_front();
                --idleCount_;
            }
            for (std::size_t open = openCount_ - closing.size();
                 open > limits_.Total && idleCount_ > 0; --open) {
                EvictOldest(closing);
            }
        }
    }
    CloseAll(closing);
}

void ConnectionPool::EvictOldest(std::vector<std::unique_ptr<PooledConnection>>& out) {
    auto oldest = idle_.end();
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if (oldest == idle_.end() ||
            it->second.front()->IdleSince < oldest->second.front()->IdleSince)
            oldest = it;
    }
    if (oldest == idle_.end())
        return;
    out.push_back(std::move(oldest->second.front()));
    oldest->second.pop_front();
    if (oldest->second.empty())
        idle_.erase(oldest);
    --idleCount_;
}

void ConnectionPool::Close() {
    std::vector<std::unique_ptr<PooledConnection>> closing;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        for (auto& [key, list] : idle_) {
            for (auto& connection : list)
                closing.push_back(std::move(connection));
        }
        idle_.clear();
        idleCount_ = 0;
    }
    CloseAll(closing);
}

void ConnectionPool::CloseAll(std::vector<std::unique_ptr<PooledConnection>>& connections) {
    for (auto& connection : connections)
        connection->Close();
    connections.clear();
}

std::size_t ConnectionPool::IdleCount() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return idleCount_;
}

std::size_t ConnectionPool::OpenCount() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return openCount_;
}

ConnectionPool::Counts ConnectionPool::Stats() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

}  // namespace corvane::net
