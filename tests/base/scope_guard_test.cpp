#include "base/scope_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace corvane::base {
namespace {

struct NotAStdException {};

TEST(OnUnwind, RunsOnlyWhenTheScopeIsLeftByAnException) {
    int runs = 0;
    {
        OnUnwind guard([&] { ++runs; });
    }
    EXPECT_EQ(runs, 0);

    // Any type passes through unchanged, after the clean-up.
    EXPECT_THROW(
        {
            OnUnwind guard([&] { ++runs; });
            throw NotAStdException{};
        },
        NotAStdException);
    EXPECT_EQ(runs, 1);

    // A guard made while another exception is already in flight (in a
    // destructor during unwinding) still tells its own scope's exit apart.
    struct Inner {
        int& count;
        ~Inner() {
            OnUnwind guard([&] { ++count; });
        }
    };
    EXPECT_THROW(
        {
            Inner inner{runs};
            throw std::runtime_error("outer");
        },
        std::runtime_error);
    EXPECT_EQ(runs, 1);
}

TEST(OnUnwind, AFailingCleanUpKeepsTheFirstFailure) {
    try {
        OnUnwind guard([] { throw std::logic_error("clean-up"); });
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
}

}  // namespace
}  // namespace corvane::base
