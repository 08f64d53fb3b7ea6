#pragma once
// CdCopyDialog: the digital copy of CD tracks in its window. One row per selected track (its
// number, a state icon and status text, the output file, the track title), a per-track and an
// overall progress bar, and Cancel (Close when all is done). It runs a CdCopier, which it
// starts itself when shown; afterwards the caller takes producedFiles().

#include "record/cdcopy.h"

#include <QDialog>

#include <memory>

class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace record {

class CdCopyDialog : public QDialog
{
    Q_OBJECT
public:
    CdCopyDialog(RecordJob& job, bool autoClose, QWidget* parent = nullptr);
    ~CdCopyDialog() override;

    const std::vector<std::string>& producedFiles() const { return m_copier->producedFiles(); }
    CdCopier& copier() const { return *m_copier; }

    QTreeWidget* trackList() const { return m_list; }
    QProgressBar* trackBar() const { return m_trackBar; }
    QProgressBar* overallBar() const { return m_overallBar; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    class Rows;
    bool m_autoClose;
    bool m_started = false;
    std::unique_ptr<Rows> m_rows;
    std::unique_ptr<CdCopier> m_copier;
    QTreeWidget* m_list = nullptr;
    QProgressBar* m_trackBar = nullptr;
    QProgressBar* m_overallBar = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace record
