#pragma once

#include <exception>
#include <stdexcept>

// What `call` throws; nothing when it does not fail.
template <typename Call> std::exception_ptr thrownBy(Call&& call) {
    try {
        call();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The error of type Error that `call` throws; anything else, or nothing, fails the test.
template <typename Error, typename Call> Error failureOf(Call&& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    throw std::logic_error("the call did not fail as expected");
}
