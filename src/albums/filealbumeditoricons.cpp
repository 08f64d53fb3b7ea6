// The file album editor's toolbar pictures: drawn by us where the desktop's style has none.

#include "albums/filealbumeditoricons.h"

#include "albums/drawnicon.h"
#include "albums/filealbumeditor.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QStyle>

namespace {

using drawn::kAccent;
using drawn::kInk;
const QColor kPaper(0xf8, 0xfa, 0xfd);

void drawNote(QPainter& p, qreal x, qreal y)
{
    p.setPen(QPen(kInk, 1.4));
    p.drawLine(QPointF(x + 4, y + 11), QPointF(x + 4, y));
    p.drawLine(QPointF(x + 4, y), QPointF(x + 9, y + 2));
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(x + 2, y + 11.5), 2.6, 2);
}

void drawPlus(QPainter& p, qreal x, qreal y)
{
    p.setPen(QPen(QColor(0x2e, 0x9a, 0x3c), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x - 3.5, y), QPointF(x + 3.5, y));
    p.drawLine(QPointF(x, y - 3.5), QPointF(x, y + 3.5));
}

void drawFolder(QPainter& p, qreal x, qreal y, qreal w, qreal h)
{
    p.setPen(QPen(kInk.lighter(130), 1));
    p.setBrush(QColor(0xf2, 0xc9, 0x5c));
    QPolygonF shape;
    shape << QPointF(x, y + 2) << QPointF(x + w * 0.4, y + 2) << QPointF(x + w * 0.5, y + 4)
          << QPointF(x + w, y + 4) << QPointF(x + w, y + h) << QPointF(x, y + h);
    p.drawPolygon(shape);
}

void drawPage(QPainter& p, qreal x, qreal y)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(x + 0.5, y + 0.5, 11, 14));
    p.setPen(QPen(kInk.lighter(160), 0.8));
    for (qreal ly = y + 4; ly < y + 13; ly += 2.5)
        p.drawLine(QPointF(x + 2.5, ly), QPointF(x + 9.5, ly));
}

} // namespace

QIcon FileAlbumEditorIcon(QStyle* style, int command)
{
    using E = FileAlbumEditor;
    switch (command) {
    case E::NewCommand:
        return drawnIcon([](QPainter& p) {
            drawPage(p, 2, 2);
            drawPlus(p, 14.5, 14.5);
        });
    case E::SaveAsCommand:
        return style->standardIcon(QStyle::SP_DialogSaveButton);
    case E::PropertiesCommand:
        return style->standardIcon(QStyle::SP_FileDialogInfoView);
    case E::DeleteCommand:
        return style->standardIcon(QStyle::SP_TrashIcon);
    case E::CloseCommand:
        return style->standardIcon(QStyle::SP_DialogCloseButton);
    case E::AddFilesCommand:
        return drawnIcon([](QPainter& p) {
            drawNote(p, 3, 2);
            drawPlus(p, 14.5, 14.5);
        });
    case E::AddFolderCommand:
        return drawnIcon([](QPainter& p) {
            drawFolder(p, 1, 3, 15, 12);
            drawPlus(p, 15, 15);
        });
    case E::AddFolderTreeCommand:
        return drawnIcon([](QPainter& p) {
            drawFolder(p, 1, 1, 12, 9);
            drawFolder(p, 4, 6, 12, 9);
            drawPlus(p, 15.5, 15.5);
        });
    case E::AddUrlCommand:
        return drawnIcon([](QPainter& p) {
            drawn::drawGlobe(p, 8.5, 8.5, 7, 3);
            drawPlus(p, 15.5, 15.5);
        });
    case E::ImportCommand:
        return style->standardIcon(QStyle::SP_DialogOpenButton);
    case E::ExportCommand:
        return drawnIcon([](QPainter& p) {
            drawPage(p, 1, 3);
            QPolygonF arrow;
            arrow << QPointF(9, 9) << QPointF(14, 9) << QPointF(14, 6) << QPointF(19, 11)
                  << QPointF(14, 16) << QPointF(14, 13) << QPointF(9, 13);
            drawn::drawArrowShape(p, arrow);
        });
    case E::ShuffleCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            QPainterPath a, b;
            a.moveTo(2, 5);
            a.cubicTo(9, 5, 9, 15, 16, 15);
            b.moveTo(2, 15);
            b.cubicTo(9, 15, 9, 5, 16, 5);
            p.drawPath(a);
            p.drawPath(b);
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            p.drawPolygon(QPolygonF{QPointF(15, 2), QPointF(19, 5), QPointF(15, 8)});
            p.drawPolygon(QPolygonF{QPointF(15, 12), QPointF(19, 15), QPointF(15, 18)});
        });
    case E::SortByFileNameCommand:
    case E::SortByExtensionCommand:
    case E::SortByFolderCommand:
    case E::SortByDescriptionCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
            for (int i = 0; i < 4; ++i)
                p.drawLine(QPointF(2, 4 + i * 4), QPointF(5 + i * 2.5, 4 + i * 4));
            p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(15, 2), QPointF(15, 17));
            p.drawLine(QPointF(15, 17), QPointF(12, 13.5));
            p.drawLine(QPointF(15, 17), QPointF(18, 13.5));
        });
    case E::Id3TagEditCommand:
        return drawnIcon([](QPainter& p) {
            QPolygonF tag;
            tag << QPointF(2, 6) << QPointF(12, 6) << QPointF(18, 11) << QPointF(12, 16)
                << QPointF(2, 16);
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(0xff, 0xe0, 0x8a));
            p.drawPolygon(tag);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(13, 11), 1.4, 1.4);
            p.setPen(QPen(kInk, 0.9));
            p.drawLine(QPointF(4, 9.5), QPointF(9, 9.5));
            p.drawLine(QPointF(4, 12.5), QPointF(8, 12.5));
        });
    case E::CutCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kInk, 1.4));
            p.drawLine(QPointF(6, 2), QPointF(12.5, 13));
            p.drawLine(QPointF(14, 2), QPointF(7.5, 13));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(kAccent, 1.6));
            p.drawEllipse(QPointF(6, 15.5), 2.7, 2.7);
            p.drawEllipse(QPointF(14, 15.5), 2.7, 2.7);
        });
    case E::CopyCommand:
        return drawnIcon([](QPainter& p) {
            drawPage(p, 2, 1);
            drawPage(p, 7, 5);
        });
    case E::PasteCommand:
        return drawnIcon([](QPainter& p) {
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(0xc8, 0xa0, 0x70));
            p.drawRoundedRect(QRectF(2.5, 3.5, 12, 15), 1.5, 1.5);
            p.setBrush(QColor(0xb0, 0xb8, 0xc4));
            p.drawRect(QRectF(5.5, 1.5, 6, 3));
            drawPage(p, 8, 6);
        });
    case E::FindCommand:
        return drawn::findIcon();
    case E::FindNextCommand:
        return drawn::findNextIcon();
    case E::CheckFileCommand:
        return drawnIcon([](QPainter& p) {
            drawPage(p, 2, 2);
            p.setPen(
                QPen(QColor(0x2e, 0x9a, 0x3c), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF{QPointF(10, 13), QPointF(13, 16.5), QPointF(18.5, 9)});
        });
    case E::EncodeCommand:
        return drawnIcon([](QPainter& p) {
            drawNote(p, 1, 3);
            p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10, 10), QPointF(17, 10));
            p.drawLine(QPointF(17, 10), QPointF(14, 7));
            p.drawLine(QPointF(17, 10), QPointF(14, 13));
        });
    default:
        return {};
    }
}
