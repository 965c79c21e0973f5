#pragma once

#include <exception>

namespace util {

// Runs one step of a handler that ignores failures step by step: a step that
// throws is abandoned silently and the caller goes on with its next step.
// Returns whether the step ran to its end.
template <typename Step>
bool runGuarded(Step&& step) noexcept
{
    try {
        step();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace util
