#include "engines/pipelinerunner.h"

#include "engines/gstglue.h"

#include <algorithm>
#include <condition_variable>
#include <pthread.h>
#include <thread>
#include <utility>
#include <vector>

namespace engines {

namespace {

// The message the runner posts to the bus its thread sleeps in, to make it look again.
constexpr const char* kWakeName = "kolvo-pipeline-runner-wake";

bool isWake(GstMessage* message)
{
    return GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION && !GST_MESSAGE_SRC(message) &&
           gst_message_has_name(message, kWakeName);
}

GstRef<GstBus> share(const GstRef<GstBus>& bus)
{
    return GstRef<GstBus>(bus ? GST_BUS(gst_object_ref(bus.get())) : nullptr);
}

} // namespace

struct PipelineRunner::Impl
{
    Impl(std::mutex& owner, Handlers h)
        : ownerLock(owner)
        , handlers(std::move(h))
    {}

    void run();
    void dispatch(GstMessage* message, unsigned messageGeneration);
    // Makes a sleeping thread look again; gives the bus to post the wake-up to, if it sleeps in
    // one. The post is made outside `mutex`: posting runs the bus's sync handler.
    GstRef<GstBus> wakeLocked();
    static void post(const GstRef<GstBus>& bus);

    std::mutex& ownerLock;
    const Handlers handlers;

    std::mutex mutex;                // guards everything down to the gate
    std::condition_variable changed; // wakes the thread while it sleeps without a bus
    GstRef<GstBus> bus;
    unsigned generation = 0;
    std::vector<std::pair<int, Clock::time_point>> deadlines;
    bool quit = false;
    // While the thread sleeps: in which bus (none: on `changed`) and until when.
    bool sleeping = false;
    GstRef<GstBus> sleepingIn;
    Clock::time_point sleepingUntil = Clock::time_point::max();
    bool wakePosted = false;
    bool woken = false;

    std::mutex gate; // held while a notice runs
    bool gateOpen = true;

    std::thread thread;
};

GstRef<GstBus> PipelineRunner::Impl::wakeLocked()
{
    woken = true;
    changed.notify_one();
    if (!sleeping || !sleepingIn || wakePosted)
        return {};
    wakePosted = true;
    return share(sleepingIn);
}

void PipelineRunner::Impl::post(const GstRef<GstBus>& bus)
{
    if (bus)
        gst_bus_post(bus.get(),
                     gst_message_new_application(nullptr, gst_structure_new_empty(kWakeName)));
}

void PipelineRunner::Impl::run()
{
    pthread_setname_np(pthread_self(), "kolvo-pipeline");
    std::unique_lock lock(mutex);
    while (!quit) {
        GstRef<GstBus> in = share(bus);
        const unsigned watched = generation;
        Clock::time_point until = Clock::time_point::max();
        for (const auto& deadline : deadlines)
            until = std::min(until, deadline.second);
        sleeping = true;
        sleepingUntil = until;
        sleepingIn = share(in);
        wakePosted = woken = false;

        MessageRef message;
        if (!in) {
            const auto looked = [this] { return woken || quit; };
            if (until == Clock::time_point::max())
                changed.wait(lock, looked);
            else
                changed.wait_until(lock, until, looked);
        } else {
            lock.unlock();
            GstClockTime timeout = GST_CLOCK_TIME_NONE;
            if (until != Clock::time_point::max()) {
                const auto left = std::max(Clock::duration::zero(), until - Clock::now());
                timeout = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            }
            message.reset(gst_bus_timed_pop(in.get(), timeout));
            lock.lock();
        }
        sleeping = false;
        sleepingIn.reset();
        if (message && isWake(message.get()))
            message.reset();
        if (quit)
            break;
        const auto now = Clock::now();
        const bool due =
            std::any_of(deadlines.begin(), deadlines.end(),
                        [now](const auto& deadline) { return deadline.second <= now; });
        if (!message && !due)
            continue;
        lock.unlock();
        dispatch(message.get(), watched);
        message.reset();
        in.reset();
        lock.lock();
    }
}

void PipelineRunner::Impl::dispatch(GstMessage* message, unsigned messageGeneration)
{
    std::vector<Notice> notices;
    {
        std::lock_guard owner(ownerLock);
        bool current;
        {
            std::lock_guard own(mutex);
            current = messageGeneration == generation;
        }
        // The message first: it may settle what a deadline due at the same time was waiting for.
        if (message && current && handlers.message) {
            if (Notice notice = handlers.message(message))
                notices.push_back(std::move(notice));
        }
        std::vector<std::pair<int, Clock::time_point>> due;
        {
            std::lock_guard own(mutex);
            const auto now = Clock::now();
            const auto firstDue = std::stable_partition(
                deadlines.begin(), deadlines.end(),
                [now](const auto& deadline) { return deadline.second > now; });
            due.assign(firstDue, deadlines.end());
            deadlines.erase(firstDue, deadlines.end());
        }
        std::stable_sort(due.begin(), due.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
        for (const auto& deadline : due) {
            if (!handlers.deadline)
                break;
            if (Notice notice = handlers.deadline(deadline.first))
                notices.push_back(std::move(notice));
        }
    }
    for (const Notice& notice : notices) {
        std::lock_guard open(gate);
        if (gateOpen)
            notice();
    }
}

PipelineRunner::PipelineRunner(std::mutex& ownerLock, Handlers handlers)
    : d(std::make_unique<Impl>(ownerLock, std::move(handlers)))
{
    d->thread = std::thread([impl = d.get()] { impl->run(); });
}

PipelineRunner::~PipelineRunner()
{
    shutdown();
}

void PipelineRunner::watch(GstElement* pipeline)
{
    GstRef<GstBus> bus(pipeline ? gst_element_get_bus(pipeline) : nullptr);
    if (pipeline && GST_IS_PIPELINE(pipeline))
        gst_pipeline_set_auto_flush_bus(GST_PIPELINE(pipeline), FALSE);
    GstRef<GstBus> wake;
    {
        std::lock_guard lock(d->mutex);
        std::swap(d->bus, bus);
        ++d->generation;
        d->deadlines.clear();
        wake = d->wakeLocked();
    }
    Impl::post(wake);
}

unsigned PipelineRunner::generation() const
{
    std::lock_guard lock(d->mutex);
    return d->generation;
}

void PipelineRunner::setDeadline(int id, Clock::time_point at)
{
    GstRef<GstBus> wake;
    {
        std::lock_guard lock(d->mutex);
        auto it = std::find_if(d->deadlines.begin(), d->deadlines.end(),
                               [id](const auto& deadline) { return deadline.first == id; });
        if (it != d->deadlines.end())
            it->second = at;
        else
            d->deadlines.emplace_back(id, at);
        if (d->sleeping && at < d->sleepingUntil)
            wake = d->wakeLocked();
    }
    Impl::post(wake);
}

void PipelineRunner::cancelDeadline(int id)
{
    // A thread sleeping until this deadline wakes for nothing once; not worth a wake-up now.
    std::lock_guard lock(d->mutex);
    std::erase_if(d->deadlines, [id](const auto& deadline) { return deadline.first == id; });
}

void PipelineRunner::shutdown()
{
    {
        std::lock_guard open(d->gate);
        d->gateOpen = false;
    }
    if (!d->thread.joinable())
        return;
    GstRef<GstBus> wake;
    {
        std::lock_guard lock(d->mutex);
        d->quit = true;
        wake = d->wakeLocked();
    }
    // From a handler the thread ends once the handler returns; whoever destroys the runner
    // joins it.
    if (std::this_thread::get_id() == d->thread.get_id())
        return;
    Impl::post(wake);
    d->thread.join();
}

} // namespace engines
