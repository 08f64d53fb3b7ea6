#include "ui/skin.h"

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "ui/builtinart.h"
#include "ui/skinfile.h"

#include <QDir>
#include <QFileInfo>

#include <map>
#include <set>

namespace {

constexpr UINT kOriginalColorStringId = 3000;

} // namespace

Skin& Skin::instance()
{
    static Skin s;
    return s;
}

Skin::Skin()
{
    LoadSkin(std::string());
}

std::string Skin::FindSkinFile(const std::string& fileName)
{
    if (fileName.empty())
        return {};
    if (fileName.find('/') != std::string::npos) {
        const QFileInfo info(QString::fromStdString(fileName));
        return info.isFile() ? fileName : std::string();
    }
    const QString name = QString::fromStdString(fileName);
    for (const std::string& dir : paths::skinDirs()) {
        const QDir d(QString::fromStdString(dir));
        if (QFileInfo(d.filePath(name)).isFile())
            return d.filePath(name).toStdString();
        // Skin names were chosen on a system that ignores case; so do we, when nothing matches
        // exactly.
        for (const QString& entry : d.entryList(QDir::Files)) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return d.filePath(entry).toStdString();
        }
    }
    return {};
}

void Skin::LoadSkin(const std::string& fileName)
{
    for (SkinBitmap& b : m_slots)
        b.Delete();
    m_textColors.clear();
    ++m_generation;
    m_loadedPath.clear();

    bool fallback = true;
    const std::string path = FindSkinFile(fileName);
    if (!path.empty()) {
        uib::FileSource source(path);
        if (source.isOpen()) {
            uib::ReadResult r = uib::readSkin(source);
            if (r.headerRead && r.header.accepted() && !r.fallback) {
                fallback = false;
                m_loadedPath = path;
                for (int i = 0; i < skin::kSlotCount; ++i) {
                    if (r.images[i])
                        m_slots[i].LoadFromImage(*r.images[i],
                                                 r.doubleImages[i] ? &*r.doubleImages[i] : nullptr);
                }
            }
        }
    }
    m_usingBuiltin = fallback;
    for (int i = 0; i < skin::kSlotCount; ++i) {
        if (fallback || (i >= skin::kFirstSliderSlot && !m_slots[i].isLoaded()))
            m_slots[i].LoadFromResource(skin::kSlots[i].resourceId);
    }
}

const SkinBitmap& Skin::Slot(int n) const
{
    static const SkinBitmap empty;
    if (n < 0 || n >= skin::kSlotCount)
        return empty;
    return m_slots[n];
}

const ImageList& Skin::list(int resourceId, int cellWidth) const
{
    auto it = m_lists.find(resourceId);
    if (it == m_lists.end()) {
        it = m_lists
                 .emplace(resourceId, ImageList(builtinImage(resourceId, false), cellWidth,
                                                builtinImage(resourceId, true)))
                 .first;
    }
    return it->second;
}

const ImageList& Skin::GlyphList(bool large) const
{
    return large ? list(skin::res::kGlyphsLarge, 32) : list(skin::res::kGlyphsSmall, 16);
}

const ImageList& Skin::Indicators() const
{
    return list(skin::res::kIndicators, skin::res::kIndicatorWidth);
}

const ImageList& Skin::Digits(int kind) const
{
    static const ImageList none;
    if (kind < 0 || kind > 3)
        return none;
    const auto& k = skin::res::kDigitKinds[kind];
    return list(k.resourceId, k.width);
}

const ImageList& Skin::TrackCells() const
{
    return list(skin::res::kTrackCells, 11);
}

const ImageList& Skin::PositionThumbs() const
{
    return list(skin::res::kPositionThumb, 4);
}

const ImageList& Skin::TrayIcons() const
{
    return list(skin::res::kTrayIcons, 16);
}

const SkinBitmap& Skin::Builtin(int resourceId) const
{
    auto it = m_builtins.find(resourceId);
    if (it == m_builtins.end()) {
        it = m_builtins.emplace(resourceId, SkinBitmap()).first;
        it->second.LoadFromResource(resourceId);
    }
    return it->second;
}

QIcon Skin::WindowIcon(int resourceId) const
{
    QIcon icon;
    for (int size : skin::res::kIconSizes) {
        const std::string name = "icon" + std::to_string(resourceId) + "-" + std::to_string(size);
        if (const BuiltinBlob* blob = findBuiltinArt(name.c_str()))
            icon.addPixmap(QPixmap::fromImage(
                QImage::fromData(blob->data, static_cast<int>(blob->size), "PNG")));
    }
    return icon;
}

QColor Skin::TextColor(int slot) const
{
    auto it = m_textColors.find(slot);
    if (it != m_textColors.end())
        return it->second;
    const QImage& img = Slot(slot).image();
    QColor color(Qt::black);
    if (!img.isNull()) {
        // Sampled on a grid: a whole 500 x 100 background is more than the answer needs.
        long sum = 0, n = 0;
        for (int y = 0; y < img.height(); y += 3) {
            const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); x += 3) {
                sum += qGray(row[x]);
                ++n;
            }
        }
        if (n && sum / n < 110)
            color = QColor(0xec, 0xee, 0xf2);
    }
    m_textColors.emplace(slot, color);
    return color;
}

std::vector<SkinChoice> Skin::ListSkins(const std::string& current, int* selected)
{
    std::vector<SkinChoice> out;
    const std::string original = LoadString(kOriginalColorStringId);
    out.push_back({original, std::string()});
    std::set<std::string> seen;
    for (const std::string& dir : paths::skinDirs()) {
        QDir d(QString::fromStdString(dir));
        const QStringList files = d.entryList({QStringLiteral("*.uib"), QStringLiteral("*.UIB")},
                                              QDir::Files, QDir::Name);
        for (const QString& f : files) {
            const std::string name = f.toStdString();
            if (seen.count(name))
                continue;
            uib::FileSource source(d.filePath(f).toStdString());
            std::uint8_t head[uib::kHeaderSize];
            uib::Header h;
            if (!source.isOpen() || source.size() < uib::kHeaderSize ||
                !source.read(0, uib::kHeaderSize, head) ||
                !uib::parseHeader(head, uib::kHeaderSize, h) || !h.accepted())
                continue;
            seen.insert(name);
            out.push_back({text::decodeLegacy(h.displayName), name});
        }
    }
    // Two files may carry one display name; the file name tells them apart in the list.
    std::map<std::string, int> uses;
    for (const SkinChoice& c : out)
        ++uses[c.displayName];
    for (size_t i = 1; i < out.size(); ++i)
        if (uses[out[i].displayName] > 1)
            out[i].displayName += " (" + out[i].fileName + ")";
    if (selected) {
        *selected = 0;
        bool found = false;
        if (!current.empty()) {
            for (size_t i = 1; i < out.size(); ++i) {
                if (out[i].fileName == current) {
                    *selected = static_cast<int>(i);
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            for (size_t i = 0; i < out.size(); ++i) {
                if (out[i].displayName == original) {
                    *selected = static_cast<int>(i);
                    break;
                }
            }
        }
    }
    return out;
}
