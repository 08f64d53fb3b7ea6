#include "engines/outputconfig.h"

#include "engines/gstglue.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "platform/wnd.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace engines {

namespace {

constexpr UINT kIdTitle = 39100;
constexpr UINT kIdDevice = 39101;
constexpr UINT kIdBuffer = 39102;
constexpr UINT kIdDefault = 39103;
constexpr UINT kIdOk = 39104;
constexpr UINT kIdCancel = 39105;

} // namespace

OutputConfig loadOutputConfig()
{
    const Profile profile;
    OutputConfig c;
    c.device = profile.GetProfileString("Output", "Device", "");
    c.bufferMs =
        std::clamp(profile.GetProfileInt("Output", "BufferMs", 200), kMinBufferMs, kMaxBufferMs);
    return c;
}

bool saveOutputConfig(const OutputConfig& config)
{
    paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
    Profile profile;
    profile.WriteProfileString("Output", "Device", config.device);
    profile.WriteProfileInt("Output", "BufferMs",
                            std::clamp(config.bufferMs, kMinBufferMs, kMaxBufferMs));
    return profile.sync();
}

int outputBufferMs()
{
    return loadOutputConfig().bufferMs;
}

std::vector<std::pair<std::string, std::string>> audioOutputDevices()
{
    std::vector<std::pair<std::string, std::string>> out;
    if (!ensureGstreamer())
        return out;
    const GstRef<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Audio/Sink", nullptr);
    if (gst_device_monitor_start(monitor.get())) {
        GList* devices = gst_device_monitor_get_devices(monitor.get());
        for (GList* l = devices; l; l = l->next) {
            auto* device = GST_DEVICE(l->data);
            std::string name;
            if (GstStructure* props = gst_device_get_properties(device)) {
                if (const gchar* n = gst_structure_get_string(props, "device.name"))
                    name = n;
                gst_structure_free(props);
            }
            const GString_ description(gst_device_get_display_name(device));
            if (!name.empty())
                out.emplace_back(name, description ? description.get() : name);
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor.get());
    }
    return out;
}

OutputConfigDialog::OutputConfigDialog(
    const OutputConfig& config, const std::vector<std::pair<std::string, std::string>>& devices,
    QWidget* parent)
    : QDialog(parent)
    , m_device(new QComboBox(this))
    , m_buffer(new QSpinBox(this))
{
    setWindowTitle(LoadQString(kIdTitle));
    m_device->addItem(LoadQString(kIdDefault), QString());
    for (const auto& [name, description] : devices)
        m_device->addItem(QString::fromStdString(description), QString::fromStdString(name));
    const int found = m_device->findData(QString::fromStdString(config.device));
    if (found >= 0) {
        m_device->setCurrentIndex(found);
    } else if (!config.device.empty()) {
        // An output that is not plugged in now keeps its place in the settings.
        m_device->addItem(QString::fromStdString(config.device),
                          QString::fromStdString(config.device));
        m_device->setCurrentIndex(m_device->count() - 1);
    }
    m_buffer->setRange(kMinBufferMs, kMaxBufferMs);
    m_buffer->setSingleStep(20);
    m_buffer->setValue(config.bufferMs);

    auto* form = new QFormLayout(this);
    form->addRow(LoadQString(kIdDevice), m_device);
    form->addRow(LoadQString(kIdBuffer), m_buffer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(LoadQString(kIdOk));
    buttons->button(QDialogButtonBox::Cancel)->setText(LoadQString(kIdCancel));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

OutputConfig OutputConfigDialog::config() const
{
    OutputConfig c;
    c.device = m_device->currentData().toString().toStdString();
    c.bufferMs = m_buffer->value();
    return c;
}

bool runOutputConfigDialog(HWND owner)
{
    const char* nonInteractive = std::getenv("KOLVO_NONINTERACTIVE");
    if (nonInteractive && std::strcmp(nonInteractive, "1") == 0) {
        std::fprintf(stderr, "%s: not shown without a user\n", LoadString(kIdTitle).c_str());
        return false;
    }
    OutputConfigDialog dialog(loadOutputConfig(), audioOutputDevices(), Wnd::fromHandle(owner));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return saveOutputConfig(dialog.config());
}

} // namespace engines
