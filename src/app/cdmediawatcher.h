#pragma once
// Watches the CD drive for a disc coming or going, once a second on a worker thread, and posts
// UM_DISC_CHANGE (wParam 1 inserted, 0 removed) to the CD and video players.

#include "platform/messages.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CdMediaWatcher
{
public:
    // How a drive's state is read; the test of a readable disc unless told otherwise.
    using Probe = std::function<bool(const std::string& drive)>;

    explicit CdMediaWatcher(const std::string& drive, Probe probe = {}, int periodMs = 1000);
    ~CdMediaWatcher(); // stops the worker

    // Starts the worker; receivers of 0 are skipped.
    void Start(HWND cdPlayer, HWND videoPlayer);
    void Stop();
    // A new drive: its state becomes the last state seen, without a message.
    void SetDrive(const std::string& drive);
    // From now on only the system's notifications report changes.
    void Pause();

    bool paused() const;

private:
    void run();

    Probe m_probe;
    const int m_periodMs;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::string m_drive;
    bool m_lastState = false;
    bool m_paused = false;
    bool m_stopping = false;
    HWND m_receivers[2] = {0, 0};
    std::thread m_worker;
};
