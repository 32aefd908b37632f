#pragma once

#include <functional>

#include "fasui_export.h"

// Every entry from the event loop into the screens goes through here: a
// SilentAbort (a message already shown) ends the operation quietly, any other
// exception is shown in the application's error report. No exception ever
// crosses Qt's event loop.
namespace EventGuard {

// Runs `handler`; returns false when it ended by an exception.
FASUI_EXPORT bool run(const std::function<void()> &handler) noexcept;

// Wraps a handler for connecting to a signal.
template<typename Fn>
auto wrap(Fn fn)
{
    return [fn = std::move(fn)](auto &&...args) { run([&] { fn(args...); }); };
}

} // namespace EventGuard
