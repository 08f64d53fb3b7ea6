#include "record/fileencodingdialog.h"

#include "platform/strings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace record {

namespace {

constexpr UINT IDS_CLOSE = 1034;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_NUMBER = 2034;
constexpr UINT IDS_FOLDER = 2048;
constexpr UINT IDS_STATUS = 2096;
constexpr UINT IDS_DONE = 2098;
constexpr UINT IDS_CANCEL = 39105;
constexpr UINT IDS_FILE_ENCODING = 39700;
constexpr UINT IDS_ENCODING_OPTIONS = 39701;
constexpr UINT IDS_MPEG_LAYER3 = 39702;
constexpr UINT IDS_REALAUDIO = 39703;
constexpr UINT IDS_BIT_RATE = 39704;
constexpr UINT IDS_FORMAT = 39705;

// The state icons of the list: 2 waiting (and failed), 3 done, 6 working.
enum { kIconWaiting = 2, kIconDone = 3, kIconWorking = 6 };

QIcon stateIcon(int which)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case kIconDone:
        p.setPen(QPen(QColor(0x2E, 0x8B, 0x3A), 2.5));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    case kIconWorking:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x25, 0x6E, 0xC8));
        p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(13, 8), QPointF(4, 13)}));
        break;
    default:
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.5));
        p.setBrush(QColor(0xD8, 0xD8, 0xD8));
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        break;
    }
    return QIcon(pixmap);
}

std::pair<std::string, std::string> splitPath(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace

const std::vector<MpegBitRateEntry>& mpegBitRateTable()
{
    static const std::vector<MpegBitRateEntry> table{
        {"MPEG Layer 3 - 32 kbps", 32},   {"MPEG Layer 3 - 40 kbps", 40},
        {"MPEG Layer 3 - 48 kbps", 48},   {"MPEG Layer 3 - 56 kbps", 56},
        {"MPEG Layer 3 - 64 kbps", 64},   {"MPEG Layer 3 - 80 kbps", 80},
        {"MPEG Layer 3 - 96 kbps", 96},   {"MPEG Layer 3 - 112 kbps", 112},
        {"MPEG Layer 3 - 128 kbps", 128}, {"MPEG Layer 3 - 160 kbps", 160},
        {"MPEG Layer 3 - 192 kbps", 192}, {"MPEG Layer 3 - 224 kbps", 224},
        {"MPEG Layer 3 - 256 kbps", 256}, {"MPEG Layer 3 - 320 kbps", 320},
    };
    return table;
}

int bitRateEntryFor(int kbps)
{
    const auto& table = mpegBitRateTable();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].kbps == kbps)
            return static_cast<int>(i);
    }
    return 8;
}

// ---------------------------------------------------------------------------------------------
// The options sheet

CFileEncodingPropertySheet::CFileEncodingPropertySheet(int bitRate, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(IDS_ENCODING_OPTIONS));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* typeBox = new QWidget(this);
    auto* typeLayout = new QVBoxLayout(typeBox);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    m_types = new QButtonGroup(this);
    auto* mp3 = new QRadioButton(LoadQString(IDS_MPEG_LAYER3), typeBox);
    auto* ra = new QRadioButton(LoadQString(IDS_REALAUDIO), typeBox);
    mp3->setChecked(true);
    m_types->addButton(mp3, 0);
    m_types->addButton(ra, 1);
    typeLayout->addWidget(mp3);
    typeLayout->addWidget(ra);
    form->addRow(LoadQString(IDS_FORMAT), typeBox);

    m_bitRates = new QComboBox(this);
    for (const MpegBitRateEntry& e : mpegBitRateTable())
        m_bitRates->addItem(QString::fromLatin1(e.name), e.kbps);
    m_bitRates->setCurrentIndex(bitRateEntryFor(bitRate));
    form->addRow(LoadQString(IDS_BIT_RATE), m_bitRates);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int CFileEncodingPropertySheet::selectedBitRate() const
{
    return m_bitRates->currentData().toInt();
}

int CFileEncodingPropertySheet::selectedType() const
{
    return m_types->checkedId() < 0 ? 0 : m_types->checkedId();
}

// ---------------------------------------------------------------------------------------------
// The batch dialog

// What the batch tells the dialog, shown in its rows and bars.
class FileEncodingDialog::Rows : public EncodingBatch::Listener
{
public:
    explicit Rows(FileEncodingDialog& d)
        : m_d(d)
    {}

    void fileStarted(int index, const std::string& output) override
    {
        QTreeWidgetItem* row = m_d.m_list->topLevelItem(index);
        row->setIcon(1, stateIcon(kIconWorking));
        row->setText(3, QString::fromStdString(splitPath(output).second));
        m_d.m_list->scrollToItem(row);
        m_d.m_fileBar->setValue(0);
    }

    void progress(int index, int percent) override
    {
        m_d.m_fileBar->setValue(percent);
        m_d.m_list->topLevelItem(index)->setText(
            1, QString::fromStdString(fillIn("%d %%", {std::to_string(percent)})));
        m_d.m_overallBar->setValue(index * 100 + percent);
    }

    void fileEnded(int index, bool success, const std::string& line) override
    {
        QTreeWidgetItem* row = m_d.m_list->topLevelItem(index);
        row->setIcon(1, stateIcon(success ? kIconDone : kIconWaiting));
        if (success)
            row->setText(1, LoadQString(IDS_DONE));
        m_d.m_fileBar->setValue(0);
        m_d.m_overallBar->setValue(std::max(m_d.m_overallBar->value(), (index + 1) * 100));
        m_d.m_log->addItem(QString::fromStdString(line));
        m_d.m_log->setCurrentRow(m_d.m_log->count() - 1);
    }

private:
    FileEncodingDialog& m_d;
};

FileEncodingDialog::FileEncodingDialog(const EncodeJob& job, bool autoClose, QWidget* parent,
                                       int maxWorkers)
    : QDialog(parent)
    , m_job(job)
    , m_autoClose(autoClose)
    , m_maxWorkers(maxWorkers)
{
    setWindowTitle(LoadQString(IDS_FILE_ENCODING));
    resize(620, 460);
    auto* layout = new QVBoxLayout(this);

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnCount(5);
    m_list->setHeaderLabels({LoadQString(IDS_NUMBER), LoadQString(IDS_STATUS),
                             LoadQString(IDS_FILE), LoadQString(IDS_FILE),
                             LoadQString(IDS_FOLDER)});
    const int width = 600;
    const int widths[] = {width / 5, width * 3 / 10, width * 4 / 10, width * 4 / 10, width / 2};
    for (int c = 0; c < 5; ++c)
        m_list->setColumnWidth(c, widths[c]);
    for (size_t i = 0; i < job.files.size(); ++i) {
        auto* row = new QTreeWidgetItem(m_list);
        const auto [folder, name] = splitPath(job.files[i]);
        row->setText(0, QStringLiteral("[%1]").arg(i + 1));
        row->setIcon(1, stateIcon(kIconWaiting));
        row->setText(2, QString::fromStdString(name));
        row->setText(4, QString::fromStdString(folder));
    }
    layout->addWidget(m_list, 3);

    m_fileBar = new QProgressBar(this);
    m_fileBar->setRange(0, 100);
    m_fileBar->setValue(0);
    m_overallBar = new QProgressBar(this);
    m_overallBar->setRange(0, static_cast<int>(job.files.size()) * 100);
    m_overallBar->setValue(0);
    layout->addWidget(m_fileBar);
    layout->addWidget(m_overallBar);

    m_log = new QListWidget(this);
    layout->addWidget(m_log, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancel = new QPushButton(LoadQString(IDS_CANCEL), this);
    connect(m_cancel, &QPushButton::clicked, this, &FileEncodingDialog::cancelClicked);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
}

FileEncodingDialog::~FileEncodingDialog() = default;

void FileEncodingDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_started)
        QTimer::singleShot(0, this, &FileEncodingDialog::startEncoding);
}

void FileEncodingDialog::startEncoding()
{
    if (m_started)
        return;
    m_started = true;
    m_busy = true;
    EncodingBatch batch(m_job, m_maxWorkers);
    m_batch = &batch;
    Rows rows(*this);
    batch.run(rows, [this] {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (onSlice)
            onSlice(*this);
    });
    m_batch = nullptr;
    m_busy = false;
    m_produced = batch.produced();
    if (batch.stopRequested()) {
        done(QDialog::Rejected);
        return;
    }
    m_cancel->setText(LoadQString(IDS_CLOSE));
    if (m_autoClose)
        done(QDialog::Accepted);
}

void FileEncodingDialog::cancelClicked()
{
    if (m_busy) {
        // The files being encoded end at their next chunk; no more start.
        if (m_batch)
            m_batch->requestStop();
        return;
    }
    if (m_started && !m_produced.empty() && m_cancel->text() == LoadQString(IDS_CLOSE)) {
        done(QDialog::Accepted);
        return;
    }
    m_cancelled = true;
    done(QDialog::Rejected);
}

void FileEncodingDialog::reject()
{
    // Escape and the window's close box act as the button.
    cancelClicked();
}

// ---------------------------------------------------------------------------------------------

std::vector<std::string> encodeFilesWithDialog(QWidget* parent,
                                               const std::vector<std::string>& files,
                                               AppSettings& settings,
                                               const std::function<void()>& saveSettings)
{
    if (files.empty())
        return {};
    CFileEncodingPropertySheet sheet(settings.recordMpegBitRate, parent);
    if (sheet.exec() != QDialog::Accepted)
        return {};
    settings.recordMpegBitRate = sheet.selectedBitRate();
    if (saveSettings)
        saveSettings();
    EncodeJob job;
    job.type = sheet.selectedType();
    job.bitRate = settings.recordMpegBitRate;
    job.raProfile = settings.recordRaProfile;
    job.files = files;
    FileEncodingDialog dialog(job, false, parent);
    dialog.exec();
    return dialog.producedFiles();
}

} // namespace record
