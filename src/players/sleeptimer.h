#pragma once
// The sleep timer of the Sound Effector: a duration written as the decimal number HHMMSS
// (hours x 10000 + minutes x 100 + seconds), lit or dark, counting down once a second while
// it runs. When the count reaches 0 it answers, exactly once, with the command that ends the
// program (5171), ends it and powers the machine off (5174), or ends it and suspends (5175).
// Pure arithmetic: the panel shows the value and posts the command.

#include <array>

class SleepTimer
{
public:
    static constexpr int kMax = 990000;           // 99:00:00, the longest stored duration
    static constexpr int kMinuteCeiling = 995900; // 99:59:00, where adding minutes stops
    static constexpr int kShortest = 100;         // a start runs for at least one minute

    // The stored duration ("Timer"), clamped into 0..990000 as a loaded value is.
    static int clampStored(int value);
    // HHMMSS of a number of minutes (the start-up option "timer:").
    static int fromMinutes(int minutes);
    // One minute more: past 59 the hours go up and the minutes become 0; at 99 hours the
    // value stays at 99 h 59 min. The seconds do not change.
    static int addMinute(int value);
    // One minute less: below 0 the hours go down and the minutes become 59; at 0 hours the
    // whole value becomes 0.
    static int removeMinute(int value);
    // One second less with borrows; 0 stays 0.
    static int countDown(int value);

    // The command of a TimerAction (0 exit, 1 exit and power off, 2 exit and suspend; any
    // other value only exits).
    static int actionCommand(int timerAction);

    // The timer menu: commands 33314..33331 and the durations they set.
    struct MenuEntry
    {
        int command;
        int value; // HHMMSS
    };
    static const std::array<MenuEntry, 18> kMenu;
    // The duration of a menu command, or -1 for another command.
    static int menuValue(int command);

    int value() const { return m_value; }
    bool enabled() const { return m_enabled; }
    bool running() const { return m_running; }

    // Lights the display with the stored duration; the countdown stays stopped.
    void enable(int stored);
    // Darkens the display and stops the countdown.
    void disable();
    // Only while enabled: the shown value raised to a minute becomes the running duration.
    // Returns the duration to store, or -1 when the timer is not enabled.
    int start();
    void stop() { m_running = false; }
    // Sets the shown value (menu, arrows, start-up option); the countdown is left as it is.
    void setValue(int value) { m_value = value; }

    // The forwarded half-second tick. Every second call counts one second down while the
    // timer is enabled and running; returns the command to post when the count has just
    // reached 0 (once), else 0.
    int tick(int timerAction);

private:
    int m_value = 0;
    bool m_enabled = false;
    bool m_running = false;
    int m_ticks = 0;
};
