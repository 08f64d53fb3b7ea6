#include "record/cdcopydialog.h"

#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace record {

namespace {

constexpr UINT IDS_CLOSE = 1034;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_TRACK = 2033;
constexpr UINT IDS_NUMBER = 2034;
constexpr UINT IDS_STATUS = 2096;
constexpr UINT IDS_CANCEL = 39105;
constexpr UINT IDS_CD_COPY = 39706;

// The row icons, drawn on a magenta key as the designed bitmap is: 2 waiting, 3 done,
// 5 reading, 6 encoding.
QIcon rowIcon(CdCopier::RowIcon which)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(0xFF, 0x00, 0xFF));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        switch (which) {
        case CdCopier::RowIcon::Done:
            p.setPen(QPen(QColor(0x2E, 0x8B, 0x3A), 2));
            p.drawPolyline(QPolygon({QPoint(3, 8), QPoint(6, 12), QPoint(13, 4)}));
            break;
        case CdCopier::RowIcon::Reading: // a disc
            p.setPen(QColor(0x40, 0x40, 0x40));
            p.setBrush(QColor(0xC8, 0xD8, 0xE8));
            p.drawEllipse(QRect(2, 2, 12, 12));
            p.setBrush(QColor(0xFF, 0x00, 0xFF));
            p.drawEllipse(QRect(6, 6, 4, 4));
            break;
        case CdCopier::RowIcon::Encoding: // a cog-like square
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x25, 0x6E, 0xC8));
            p.drawRect(QRect(4, 4, 8, 8));
            p.drawRect(QRect(7, 2, 2, 12));
            p.drawRect(QRect(2, 7, 12, 2));
            break;
        default:
            p.setPen(QColor(0x70, 0x70, 0x70));
            p.setBrush(QColor(0xD8, 0xD8, 0xD8));
            p.drawEllipse(QRect(4, 4, 8, 8));
            break;
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(pixmap.createMaskFromColor(QColor(0xFF, 0x00, 0xFF)));
    return QIcon(pixmap);
}

} // namespace

class CdCopyDialog::Rows : public CdCopier::Listener
{
public:
    explicit Rows(CdCopyDialog& d)
        : m_d(d)
    {}
    void rowIcon(int row, CdCopier::RowIcon icon) override
    {
        if (QTreeWidgetItem* item = m_d.m_list->topLevelItem(row))
            item->setIcon(1, record::rowIcon(icon));
    }
    void rowFile(int row, const std::string& path) override
    {
        if (QTreeWidgetItem* item = m_d.m_list->topLevelItem(row)) {
            item->setText(2, QString::fromStdString(path));
            m_d.m_list->scrollToItem(item);
        }
    }
    void rowStatus(int row, const std::string& text) override
    {
        if (QTreeWidgetItem* item = m_d.m_list->topLevelItem(row))
            item->setText(1, QString::fromStdString(text));
    }
    void bars(int percent, int overall) override
    {
        m_d.m_trackBar->setValue(percent);
        m_d.m_overallBar->setValue(overall);
    }
    void message(const std::string& text) override
    {
        KolvoMessageBox(&m_d, QString::fromStdString(text), MessageIcon::Information);
    }
    void ended(bool allDone) override
    {
        if (allDone) {
            m_d.m_cancel->setText(LoadQString(IDS_CLOSE));
            if (m_d.m_autoClose)
                QTimer::singleShot(0, &m_d, [d = &m_d] { d->done(QDialog::Accepted); });
        } else {
            QTimer::singleShot(0, &m_d, [d = &m_d] { d->done(QDialog::Rejected); });
        }
    }

private:
    CdCopyDialog& m_d;
};

CdCopyDialog::CdCopyDialog(RecordJob& job, bool autoClose, QWidget* parent)
    : QDialog(parent)
    , m_autoClose(autoClose)
{
    setWindowTitle(LoadQString(IDS_CD_COPY));
    resize(560, 360);
    auto* layout = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({LoadQString(IDS_NUMBER), LoadQString(IDS_STATUS),
                             LoadQString(IDS_FILE), LoadQString(IDS_TRACK)});
    const int width = 540;
    const int widths[] = {width / 5, width * 3 / 10, width / 2, width / 2};
    for (int c = 0; c < 4; ++c)
        m_list->setColumnWidth(c, widths[c]);
    for (std::uint32_t track : job.selectedTracks) {
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(0, QStringLiteral("[%1]").arg(track));
        if (track >= 1 && track <= job.trackTitles.size())
            row->setText(3, QString::fromStdString(job.trackTitles[track - 1]));
        row->setData(0, Qt::UserRole, track);
        row->setIcon(1, rowIcon(CdCopier::RowIcon::Waiting));
    }
    layout->addWidget(m_list, 1);
    m_trackBar = new QProgressBar(this);
    m_trackBar->setRange(0, 100);
    m_trackBar->setValue(0);
    m_overallBar = new QProgressBar(this);
    m_overallBar->setRange(0, static_cast<int>(job.selectedTracks.size()) * 100);
    m_overallBar->setValue(0);
    layout->addWidget(m_trackBar);
    layout->addWidget(m_overallBar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancel = new QPushButton(LoadQString(IDS_CANCEL), this);
    connect(m_cancel, &QPushButton::clicked, this, &CdCopyDialog::reject);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    m_rows = std::make_unique<Rows>(*this);
    m_copier = std::make_unique<CdCopier>(job, *m_rows);
}

CdCopyDialog::~CdCopyDialog()
{
    m_copier.reset();
}

void CdCopyDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        setCursor(Qt::WaitCursor);
        QTimer::singleShot(0, this, [this] {
            unsetCursor();
            m_copier->start();
        });
    }
}

void CdCopyDialog::reject()
{
    if (m_cancel->text() == LoadQString(IDS_CLOSE)) {
        done(QDialog::Accepted);
        return;
    }
    // While a track is copied this only asks for a stop; the copier then ends the window.
    const bool wasBusy = m_copier->busy();
    m_copier->cancel();
    if (!wasBusy && m_copier->cancelled())
        done(QDialog::Rejected);
}

} // namespace record
