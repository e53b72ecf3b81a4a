#pragma once
// Checks on the errors that calls raise, shared by the core tests.

#include <gtest/gtest.h>

#include <string>

#include "platform/core/exception.h"

// The message of the Exception a call raises, "(no exception)" when it returns.
template <typename Fn> std::string MessageOf(Fn&& fn) {
    try {
        fn();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

// The call must raise EConvertError with exactly this message.
template <typename F> void expectConvertError(F&& call, const std::string& message) {
    try {
        call();
        ADD_FAILURE() << "no EConvertError, expected: " << message;
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), message);
    }
}
