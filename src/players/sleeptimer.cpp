#include "players/sleeptimer.h"

#include "platform/vocabulary.h"

namespace {

struct Hms
{
    int h, m, s;
};

Hms split(int value)
{
    return {value / 10000, (value / 100) % 100, value % 100};
}

int join(const Hms& t)
{
    return t.h * 10000 + t.m * 100 + t.s;
}

} // namespace

const std::array<SleepTimer::MenuEntry, 18> SleepTimer::kMenu{{
    {33314, 90000},
    {33315, 80000},
    {33316, 70000},
    {33317, 60000},
    {33318, 50000},
    {33319, 40000},
    {33320, 30000},
    {33321, 20000},
    {33322, 13000},
    {33323, 10000},
    {33324, 4500},
    {33325, 3000},
    {33326, 1500},
    {33327, 1000},
    {33328, 100000},
    {33329, 120000},
    {33330, 180000},
    {33331, 240000},
}};

int SleepTimer::clampStored(int value)
{
    if (value >= kMax)
        return kMax;
    return value <= 0 ? 0 : value;
}

int SleepTimer::fromMinutes(int minutes)
{
    if (minutes < 0)
        minutes = 0;
    return (minutes / 60) * 10000 + (minutes % 60) * 100;
}

int SleepTimer::addMinute(int value)
{
    Hms t = split(value);
    if (++t.m > 59) {
        if (t.h >= 99) {
            t.h = 99;
            t.m = 59;
        } else {
            ++t.h;
            t.m = 0;
        }
    }
    return join(t);
}

int SleepTimer::removeMinute(int value)
{
    Hms t = split(value);
    if (--t.m < 0) {
        if (t.h <= 0)
            return 0;
        --t.h;
        t.m = 59;
    }
    const int result = join(t);
    return result < 1 ? 0 : result;
}

int SleepTimer::countDown(int value)
{
    if (value <= 0)
        return 0;
    Hms t = split(value);
    if (--t.s < 0) {
        t.s = 59;
        if (--t.m < 0) {
            t.m = 59;
            if (--t.h < 0)
                return 0;
        }
    }
    return join(t);
}

int SleepTimer::actionCommand(int timerAction)
{
    switch (timerAction) {
    case 1:
        return cmd::ExitAndShutDown;
    case 2:
        return cmd::ExitAndSuspend;
    default:
        // 0, and a value the settings should not hold: the least drastic action.
        return cmd::Exit;
    }
}

int SleepTimer::menuValue(int command)
{
    for (const MenuEntry& e : kMenu)
        if (e.command == command)
            return e.value;
    return -1;
}

void SleepTimer::enable(int stored)
{
    m_enabled = true;
    m_running = false;
    m_value = clampStored(stored);
}

void SleepTimer::disable()
{
    m_enabled = false;
    m_running = false;
}

int SleepTimer::start()
{
    if (!m_enabled)
        return -1;
    if (m_value < kShortest)
        m_value = kShortest;
    m_running = true;
    // The first second is a whole one.
    m_ticks = 0;
    return m_value;
}

int SleepTimer::tick(int timerAction)
{
    if (++m_ticks % 2 != 0)
        return 0;
    if (!m_enabled || !m_running || m_value <= 0)
        return 0;
    m_value = countDown(m_value);
    return m_value == 0 ? actionCommand(timerAction) : 0;
}
