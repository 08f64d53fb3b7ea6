#include "platform/mediachange.h"

#include <QSocketNotifier>

#include <cstring>
#include <libudev.h>

MediaChangeMonitor::MediaChangeMonitor(Callback callback, QObject* parent)
    : QObject(parent)
    , m_callback(std::move(callback))
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor)
        return;
    udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr);
    if (udev_monitor_enable_receiving(m_monitor) < 0) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MediaChangeMonitor::onReadable);
}

MediaChangeMonitor::~MediaChangeMonitor()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void MediaChangeMonitor::setDrive(const std::string& drive)
{
    m_drive = drive.rfind("/dev/", 0) == 0 ? drive : std::string();
}

int MediaChangeMonitor::Classify(const char* action, const char* mediaChange, const char* media,
                                 const char* ejectRequest)
{
    if (!action || std::strcmp(action, "change") != 0)
        return -1;
    if (ejectRequest && std::strcmp(ejectRequest, "1") == 0)
        return 0;
    if (!mediaChange || std::strcmp(mediaChange, "1") != 0)
        return -1;
    return (media && std::strcmp(media, "1") == 0) ? 1 : 0;
}

void MediaChangeMonitor::onReadable()
{
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (!device)
        return;
    const char* node = udev_device_get_devnode(device);
    if (!m_drive.empty() && node && m_drive == node) {
        const int kind = Classify(udev_device_get_action(device),
                                  udev_device_get_property_value(device, "DISK_MEDIA_CHANGE"),
                                  udev_device_get_property_value(device, "ID_CDROM_MEDIA"),
                                  udev_device_get_property_value(device, "DISK_EJECT_REQUEST"));
        if (kind >= 0 && m_callback)
            m_callback(kind == 1);
    }
    udev_device_unref(device);
}
