// The Wayland side of GlobalHotKeys: the desktop portal's global shortcuts over D-Bus. A session
// is created, every wanted combination is offered in one BindShortcuts (the portal binds a
// session's shortcuts once, so a change closes the session and binds anew in a new one), and
// the portal's Activated signal names the shortcut pressed. Every call is asynchronous but the
// first question (does the portal have global shortcuts at all), which is asked once with a
// short time limit.

#include "platform/hotkeys_portal.h"
#include "platform/hotkeys.h"
#include "platform/log.h"
#include "platform/strings.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString kIdPrefix = QStringLiteral("kolvo-");
constexpr int kProbeMilliseconds = 1000;

struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& s)
{
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& s)
{
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

bool GlobalHotKeys::startPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage probe = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    probe << kInterface << QStringLiteral("version");
    const QDBusMessage answer = bus.call(probe, QDBus::Block, kProbeMilliseconds);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        KLOG_INFO("hotkeys", "the desktop portal has no global shortcuts: %s",
                  answer.errorMessage().toUtf8().constData());
        return false;
    }
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_portal = std::make_unique<Portal>();
    m_portal->bus = bus;
    // Taken as the whole message: the arguments are read here rather than matched to a slot.
    bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                SLOT(onPortalActivated(QDBusMessage)));
    return true;
}

QString GlobalHotKeys::portalRequest(const QString& token, const char* slot)
{
    // The request's object path is known before the call, so its answer cannot be missed.
    QString sender = m_portal->bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    m_portal->bus.connect(kService, path, kRequest, QStringLiteral("Response"), this, slot);
    return path;
}

void GlobalHotKeys::schedulePortalBind()
{
    if (m_portal->bindScheduled)
        return;
    m_portal->bindScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_portal->bindScheduled = false;
        portalBind();
    });
}

void GlobalHotKeys::portalBind()
{
    Portal& p = *m_portal;
    if (p.creating || (!p.session.isEmpty() && p.wanted == p.asked))
        return;
    if (!p.session.isEmpty()) {
        p.bus.asyncCall(QDBusMessage::createMethodCall(kService, p.session, kSessionInterface,
                                                       QStringLiteral("Close")));
        p.session.clear();
        p.asked.clear();
    }
    if (p.wanted.empty())
        return;
    const QString token = QStringLiteral("kolvo%1").arg(++p.requests);
    portalRequest(token, SLOT(onPortalSession(uint, QVariantMap)));
    QDBusMessage create = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                         QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), token}};
    p.creating = true;
    p.bus.asyncCall(create);
}

void GlobalHotKeys::onPortalSession(uint response, const QVariantMap& results)
{
    Portal& p = *m_portal;
    p.creating = false;
    if (response != 0) {
        m_reason = tr("The desktop refused Kolvo a session for global shortcuts.");
        KLOG_WARNING("hotkeys", "the portal refused a global shortcuts session (%u)", response);
        return;
    }
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    p.session = handle.canConvert<QDBusObjectPath>() && handle.value<QDBusObjectPath>().path() != ""
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
    QList<PortalShortcut> shortcuts;
    for (const auto& [id, e] : p.wanted) {
        PortalShortcut s;
        s.id = kIdPrefix + QString::number(id);
        s.properties[QStringLiteral("description")] =
            LoadQString(hotkeys::kFirstCommandName + static_cast<unsigned>(id));
        s.properties[QStringLiteral("preferred_trigger")] = portalTrigger(e);
        shortcuts << s;
    }
    const QString token = QStringLiteral("kolvo%1").arg(++p.requests);
    portalRequest(token, SLOT(onPortalBound(uint, QVariantMap)));
    QDBusMessage bind = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("BindShortcuts"));
    bind << QVariant::fromValue(QDBusObjectPath(p.session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    p.asked = p.wanted;
    p.bus.asyncCall(bind);
}

void GlobalHotKeys::onPortalBound(uint response, const QVariantMap&)
{
    if (response != 0)
        KLOG_WARNING("hotkeys", "the desktop did not bind Kolvo's global shortcuts (%u)", response);
    // Changes made while the portal was asked are offered now.
    if (m_portal->wanted != m_portal->asked)
        schedulePortalBind();
}

void GlobalHotKeys::onPortalActivated(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || !m_portal)
        return;
    const QString session = args[0].value<QDBusObjectPath>().path();
    const QString shortcut = args[1].toString();
    if (session != m_portal->session || !shortcut.startsWith(kIdPrefix))
        return;
    bool ok = false;
    const int id = shortcut.mid(kIdPrefix.size()).toInt(&ok);
    if (ok && m_portal->asked.count(id) && onPressed)
        onPressed(id);
}
