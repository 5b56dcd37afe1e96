// Waiting from Python: in short slices with the interpreter lock released,
// so that other Python threads run, and with Python's signal handlers run
// between slices, so that Ctrl-C ends the wait with KeyboardInterrupt.
#ifndef KELM_PYTHON_INTERRUPTIBLEWAIT_H
#define KELM_PYTHON_INTERRUPTIBLEWAIT_H

#include <pybind11/pybind11.h>

#include <algorithm>
#include <chrono>
#include <optional>

enum class WaitStep
{
    Done,   // what was waited for has happened
    Again,  // not yet
    Ended,  // it will not happen (the client was closed)
};

/// Calls step(slice) with the interpreter lock released until it returns
/// Done or Ended, or timeout seconds have passed (none: no limit). True on
/// Done. A pending KeyboardInterrupt (or other signal handler exception) is
/// raised as pybind11::error_already_set.
template <class Step>
bool WaitInterruptibly(std::optional<double> timeout, Step step)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kSlice(50);
    const Clock::time_point deadline =
        timeout ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(std::max(0.0, *timeout)))
                : Clock::time_point::max();
    for (;;)
    {
        std::chrono::milliseconds slice = kSlice;
        if (timeout)
            slice = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()),
                               std::chrono::milliseconds(0), kSlice);
        WaitStep outcome;
        {
            pybind11::gil_scoped_release unlocked;
            outcome = step(slice);
        }
        if (outcome != WaitStep::Again)
            return outcome == WaitStep::Done;
        if (PyErr_CheckSignals() != 0)
            throw pybind11::error_already_set();
        if (Clock::now() >= deadline)
            return false;
    }
}

#endif
