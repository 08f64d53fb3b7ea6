#pragma once
// The file encoding batch in its window: FileEncodingDialog lists the files with a state icon,
// the percentage and both names, shows a per-file and an overall progress bar and a log line
// per file, and ends with Close (or closes itself when asked to). Before it, the encoding
// options sheet (CFileEncodingPropertySheet) chooses MP3 or RealAudio and the MP3 bit rate
// from the designed 14-entry table. encodeFilesWithDialog runs both, as the file album
// editor's Encode does.

#include "platform/settings.h"
#include "record/encodingbatch.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QComboBox;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace record {

struct MpegBitRateEntry
{
    const char* name;
    int kbps;
};
// "MPEG Layer 3 - 32 kbps" ... "MPEG Layer 3 - 320 kbps".
const std::vector<MpegBitRateEntry>& mpegBitRateTable();
// The entry the sheet selects for a stored "RecordMPEGBitRate": the one of that rate, else the
// ninth (128 kbps).
int bitRateEntryFor(int kbps);

class CFileEncodingPropertySheet : public QDialog
{
    Q_OBJECT
public:
    CFileEncodingPropertySheet(int bitRate, QWidget* parent = nullptr);
    int selectedBitRate() const;
    int selectedType() const; // 0 MPEG Layer 3, 1 RealAudio
    QComboBox* bitRateList() const { return m_bitRates; }

private:
    QComboBox* m_bitRates = nullptr;
    QButtonGroup* m_types = nullptr;
};

class FileEncodingDialog : public QDialog
{
    Q_OBJECT
public:
    // The job is the caller's. autoClose: close when the batch has ended.
    FileEncodingDialog(const EncodeJob& job, bool autoClose, QWidget* parent = nullptr,
                       int maxWorkers = 0);
    ~FileEncodingDialog() override;

    // Runs the batch (the dialog posts itself this when shown).
    void startEncoding();
    const std::vector<std::string>& producedFiles() const { return m_produced; }
    bool cancelled() const { return m_cancelled; }
    bool busy() const { return m_busy; }

    // What tests read: the list, the log, the bars and the button.
    QTreeWidget* fileList() const { return m_list; }
    QListWidget* logList() const { return m_log; }
    QProgressBar* fileBar() const { return m_fileBar; }
    QProgressBar* overallBar() const { return m_overallBar; }
    QPushButton* cancelButton() const { return m_cancel; }

    // Called between the batch's slices; tests use it to press Cancel at a chosen moment.
    std::function<void(FileEncodingDialog&)> onSlice;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    class Rows;
    void cancelClicked();

    const EncodeJob& m_job;
    bool m_autoClose;
    int m_maxWorkers;
    bool m_started = false;
    bool m_busy = false;
    bool m_cancelled = false;
    EncodingBatch* m_batch = nullptr;
    std::vector<std::string> m_produced;
    QTreeWidget* m_list = nullptr;
    QListWidget* m_log = nullptr;
    QProgressBar* m_fileBar = nullptr;
    QProgressBar* m_overallBar = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Encode of the file album editor: the options sheet on the settings (stored on OK through
// saveSettings), then the batch dialog over the files; the files produced (none on Cancel).
std::vector<std::string> encodeFilesWithDialog(QWidget* parent,
                                               const std::vector<std::string>& files,
                                               AppSettings& settings,
                                               const std::function<void()>& saveSettings);

} // namespace record
