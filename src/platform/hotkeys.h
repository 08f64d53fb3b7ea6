#pragma once
// Global hot keys: the program's fixed table of key combinations (five groups of twenty 32-bit
// entries, the modifier flags in the high word and a Windows virtual-key code in the low word,
// 0 ending a group), the text a combination is shown as, and the registration of combinations
// with the desktop so that they reach the program whichever window has the keyboard.
//
// On an X11 session a combination is a passive key grab on the root window, taken on a
// connection of our own (whatever Qt's platform is) with every variant of the lock modifiers
// (Caps Lock, Num Lock, Scroll Lock), so that a lit Num Lock does not disable the keys. A grab
// another program holds is reported per key, never fatal. On Wayland the combinations are
// offered to the desktop portal's global shortcuts (org.freedesktop.portal.GlobalShortcuts)
// when the portal has them: the desktop binds them (it may ask the user, or choose other keys)
// and reports their activation. Elsewhere registration says it is unavailable.

#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hotkeys {

constexpr int kGroups = 5;
constexpr int kPerGroup = 20;
constexpr int kEntries = kGroups * kPerGroup;
// Modifier flags in the entries' high word.
constexpr std::uint32_t kAlt = 1;
constexpr std::uint32_t kControl = 2;
constexpr std::uint32_t kShift = 4;
// String ids: group names 2500 + group, command names 2600 + id.
constexpr unsigned kFirstGroupName = 2500;
constexpr unsigned kFirstCommandName = 2600;
constexpr int kNamedGroups = 3;

using Table = std::array<std::uint32_t, kEntries>;

constexpr std::uint32_t entry(std::uint32_t modifiers, std::uint32_t virtualKey)
{
    return (modifiers << 16) | virtualKey;
}
constexpr int idOf(int group, int position)
{
    return group * 100 + position;
}
// The table position of an id (group * 20 + position), or -1 for an id outside the table.
int indexOf(int id);
int idAt(int index);

// The defaults the table is set to at every start (the table is not stored).
Table DefaultTable();
// The entries of a group in order, up to its first 0 (at most 20): (id, entry).
std::vector<std::pair<int, std::uint32_t>> GroupEntries(const Table& table, int group);
// "Ctrl+Alt+X": the modifiers that are set in the order Ctrl, Alt, Shift, then the key's name
// (named keys by the designed names, any other key as the character of its code).
std::string KeyText(std::uint32_t entry);

} // namespace hotkeys

class GlobalHotKeys : public QObject
{
    Q_OBJECT
public:
    enum class Backend { NoBackend, X11, Portal };
    enum class Result {
        Registered,
        Taken,       // another program holds the combination
        Unavailable, // no way to register global keys in this session
        Invalid,     // a key this desktop has no key code for
    };

    explicit GlobalHotKeys(QObject* parent = nullptr);
    ~GlobalHotKeys() override;

    Backend backend() const;
    // Why global keys cannot be had here (empty when they can).
    QString unavailableReason() const;
    // What the user should know about keys that can be had (the portal's say in them), or "".
    QString note() const;

    // Registers one combination under an id; a second registration of the id replaces it.
    Result registerKey(int id, std::uint32_t entry);
    void unregisterKey(int id);
    void unregisterAll();
    bool isRegistered(int id) const;

    // Called with the id whenever a registered combination is pressed.
    std::function<void(int id)> onPressed;

    // What a key press with this X key code and modifier state means: the id, or -1. For the
    // event handling and for tests.
    int idForKeyPress(unsigned keycode, unsigned state) const;

    // The trigger the portal is offered for an entry ("CTRL+SHIFT+p").
    static QString portalTrigger(std::uint32_t entry);

private slots:
    void onPortalSession(uint response, const QVariantMap& results);
    void onPortalBound(uint response, const QVariantMap& results);
    void onPortalActivated(const QDBusMessage& message);

private:
    struct X11;
    struct Portal;
    bool startPortal();
    void schedulePortalBind();
    void portalBind();
    QString portalRequest(const QString& token, const char* slot);

    std::unique_ptr<X11> m_x11;
    std::unique_ptr<Portal> m_portal;
    QString m_reason;
};
