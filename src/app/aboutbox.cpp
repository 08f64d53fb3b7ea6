#include "app/aboutbox.h"

#include "engines/versioninfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Kolvo"));
    setModal(true);

    const QString heading =
        QStringLiteral("Kolvo %1").arg(QString::fromStdString(engines::programVersion()));
    const QString versions = QString::fromStdString(engines::libraryVersions());
    const QString licence = QString::fromStdString(engines::licenceNote());
    m_text = heading + QLatin1Char('\n') + versions + QLatin1String("\n\n") + licence;

    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(heading, this);
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    title->setFont(big);
    layout->addWidget(title);
    layout->addWidget(new QLabel(tr("A skinned multimedia player for the Linux desktop."), this));
    auto* versionLabel = new QLabel(versions, this);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(versionLabel);
    // The note's lines are for a terminal; the box wraps it as one paragraph.
    auto* licenceLabel =
        new QLabel(QString(licence).replace(QLatin1Char('\n'), QLatin1Char(' ')), this);
    licenceLabel->setWordWrap(true);
    layout->addWidget(licenceLabel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutBox::text() const
{
    return m_text;
}
