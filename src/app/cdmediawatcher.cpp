#include "app/cdmediawatcher.h"

#include "platform/cdrom.h"
#include "platform/wnd.h"
#include "players/component.h"

CdMediaWatcher::CdMediaWatcher(const std::string& drive, Probe probe, int periodMs)
    : m_probe(probe ? std::move(probe) : Probe(cdrom::IsDiscReadable))
    , m_periodMs(periodMs)
    , m_drive(drive)
    , m_lastState(m_probe(drive))
{}

CdMediaWatcher::~CdMediaWatcher()
{
    Stop();
}

void CdMediaWatcher::Start(HWND cdPlayer, HWND videoPlayer)
{
    std::lock_guard lock(m_lock);
    if (m_worker.joinable())
        return;
    m_receivers[0] = cdPlayer;
    m_receivers[1] = videoPlayer;
    m_stopping = false;
    m_worker = std::thread([this] { run(); });
}

void CdMediaWatcher::Stop()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void CdMediaWatcher::SetDrive(const std::string& drive)
{
    // Probed outside the lock: reading a disc can take a while.
    const bool state = m_probe(drive);
    std::lock_guard lock(m_lock);
    if (drive == m_drive)
        return;
    m_drive = drive;
    m_lastState = state;
}

void CdMediaWatcher::Pause()
{
    std::lock_guard lock(m_lock);
    m_paused = true;
}

bool CdMediaWatcher::paused() const
{
    std::lock_guard lock(m_lock);
    return m_paused;
}

void CdMediaWatcher::run()
{
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
        if (!m_paused) {
            const std::string drive = m_drive;
            lock.unlock();
            const bool state = m_probe(drive);
            lock.lock();
            if (!m_stopping && drive == m_drive && state != m_lastState) {
                m_lastState = state;
                for (HWND receiver : m_receivers)
                    if (receiver)
                        Wnd::postTo(receiver, UM_DISC_CHANGE, state ? 1 : 0, 0);
            }
        }
        m_wake.wait_for(lock, std::chrono::milliseconds(m_periodMs), [this] { return m_stopping; });
    }
}
