#pragma once
// The system's word that a disc went into or came out of a drive: udev's change events for the
// drive's block device (the media-change uevent with ID_CDROM_MEDIA). Images and folders have
// no such events; neither has a system without udev, where the callback simply never comes.

#include <QObject>

#include <functional>
#include <string>

struct udev;
struct udev_monitor;
class QSocketNotifier;

class MediaChangeMonitor : public QObject
{
    Q_OBJECT
public:
    // arrival: true when a disc came, false when it went.
    using Callback = std::function<void(bool arrival)>;

    explicit MediaChangeMonitor(Callback callback, QObject* parent = nullptr);
    ~MediaChangeMonitor() override;

    // The device node to watch ("/dev/sr0"); anything else watches nothing.
    void setDrive(const std::string& drive);
    // Whether udev events can arrive at all.
    bool listening() const { return m_monitor != nullptr; }

    // What an event of a drive means, given its properties: 1 arrival, 0 removal, -1 not a
    // media change.
    static int Classify(const char* action, const char* mediaChange, const char* media,
                        const char* ejectRequest);

private:
    void onReadable();

    Callback m_callback;
    std::string m_drive;
    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};
