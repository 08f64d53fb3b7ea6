#pragma once
// The sound output of the general file engine: which PulseAudio output the chains use and how
// much the sound card buffers. Kept in the settings under "Output" ("Device", "BufferMs"), and
// edited in a small dialog (KAMEngine_Config).

#include "platform/messages.h"

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QSpinBox;

namespace engines {

struct OutputConfig
{
    std::string device; // a PulseAudio sink name; "" = the system default
    int bufferMs = 200;
};

constexpr int kMinBufferMs = 40;
constexpr int kMaxBufferMs = 2000;

OutputConfig loadOutputConfig();
bool saveOutputConfig(const OutputConfig& config);
int outputBufferMs();

// The outputs GStreamer's device monitor sees: (PulseAudio name, description).
std::vector<std::pair<std::string, std::string>> audioOutputDevices();

class OutputConfigDialog : public QDialog
{
    Q_OBJECT
public:
    OutputConfigDialog(const OutputConfig& config,
                       const std::vector<std::pair<std::string, std::string>>& devices,
                       QWidget* parent = nullptr);
    OutputConfig config() const;
    QComboBox* deviceBox() const { return m_device; }
    QSpinBox* bufferBox() const { return m_buffer; }

private:
    QComboBox* m_device;
    QSpinBox* m_buffer;
};

// Shows the dialog over the window; saves and returns true when the user confirms it. Without
// a user (KOLVO_NONINTERACTIVE=1) it says so on stderr and returns false.
bool runOutputConfigDialog(HWND owner);

} // namespace engines
