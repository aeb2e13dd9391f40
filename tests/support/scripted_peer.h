// A scripted TCP peer on 127.0.0.1 (port chosen by the system) for tests. It
// accepts a given number of connections and runs a script of steps on each,
// on a thread of its own: read until a text or a byte count, send bytes,
// pause, close gracefully or abortively. It records every byte received and
// never blocks a test forever: every wait has a limit, and destroying the
// peer stops it.
//
//   ScriptedPeer peer(PeerScript().ReadUntil("\r\n\r\n").Send(reply).Close());
//   client.Host = peer.Host(); client.Port = peer.Port(); ...
//   EXPECT_EQ(peer.Received(0), "GET / HTTP/1.1\r\n...");
//
// Many short connections, one script each (here: cut the reply at every
// offset):
//   ScriptedPeer peer(n, [&](int i) { return PeerScript().ReadUntil("\r\n\r\n").CloseAfter(reply,
//   i); });
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {

class PeerScript {
  public:
    enum class Kind {
        ReadUntil,
        ReadBytes,
        ReadUntilClosed,
        Send,
        Pause,
        Close,
        Reset,
        ShutdownSend
    };
    struct Step {
        Kind kind;
        std::string text;   // ReadUntil: the text; Send: the bytes
        std::size_t count;  // ReadBytes: byte count; Pause: milliseconds
    };

    // Reads until the bytes received since the previous read step contain
    // text; consumes them up to and including it.
    PeerScript& ReadUntil(std::string text);
    // Reads until n more bytes have come; consumes them.
    PeerScript& ReadBytes(std::size_t n);
    // Reads until the other side closes (or the step's limit).
    PeerScript& ReadUntilClosed();
    PeerScript& Send(std::string bytes);
    // Sends the first n bytes of bytes (all when n is larger).
    PeerScript& SendPrefix(const std::string& bytes, std::size_t n);
    PeerScript& Pause(int ms);
    // Graceful close: the sending side is shut down (the other side sees the
    // end of the stream at once), remaining input is drained briefly, then
    // the socket is closed. A script that ends without a close step ends
    // with this one.
    PeerScript& Close();
    // Abortive close: the other side gets a reset.
    PeerScript& Reset();
    // Shuts down the sending side only; later read steps still work.
    PeerScript& ShutdownSend();
    // SendPrefix(bytes, n) then Close().
    PeerScript& CloseAfter(const std::string& bytes, std::size_t n) {
        return SendPrefix(bytes, n).Close();
    }

    const std::vector<Step>& Steps() const { return steps_; }

  private:
    std::vector<Step> steps_;
};

struct PeerOptions {
    int stepTimeoutMs = 5000;     // limit of each read step and of the drain at close
    int acceptTimeoutMs = 10000;  // the peer stops accepting after this long
    int backlog = 64;
};

class ScriptedPeer {
  public:
    // One script for each of `connections` connections.
    explicit ScriptedPeer(PeerScript script, int connections = 1,
                          PeerOptions options = PeerOptions());
    // Connection i (in accept order) runs scripts[i].
    explicit ScriptedPeer(std::vector<PeerScript> scripts, PeerOptions options = PeerOptions());
    // Connection i runs scriptFor(i).
    ScriptedPeer(int connections, std::function<PeerScript(int index)> scriptFor,
                 PeerOptions options = PeerOptions());
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }

    // Number of connections accepted so far.
    int Accepted() const;
    // Waits until connection index has finished its script; false when that
    // does not happen within timeoutMs.
    bool WaitDone(int index, int timeoutMs = 10000);
    bool WaitAllDone(int timeoutMs = 10000);
    // Everything connection index received, once its script has finished
    // (waits for that as WaitDone does).
    std::string Received(int index, int timeoutMs = 10000);
    // Failed steps of all connections ("connection 0 step 1: ..."), in order.
    std::vector<std::string> Errors() const;
    // Stops accepting and ends every running script.
    void Stop();

  private:
    struct Connection {
        std::string received;
        bool done = false;
    };

    void Start();
    void AcceptLoop();
    void RunScript(int index, int fd, PeerScript script);
    void AddError(const std::string& error);

    std::function<PeerScript(int)> scriptFor_;
    int connections_;
    PeerOptions options_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Connection>> accepted_;
    std::vector<std::string> errors_;
    std::thread acceptThread_;
    std::vector<std::thread> handlers_;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening, held
// for the object's lifetime so that nothing else takes it.
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A listener on 127.0.0.1 whose accept queue is full, so that a further
// connect attempt gets no answer at all (its handshake is dropped) and runs
// into its time limit.
class UnansweredPort {
  public:
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
    int Port() const { return port_; }
    // False when the queue could not be filled (the test cannot be meaningful).
    bool Ready() const { return ready_; }

  private:
    int fd_ = -1;
    int port_ = 0;
    bool ready_ = false;
    std::vector<int> fillers_;
};

}  // namespace corvane::testing
