#pragma once

#include <functional>

class AnswerStream;

// How the caller's thread waits for a remote call: the request runs on a worker
// thread while the caller waits in a local event loop that excludes user input, so
// the busy animation keeps moving and no second user action can start. A call the
// user may stop lets input reach the busy panel only, and Escape stops it.
namespace CallWait {

struct Options
{
    const AnswerStream *stream = nullptr;  // a call whose answer is counted in rows as it arrives
    std::function<void(int)> rowsReceived; // told the rows received, a few times a second
    std::function<void()> cancel;          // set: the user may stop the call this way
};

// Runs `work` and returns when it is done. Without an application's event loop
// to keep alive (none, or a caller on another thread) `work` simply runs here.
void run(const std::function<void()> &work, const Options &options = {});

// Waits `ms`, the event loop going on without user input.
void pause(int ms);

} // namespace CallWait
