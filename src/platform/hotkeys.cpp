#include "platform/hotkeys.h"

#include "platform/hotkeys_portal.h"
#include "platform/log.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace hotkeys {

int indexOf(int id)
{
    if (id < 0)
        return -1;
    const int group = id / 100;
    const int position = id % 100;
    if (group >= kGroups || position >= kPerGroup)
        return -1;
    return group * kPerGroup + position;
}

int idAt(int index)
{
    return idOf(index / kPerGroup, index % kPerGroup);
}

Table DefaultTable()
{
    Table t{};
    auto set = [&t](int id, std::uint32_t modifiers, char key) {
        t[static_cast<size_t>(indexOf(id))] = entry(modifiers, static_cast<std::uint32_t>(key));
    };
    const std::uint32_t ctrlAlt = kControl | kAlt;
    const std::uint32_t ctrlShift = kControl | kShift;
    // Component commands.
    set(0, ctrlAlt, 'X');
    set(1, ctrlAlt, 'C');
    set(2, ctrlAlt, 'D');
    set(3, ctrlAlt, 'M');
    set(4, ctrlAlt, 'V');
    set(5, ctrlShift, 'C');
    set(6, ctrlShift, 'D');
    set(7, ctrlShift, 'M');
    set(8, ctrlShift, 'V');
    // Playback commands.
    const char playback[] = "OSPRBFTNWUA";
    for (int p = 0; playback[p]; ++p)
        set(100 + p, ctrlShift, playback[p]);
    // Other commands.
    const char other[] = "RSOATPH";
    for (int p = 0; other[p]; ++p)
        set(200 + p, ctrlAlt, other[p]);
    return t;
}

std::vector<std::pair<int, std::uint32_t>> GroupEntries(const Table& table, int group)
{
    std::vector<std::pair<int, std::uint32_t>> out;
    if (group < 0 || group >= kGroups)
        return out;
    for (int p = 0; p < kPerGroup; ++p) {
        const std::uint32_t e = table[static_cast<size_t>(group * kPerGroup + p)];
        if (e == 0)
            break;
        out.emplace_back(idOf(group, p), e);
    }
    return out;
}

std::string KeyText(std::uint32_t e)
{
    const std::uint32_t modifiers = e >> 16;
    const unsigned key = e & 0xFFFF;
    std::string text;
    auto add = [&text](const std::string& part) {
        if (!text.empty())
            text += "+";
        text += part;
    };
    if (modifiers & kControl)
        add("Ctrl");
    if (modifiers & kAlt)
        add("Alt");
    if (modifiers & kShift)
        add("Shift");
    static const std::map<unsigned, std::string> names = [] {
        std::map<unsigned, std::string> m;
        const char* const moves[] = {"Page Up", "Page Down", "End",   "Home",
                                     "Left",    "Up",        "Right", "Down"};
        for (unsigned i = 0; i < 8; ++i)
            m[0x21 + i] = moves[i];
        m[0x2D] = "Insert";
        m[0x14] = "Caps Lock";
        m[0x91] = "Scroll Lock";
        m[0x90] = "Num Lock";
        char name[16];
        for (unsigned i = 0; i < 12; ++i) {
            std::snprintf(name, sizeof name, "F%u", i + 1);
            m[0x70 + i] = name;
        }
        for (unsigned i = 0; i < 10; ++i) {
            std::snprintf(name, sizeof name, "Num %u", i);
            m[0x60 + i] = name;
        }
        m[0x6A] = "Num *";
        m[0x6B] = "Num +";
        m[0x6D] = "Num -";
        m[0x6E] = "Num Del";
        return m;
    }();
    const auto named = names.find(key);
    if (named != names.end()) {
        add(named->second);
    } else {
        char c[8];
        std::snprintf(c, sizeof c, "%c", static_cast<int>(key & 0xFF));
        add(c);
    }
    return text;
}

} // namespace hotkeys

namespace {

// The X key symbol of a virtual-key code, or NoSymbol.
KeySym keySymOf(unsigned vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return XK_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B)
        return XK_F1 + (vk - 0x70);
    if (vk >= 0x60 && vk <= 0x69)
        return XK_KP_0 + (vk - 0x60);
    switch (vk) {
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2D:
        return XK_Insert;
    case 0x14:
        return XK_Caps_Lock;
    case 0x91:
        return XK_Scroll_Lock;
    case 0x90:
        return XK_Num_Lock;
    case 0x6A:
        return XK_KP_Multiply;
    case 0x6B:
        return XK_KP_Add;
    case 0x6D:
        return XK_KP_Subtract;
    case 0x6E:
        return XK_KP_Decimal;
    case 0x20:
        return XK_space;
    default:
        return NoSymbol;
    }
}

// Errors of our own connection are collected here while a request batch is synced; Xlib's
// default handler would end the program on the BadAccess of a taken key.
int g_lastError = 0;
int collectError(Display*, XErrorEvent* event)
{
    g_lastError = event->error_code;
    return 0;
}

bool isWaylandSession()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") &&
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

} // namespace

struct GlobalHotKeys::X11
{
    struct Grab
    {
        unsigned keycode = 0;
        unsigned modifiers = 0; // X modifier mask, without the lock modifiers
    };

    Display* display = nullptr;
    Window root = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    std::map<int, Grab> grabs;
    unsigned lockMasks[3] = {LockMask, 0, 0}; // Caps Lock, Num Lock, Scroll Lock

    ~X11()
    {
        notifier.reset();
        if (display)
            XCloseDisplay(display);
    }

    unsigned maskOfKeySym(KeySym sym) const
    {
        unsigned mask = 0;
        XModifierKeymap* map = XGetModifierMapping(display);
        if (!map)
            return 0;
        const KeyCode code = XKeysymToKeycode(display, sym);
        for (int m = 0; code && m < 8; ++m)
            for (int k = 0; k < map->max_keypermod; ++k)
                if (map->modifiermap[m * map->max_keypermod + k] == code)
                    mask = 1u << m;
        XFreeModifiermap(map);
        return mask;
    }

    // Every combination of the lock modifiers, so a key works whatever locks are lit.
    std::vector<unsigned> lockVariants() const
    {
        std::vector<unsigned> out;
        for (unsigned bits = 0; bits < 8; ++bits) {
            unsigned mask = 0;
            bool valid = true;
            for (int i = 0; i < 3; ++i)
                if (bits & (1u << i)) {
                    valid = valid && lockMasks[i] != 0;
                    mask |= lockMasks[i];
                }
            if (valid)
                out.push_back(mask);
        }
        return out;
    }

    // Runs a batch of requests and returns the first error code they caused (0 for none).
    template <typename F>
    int synced(F&& requests)
    {
        g_lastError = 0;
        XErrorHandler previous = XSetErrorHandler(collectError);
        requests();
        XSync(display, False);
        XSetErrorHandler(previous);
        return g_lastError;
    }

    void ungrab(const Grab& g)
    {
        synced([&] {
            for (unsigned lock : lockVariants())
                XUngrabKey(display, static_cast<int>(g.keycode), g.modifiers | lock, root);
        });
    }
};

GlobalHotKeys::GlobalHotKeys(QObject* parent)
    : QObject(parent)
{
    if (isWaylandSession()) {
        if (!startPortal())
            m_reason = tr("Global hot keys need an X11 session, or a desktop portal with global "
                          "shortcuts; this Wayland desktop has none.");
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        m_reason = tr("Global hot keys need an X11 display; none is set (DISPLAY).");
        return;
    }
    auto x = std::make_unique<X11>();
    x->display = XOpenDisplay(nullptr);
    if (!x->display) {
        m_reason = tr("Global hot keys need an X11 display; %1 cannot be opened.")
                       .arg(qEnvironmentVariable("DISPLAY"));
        return;
    }
    x->root = DefaultRootWindow(x->display);
    x->lockMasks[1] = x->maskOfKeySym(XK_Num_Lock);
    x->lockMasks[2] = x->maskOfKeySym(XK_Scroll_Lock);
    // Key releases would only repeat the presses; auto-repeat sends presses while held.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x->display, True, &supported);
    x->notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(x->display), QSocketNotifier::Read);
    X11* raw = x.get();
    connect(x->notifier.get(), &QSocketNotifier::activated, this, [this, raw] {
        while (XPending(raw->display)) {
            XEvent event;
            XNextEvent(raw->display, &event);
            if (event.type != KeyPress)
                continue;
            const int id = idForKeyPress(event.xkey.keycode, event.xkey.state);
            if (id >= 0 && onPressed)
                onPressed(id);
        }
    });
    m_x11 = std::move(x);
}

GlobalHotKeys::~GlobalHotKeys()
{
    if (m_portal && !m_portal->session.isEmpty())
        m_portal->bus.asyncCall(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), m_portal->session,
            QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
    m_portal.reset();
    unregisterAll();
}

GlobalHotKeys::Backend GlobalHotKeys::backend() const
{
    return m_x11 ? Backend::X11 : m_portal ? Backend::Portal : Backend::NoBackend;
}

QString GlobalHotKeys::unavailableReason() const
{
    return m_reason;
}

QString GlobalHotKeys::note() const
{
    if (!m_portal)
        return {};
    return tr("This Wayland desktop binds Kolvo's hot keys itself: it may ask you first, or give "
              "a command other keys than those listed here.");
}

GlobalHotKeys::Result GlobalHotKeys::registerKey(int id, std::uint32_t e)
{
    if (m_portal) {
        // The desktop binds it (or another combination it chooses) when the portal answers.
        m_portal->wanted[id] = e;
        schedulePortalBind();
        return Result::Registered;
    }
    if (!m_x11)
        return Result::Unavailable;
    unregisterKey(id);
    const KeySym sym = keySymOf(e & 0xFFFF);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(m_x11->display, sym);
    if (code == 0)
        return Result::Invalid;
    const std::uint32_t m = e >> 16;
    X11::Grab grab;
    grab.keycode = code;
    grab.modifiers = ((m & hotkeys::kAlt) ? Mod1Mask : 0u) |
                     ((m & hotkeys::kControl) ? ControlMask : 0u) |
                     ((m & hotkeys::kShift) ? ShiftMask : 0u);
    const int error = m_x11->synced([&] {
        for (unsigned lock : m_x11->lockVariants())
            XGrabKey(m_x11->display, code, grab.modifiers | lock, m_x11->root, False, GrabModeAsync,
                     GrabModeAsync);
    });
    if (error != 0) {
        // Some variants may have been ours before the refusal: give them back.
        m_x11->ungrab(grab);
        KLOG_INFO("hotkeys", "%s is held by another program (X error %d)",
                  hotkeys::KeyText(e).c_str(), error);
        return Result::Taken;
    }
    m_x11->grabs[id] = grab;
    return Result::Registered;
}

void GlobalHotKeys::unregisterKey(int id)
{
    if (m_portal && m_portal->wanted.erase(id) != 0)
        schedulePortalBind();
    if (!m_x11)
        return;
    const auto it = m_x11->grabs.find(id);
    if (it == m_x11->grabs.end())
        return;
    m_x11->ungrab(it->second);
    m_x11->grabs.erase(it);
}

void GlobalHotKeys::unregisterAll()
{
    if (m_portal) {
        m_portal->wanted.clear();
        schedulePortalBind();
    }
    if (!m_x11)
        return;
    while (!m_x11->grabs.empty())
        unregisterKey(m_x11->grabs.begin()->first);
}

bool GlobalHotKeys::isRegistered(int id) const
{
    if (m_portal)
        return m_portal->wanted.count(id) != 0;
    return m_x11 && m_x11->grabs.count(id) != 0;
}

QString GlobalHotKeys::portalTrigger(std::uint32_t e)
{
    // The shortcut form the portal takes (XDG shortcuts): modifiers, then the keysym name.
    const std::uint32_t m = e >> 16;
    QStringList parts;
    if (m & hotkeys::kControl)
        parts << QStringLiteral("CTRL");
    if (m & hotkeys::kAlt)
        parts << QStringLiteral("ALT");
    if (m & hotkeys::kShift)
        parts << QStringLiteral("SHIFT");
    const KeySym sym = keySymOf(e & 0xFFFF);
    const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym);
    parts << QString::fromLatin1(name ? name : "");
    return parts.join(QLatin1Char('+'));
}

int GlobalHotKeys::idForKeyPress(unsigned keycode, unsigned state) const
{
    if (!m_x11)
        return -1;
    unsigned locks = 0;
    for (unsigned mask : m_x11->lockMasks)
        locks |= mask;
    const unsigned modifiers = state & ~locks & (ShiftMask | ControlMask | Mod1Mask);
    for (const auto& [id, grab] : m_x11->grabs)
        if (grab.keycode == keycode && grab.modifiers == modifiers)
            return id;
    return -1;
}
