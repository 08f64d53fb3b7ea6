#include "platform/wnd.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimerEvent>

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent
{
public:
    MessageEvent(UINT msg, WPARAM w, LPARAM l)
        : QEvent(kMessageEventType)
        , message(msg)
        , wParam(w)
        , lParam(l)
    {}
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Handles are never reused, so a message posted to a window that has gone cannot reach a
// newer window that happens to sit at the same address.
std::mutex g_registryMutex;
std::unordered_map<HWND, Wnd*> g_registry;
std::atomic<HWND> g_nextHandle{1};

} // namespace

Wnd::Wnd(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , m_handle(g_nextHandle.fetch_add(1))
{
    std::lock_guard lock(g_registryMutex);
    g_registry.emplace(m_handle, this);
}

Wnd::~Wnd()
{
    // Unregistered before QObject's destructor drops the pending posted events, so no post can
    // slip in between.
    std::lock_guard lock(g_registryMutex);
    g_registry.erase(m_handle);
}

Wnd* Wnd::fromHandle(HWND handle)
{
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(handle);
    return it == g_registry.end() ? nullptr : it->second;
}

LRESULT Wnd::sendMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (QThread::currentThread() == thread())
        return onMessage(msg, wParam, lParam);
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        this, [&] { result = onMessage(msg, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
}

bool Wnd::postMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return postTo(m_handle, msg, wParam, lParam);
}

LRESULT Wnd::sendTo(HWND target, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Wnd* w = fromHandle(target);
    return w ? w->sendMessage(msg, wParam, lParam) : 0;
}

bool Wnd::postTo(HWND target, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(target);
    if (it == g_registry.end())
        return false;
    QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam));
    return true;
}

void Wnd::setTimer(UINT id, int milliseconds)
{
    clearTimer(id);
    const int qtId = startTimer(milliseconds, Qt::PreciseTimer);
    if (qtId != 0)
        m_timers[id] = qtId;
}

void Wnd::clearTimer(UINT id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    killTimer(it->second);
    m_timers.erase(it);
}

LRESULT Wnd::onMessage(UINT, WPARAM, LPARAM)
{
    return 0;
}

bool Wnd::event(QEvent* e)
{
    if (e->type() == kMessageEventType) {
        auto* m = static_cast<MessageEvent*>(e);
        onMessage(m->message, m->wParam, m->lParam);
        return true;
    }
    return QWidget::event(e);
}

void Wnd::timerEvent(QTimerEvent* e)
{
    // The handler may set or clear timers, so the id is looked up before it runs.
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == e->timerId()) {
            const UINT programId = id;
            onMessage(WM_TIMER, programId, 0);
            return;
        }
    }
    QWidget::timerEvent(e);
}
