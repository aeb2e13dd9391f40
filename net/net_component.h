// Base of every network object: owns a use of the process-wide socket stack
// and reports status and progress through optional event handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/socket_stack.h"

namespace corvane::net {

// A named object of the network code.
class TNetBaseComponent {
  public:
    TNetBaseComponent() = default;
    virtual ~TNetBaseComponent() = default;
    TNetBaseComponent(const TNetBaseComponent&) = delete;
    TNetBaseComponent& operator=(const TNetBaseComponent&) = delete;

    std::string Name;
};

enum TNetStatus {
    StatusResolving = 0,
    StatusConnecting = 1,
    StatusConnected = 2,
    StatusDisconnecting = 3,
    StatusDisconnected = 4,
    StatusText = 5,
};

enum TWorkMode {
    WorkRead = 0,
    WorkWrite = 1,
};

// The text a status reports, with "%s" replaced by the argument.
std::string StatusMessage(TNetStatus status, const std::string& argument);

class TNetComponent;

using TNetStatusEvent =
    std::function<void(TNetComponent& sender, TNetStatus status, const std::string& text)>;
using TWorkEvent = std::function<void(TNetComponent& sender, TWorkMode mode, std::int32_t count)>;
using TWorkBeginEvent =
    std::function<void(TNetComponent& sender, TWorkMode mode, std::int32_t total)>;
using TWorkEndEvent = std::function<void(TNetComponent& sender, TWorkMode mode)>;

// Progress of one work mode.
struct TWorkRecord {
    std::int32_t Count = 0;  // so far in the open span
    std::int32_t Total = 0;  // expected, as given when the span opened
    std::int32_t Level = 0;  // nesting of open spans
};

// Creates the shared stack when the first component appears. An empty
// factory means the POSIX stack. Tests install their own stacks with it; the
// factory is consulted only when no component is alive.
using TNetStackFactory = std::function<std::unique_ptr<TNetStack>()>;
void SetNetStackFactory(TNetStackFactory factory);

// Number of live components (the users of the shared stack).
std::int32_t NetStackUseCount();
// The shared stack, or nullptr while no component is alive.
TNetStack* SharedNetStack();

class TNetComponent : public TNetBaseComponent {
  public:
    // Counts as one user of the shared stack, creating it when this is the
    // first; a failure to create it leaves the count as it was and propagates.
    TNetComponent();
    ~TNetComponent() override;

    TNetStatusEvent OnStatus;
    TWorkEvent OnWork;
    TWorkBeginEvent OnWorkBegin;
    TWorkEndEvent OnWorkEnd;

    // Raises OnStatus with the status's text; formats nothing without a handler.
    void ReportStatus(TNetStatus status, const std::string& argument = std::string());

    virtual void StartWork(TWorkMode mode, std::int32_t total);
    virtual void AddWork(TWorkMode mode, std::int32_t count);
    virtual void FinishWork(TWorkMode mode);
    const TWorkRecord& WorkRecord(TWorkMode mode) const { return work_[mode == WorkWrite ? 1 : 0]; }

    // The stack this component keeps alive.
    TNetStack& Stack() const { return *stack_; }

  private:
    TNetStack* stack_;
    TWorkRecord work_[2];
};

}  // namespace corvane::net
