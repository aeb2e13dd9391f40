#include "tests/support/test_stacks.h"

#include <algorithm>

#include "net/net_exceptions.h"

namespace corvane::testing {

using namespace corvane::net;

void StackPlan::FailCall(StackCall call, int nth, std::int32_t code, bool andLater) {
    faults.push_back({call, nth, code, andLater});
}

TestStack::TestStack(std::shared_ptr<StackPlan> plan) : plan_(std::move(plan)) {
    ++plan_->created;
}

TestStack::~TestStack() {
    ++plan_->destroyed;
}

bool TestStack::Fails(StackCall call, std::int32_t& code) {
    const int n = ++plan_->calls[static_cast<std::size_t>(call)];
    for (const StackPlan::Fault& f : plan_->faults) {
        if (f.call == call && (n == f.nth || (f.andLater && n > f.nth))) {
            code = f.code;
            SetLastError(code);
            return true;
        }
    }
    return false;
}

TNetSocket TestStack::SysSocket(int family, int type, int protocol) {
    std::int32_t code = 0;
    if (Fails(StackCall::Socket, code))
        return -1;
    return TNetStackPosix::SysSocket(family, type, protocol);
}

std::int32_t TestStack::SysBind(TNetSocket socket, int family, const std::string& ip,
                                std::int32_t port) {
    std::int32_t code = 0;
    if (Fails(StackCall::Bind, code))
        return -1;
    return TNetStackPosix::SysBind(socket, family, ip, port);
}

std::int32_t TestStack::SysConnect(TNetSocket socket, int family, const std::string& ip,
                                   std::int32_t port, std::int32_t timeoutMs) {
    std::int32_t code = 0;
    if (Fails(StackCall::Connect, code))
        return -1;
    return TNetStackPosix::SysConnect(socket, family, ip, port, timeoutMs);
}

std::int32_t TestStack::SysRecv(TNetSocket socket, void* buffer, std::int32_t capacity, int flags) {
    std::int32_t code = 0;
    if (Fails(StackCall::Recv, code))
        return code == 0 ? 0 : -1;
    if (plan_->oneBytePerReceive)
        capacity = std::min(capacity, 1);
    return TNetStackPosix::SysRecv(socket, buffer, capacity, flags);
}

std::int32_t TestStack::SysSend(TNetSocket socket, const void* bytes, std::int32_t count,
                                int flags) {
    std::int32_t code = 0;
    if (Fails(StackCall::Send, code))
        return code == 0 ? 0 : -1;
    if (plan_->oneBytePerSend)
        count = std::min(count, 1);
    return TNetStackPosix::SysSend(socket, bytes, count, flags);
}

std::int32_t TestStack::SysSelect(std::vector<TNetSocket>* readList,
                                  std::vector<TNetSocket>* writeList, std::int32_t timeout,
                                  std::vector<TNetSocket>* exceptList) {
    std::int32_t code = 0;
    if (Fails(StackCall::Select, code))
        return code == 0 ? 0 : -1;
    return TNetStackPosix::SysSelect(readList, writeList, timeout, exceptList);
}

std::int32_t TestStack::SysSetSockOpt(TNetSocket socket, int level, int option, const void* value,
                                      std::int32_t length) {
    std::int32_t code = 0;
    if (Fails(StackCall::SetSockOpt, code))
        return -1;
    return TNetStackPosix::SysSetSockOpt(socket, level, option, value, length);
}

std::string TestStack::SysGetHostByName(const std::string& host) {
    std::int32_t code = 0;
    if (Fails(StackCall::GetHostByName, code))
        CheckSocketResult(-1);
    return TNetStackPosix::SysGetHostByName(host);
}

void TestStack::SysGetSockName(TNetSocket socket, int& family, std::string& ip,
                               std::int32_t& port) {
    std::int32_t code = 0;
    if (Fails(StackCall::GetSockName, code))
        CheckSocketResult(-1);
    TNetStackPosix::SysGetSockName(socket, family, ip, port);
}

void TestStack::SysGetPeerName(TNetSocket socket, int& family, std::string& ip,
                               std::int32_t& port) {
    std::int32_t code = 0;
    if (Fails(StackCall::GetPeerName, code))
        CheckSocketResult(-1);
    TNetStackPosix::SysGetPeerName(socket, family, ip, port);
}

std::int32_t TestStack::SysShutdown(TNetSocket socket, int how) {
    std::int32_t code = 0;
    if (Fails(StackCall::Shutdown, code))
        return -1;
    return TNetStackPosix::SysShutdown(socket, how);
}

std::int32_t TestStack::SysCloseSocket(TNetSocket socket) {
    std::int32_t code = 0;
    // The platform socket is closed even when the call is reported as failed,
    // so that a test never leaks descriptors.
    const std::int32_t r = TNetStackPosix::SysCloseSocket(socket);
    if (Fails(StackCall::CloseSocket, code))
        return -1;
    return r;
}

std::int64_t TestStack::SysTransmitFile(TNetSocket socket, const std::string& path) {
    std::int32_t code = 0;
    if (Fails(StackCall::TransmitFile, code))
        return 0;
    return TNetStackPosix::SysTransmitFile(socket, path);
}

ScopedStackFactory::ScopedStackFactory(TNetStackFactory factory) {
    SetNetStackFactory(std::move(factory));
}

ScopedStackFactory::~ScopedStackFactory() {
    SetNetStackFactory(nullptr);
}

ScopedTestStack::ScopedTestStack()
    : plan_(std::make_shared<StackPlan>()),
      scope_([plan = plan_] { return std::make_unique<TestStack>(plan); }) {}

namespace {

class FailingStack : public TNetStackPosix {
  public:
    FailingStack(StackCreationFailure how, const std::string& library) {
        if (how == StackCreationFailure::CannotLoad)
            throw ENetStackCanNotLoadWinsock(library);
        throw ENetStackInitializationFailed();
    }
    std::string Name() const override { return "failing stack"; }
};

}  // namespace

TNetStackFactory FailingStackFactory(StackCreationFailure how, std::string library) {
    return [how, library = std::move(library)]() -> std::unique_ptr<TNetStack> {
        return std::make_unique<FailingStack>(how, library);
    };
}

}  // namespace corvane::testing
