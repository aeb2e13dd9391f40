// Socket stacks for tests, installed as the shared stack through the stack
// factory: a POSIX stack that hands out one byte per receive (or per send)
// and fails chosen calls with chosen error codes, and stacks that fail their
// own creation.
//
//   ScopedTestStack stack;                          // from now on new components get a TestStack
//   stack.Plan().oneBytePerReceive = true;
//   stack.Plan().FailCall(StackCall::Recv, 3, 10054);  // the 3rd receive fails with 10054
//   TNetTCPClient client; ...
//   EXPECT_EQ(stack.Plan().Calls(StackCall::Recv), 5);
//
// The plan outlives the stacks it configures, so counts can be read after
// the last component is gone. Install a factory only while no component is
// alive.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/net_component.h"
#include "net/posix_stack.h"
#include "net/socket_stack.h"

namespace corvane::testing {

enum class StackCall {
    Socket,
    Bind,
    Connect,
    Recv,
    Send,
    Select,
    SetSockOpt,
    GetHostByName,
    GetSockName,
    GetPeerName,
    Shutdown,
    CloseSocket,
    TransmitFile,
};
constexpr std::size_t kStackCallKinds = 13;

struct StackPlan {
    bool oneBytePerReceive = false;
    bool oneBytePerSend = false;

    // The nth call (1-based) of that kind fails with code (and every later
    // one too when andLater). Code 0 makes receive, send and select return 0
    // instead (nothing moved, time up).
    void FailCall(StackCall call, int nth, std::int32_t code, bool andLater = false);
    int Calls(StackCall call) const { return calls[static_cast<std::size_t>(call)].load(); }

    struct Fault {
        StackCall call;
        int nth;
        std::int32_t code;
        bool andLater;
    };
    std::vector<Fault> faults;
    std::array<std::atomic<int>, kStackCallKinds> calls{};
    std::atomic<int> created{0};
    std::atomic<int> destroyed{0};
};

class TestStack : public net::TNetStackPosix {
  public:
    explicit TestStack(std::shared_ptr<StackPlan> plan);
    ~TestStack() override;

    net::TNetSocket SysSocket(int family, int type, int protocol) override;
    std::int32_t SysBind(net::TNetSocket socket, int family, const std::string& ip,
                         std::int32_t port) override;
    std::int32_t SysConnect(net::TNetSocket socket, int family, const std::string& ip,
                            std::int32_t port, std::int32_t timeoutMs) override;
    std::int32_t SysRecv(net::TNetSocket socket, void* buffer, std::int32_t capacity,
                         int flags) override;
    std::int32_t SysSend(net::TNetSocket socket, const void* bytes, std::int32_t count,
                         int flags) override;
    std::int32_t SysSelect(std::vector<net::TNetSocket>* readList,
                           std::vector<net::TNetSocket>* writeList, std::int32_t timeout,
                           std::vector<net::TNetSocket>* exceptList) override;
    std::int32_t SysSetSockOpt(net::TNetSocket socket, int level, int option, const void* value,
                               std::int32_t length) override;
    std::string SysGetHostByName(const std::string& host) override;
    void SysGetSockName(net::TNetSocket socket, int& family, std::string& ip,
                        std::int32_t& port) override;
    void SysGetPeerName(net::TNetSocket socket, int& family, std::string& ip,
                        std::int32_t& port) override;
    std::int32_t SysShutdown(net::TNetSocket socket, int how) override;
    std::int32_t SysCloseSocket(net::TNetSocket socket) override;
    std::int64_t SysTransmitFile(net::TNetSocket socket, const std::string& path) override;
    std::string Name() const override { return "test stack"; }

  private:
    // Counts the call; true (with the error code set) when it is to fail.
    bool Fails(StackCall call, std::int32_t& code);

    std::shared_ptr<StackPlan> plan_;
};

// Installs a stack factory for the scope and restores the default at its end.
class ScopedStackFactory {
  public:
    explicit ScopedStackFactory(net::TNetStackFactory factory);
    ~ScopedStackFactory();
    ScopedStackFactory(const ScopedStackFactory&) = delete;
    ScopedStackFactory& operator=(const ScopedStackFactory&) = delete;
};

// Installs TestStacks that follow one shared plan.
class ScopedTestStack {
  public:
    ScopedTestStack();
    StackPlan& Plan() { return *plan_; }

  private:
    std::shared_ptr<StackPlan> plan_;
    ScopedStackFactory scope_;
};

enum class StackCreationFailure {
    CannotLoad,          // ENetStackCanNotLoadWinsock
    InitializationFails  // ENetStackInitializationFailed
};

// A factory whose stacks fail while being created, as a platform whose socket
// library is missing or does not start.
net::TNetStackFactory FailingStackFactory(StackCreationFailure how,
                                          std::string library = "wsock32.dll");

}  // namespace corvane::testing
