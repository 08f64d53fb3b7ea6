#pragma once
// Watches the bus of one GStreamer pipeline at a time on a thread of its own, for whatever drives
// that pipeline (a playback, a recording, an encoding). What it promises:
//  - its thread sleeps in the bus until a message comes, the nearest deadline is due or the owner
//    changes something; nothing polls, so a paused or idle pipeline costs no wake-ups;
//  - handlers run on that thread with the owner's lock held, and only for the pipeline being
//    watched: a message of a pipeline that has been replaced or dropped is thrown away, and the
//    deadlines set for it go with it;
//  - the notice a handler hands back (what to tell the owner's users) runs after the owner's lock
//    is released, and none runs once shutdown() has returned.
// The owner changes what is watched and sets deadlines with its lock held; it never calls
// shutdown() or destroys the runner from a handler or a notice.

#include <gst/gst.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace engines {

class PipelineRunner
{
public:
    using Clock = std::chrono::steady_clock;
    // Something to tell the owner's users; runs without the owner's lock.
    using Notice = std::function<void()>;
    struct Handlers
    {
        std::function<Notice(GstMessage* message)> message = {};
        // A deadline set with setDeadline() is due (and is gone: set it again to repeat it).
        std::function<Notice(int deadline)> deadline = {};
    };

    // `ownerLock` is the lock the owner holds while it changes its pipeline; handlers run with
    // it held. The thread is named "kolvo-pipeline".
    PipelineRunner(std::mutex& ownerLock, Handlers handlers);
    ~PipelineRunner();
    PipelineRunner(const PipelineRunner&) = delete;
    PipelineRunner& operator=(const PipelineRunner&) = delete;

    // Starts watching `pipeline` (nullptr: nothing) instead of what was watched, whose messages
    // and deadlines are dropped from now on. Messages already on the new pipeline's bus are
    // delivered. A watched pipeline's bus is not flushed when the pipeline goes to NULL (a flush
    // could swallow the runner's own wake-up); its leftover messages go with the pipeline.
    void watch(GstElement* pipeline);
    void unwatch() { watch(nullptr); }
    // Counts the pipelines watched so far (each watch() or unwatch() starts a new generation).
    unsigned generation() const;

    // Calls the deadline handler with `id` once `at` has come, unless the deadline is set again,
    // cancelled, or the pipeline watched changes first.
    void setDeadline(int id, Clock::time_point at);
    void cancelDeadline(int id);

    // Stops the thread. A notice running meanwhile finishes first; none runs afterwards.
    void shutdown();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace engines
