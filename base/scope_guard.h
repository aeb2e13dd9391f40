// A clean-up that runs only when its scope is left by an exception.
//
// For code that finishes in the ordinary way by itself but must put things
// straight when a step fails, without catching the failure: the exception
// passes on unchanged, whatever its type. Used by every layer; depends on
// nothing but the standard library.
#pragma once

#include <exception>
#include <utility>

namespace corvane::base {

template <typename Action>
class [[nodiscard]] OnUnwind {
  public:
    explicit OnUnwind(Action action) noexcept(noexcept(Action(std::move(action))))
        : action_(std::move(action)), inFlight_(std::uncaught_exceptions()) {}
    // The clean-up runs while another exception is in flight. Should it fail
    // with an exception of its own, that one is dropped (here, where nothing
    // could catch it) so that the first failure is the one reported.
    ~OnUnwind() {
        if (std::uncaught_exceptions() > inFlight_) {
            try {
                action_();
            } catch (const std::exception&) {
                // Dropped on purpose: see above.
            }
        }
    }
    OnUnwind(const OnUnwind&) = delete;
    OnUnwind& operator=(const OnUnwind&) = delete;

  private:
    Action action_;
    int inFlight_;
};

}  // namespace corvane::base
