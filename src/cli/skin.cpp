// kolvo-cli skin: make, inspect and look at skin files.
//
//   skin pack DIR OUT.uib [--name NAME]   slotNN.bmp or slotNN.png (00-27) of DIR, and
//                                         slotNN@2x.* for 200 % screens, into a skin file
//   skin info FILE                        what is in a skin file and whether Kolvo uses it
//   skin sheet [FILE] OUT.png [--scale 2] every slot, glyph, digit set and control on one sheet
//                                         (without FILE: the skin the settings choose;
//                                         --builtin: the built-in look)
#include "ui/skin.h"
#include "cli/commands.h"
#include "cli/skinsheet.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "ui/dib.h"
#include "ui/skinfile.h"
#include "ui/skinslots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr UINT kRegistryKeyStringId = 1016;

std::vector<std::uint8_t> readAll(const QString& path, bool* ok)
{
    QFile f(path);
    *ok = f.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    const QByteArray bytes = f.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The packed DIB of one slot image file; an empty result with a reason when it is unusable.
std::vector<std::uint8_t> slotDib(const QString& path, int expectW, int expectH, std::string& error)
{
    bool ok = false;
    const std::vector<std::uint8_t> bytes = readAll(path, &ok);
    if (!ok) {
        error = "cannot read " + path.toStdString();
        return {};
    }
    std::vector<std::uint8_t> packed;
    dib::Image img;
    std::string why;
    if (path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive)) {
        if (!dib::packedDibFromBmpFile(bytes.data(), bytes.size(), packed, &why) ||
            !dib::decode(packed.data(), packed.size(), img, &why)) {
            error = path.toStdString() + ": " + why;
            return {};
        }
    } else {
        QImage q;
        if (!q.loadFromData(bytes.data(), static_cast<int>(bytes.size()))) {
            error = path.toStdString() + ": not an image Kolvo can read";
            return {};
        }
        q = q.convertToFormat(QImage::Format_RGB32);
        img.width = q.width();
        img.height = q.height();
        img.pixels.resize(static_cast<size_t>(img.width) * img.height);
        for (int y = 0; y < img.height; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(q.constScanLine(y));
            for (int x = 0; x < img.width; ++x)
                img.pixels[static_cast<size_t>(y) * img.width + x] = 0xFF000000u | row[x];
        }
        if (!dib::encode(img, dib::EncodeOptions{}, packed, &why)) {
            error = path.toStdString() + ": " + why;
            return {};
        }
    }
    if (img.width != expectW || img.height != expectH) {
        error = path.toStdString() + " is " + std::to_string(img.width) + " x " +
                std::to_string(img.height) + ", the slot takes " + std::to_string(expectW) + " x " +
                std::to_string(expectH);
        return {};
    }
    return packed;
}

QString findSlotFile(const QDir& dir, int slot, bool doubled)
{
    const QString base = QStringLiteral("slot%1%2")
                             .arg(slot, 2, 10, QLatin1Char('0'))
                             .arg(doubled ? QStringLiteral("@2x") : QString());
    for (const char* ext : {".bmp", ".png", ".BMP", ".PNG"}) {
        const QString path = dir.filePath(base + QLatin1String(ext));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

int runPack(const CliArgs& args)
{
    std::vector<std::string> positional;
    std::string name;
    bool haveName = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--name") {
            if (i + 1 >= args.size())
                return cliUsage("--name needs a display name");
            name = args[++i];
            haveName = true;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        return cliUsage("skin pack takes DIR OUT.uib [--name NAME]");
    const QDir dir(QString::fromStdString(positional[0]));
    if (!dir.exists())
        return cliFail("no folder " + positional[0]);
    if (!haveName)
        name = QFileInfo(QString::fromStdString(positional[1])).completeBaseName().toStdString();
    if (name.empty())
        return cliUsage("the display name must not be empty");
    if (name.size() > uib::kMaxNameBytes)
        return cliFail("the display name is longer than " + std::to_string(uib::kMaxNameBytes) +
                       " bytes");

    std::array<std::vector<std::uint8_t>, uib::kSlotCount> images, doubleImages;
    int count = 0, doubleCount = 0;
    for (int i = 0; i < uib::kSlotCount; ++i) {
        const auto& info = skin::kSlots[i];
        const QString path = findSlotFile(dir, i, false);
        if (path.isEmpty())
            continue;
        std::string error;
        images[i] = slotDib(path, info.width, info.height, error);
        if (images[i].empty())
            return cliFail(error);
        ++count;
        const QString path2 = findSlotFile(dir, i, true);
        if (!path2.isEmpty()) {
            doubleImages[i] = slotDib(path2, 2 * info.width, 2 * info.height, error);
            if (doubleImages[i].empty())
                return cliFail(error);
            ++doubleCount;
        }
    }
    if (count == 0)
        return cliFail("no slot images (slot00.bmp ... slot27.bmp) in " + positional[0]);

    const std::vector<std::uint8_t> file = uib::writeSkin(name, images, doubleImages);
    QSaveFile out(QString::fromStdString(positional[1]));
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size())) !=
            static_cast<qint64>(file.size()) ||
        !out.commit())
        return cliFail("cannot write " + positional[1]);
    std::printf("%s: \"%s\", %d of %d slots, %d with double resolution, %zu bytes\n",
                positional[1].c_str(), name.c_str(), count, uib::kSlotCount, doubleCount,
                file.size());
    return kCliOk;
}

int runSkinInfo(const CliArgs& args)
{
    if (args.size() != 1)
        return cliUsage("skin info takes one skin file");
    const std::string& path = args[0];
    uib::FileSource source(path);
    if (!source.isOpen())
        return cliFail("cannot open " + path);
    const uib::ReadResult r = uib::readSkin(source);
    std::printf("file: %s\n", path.c_str());
    if (!r.headerRead)
        return cliFail("refused: shorter than the " + std::to_string(uib::kHeaderSize) +
                       "-byte header; Kolvo uses its built-in look");
    const uib::Header& h = r.header;
    // Without the mark the name and version fields are whatever bytes the file holds there.
    if (!h.magicOk)
        return cliFail("refused: not a skin file (no \"UIB\" mark); Kolvo uses its built-in look");
    std::printf("name: %s\n", text::decodeLegacy(h.displayName).c_str());
    std::printf("version: %u.%u\n", h.major, h.minor);
    if (!h.accepted())
        return cliFail("refused: version " + std::to_string(h.major) + "." +
                       std::to_string(h.minor) + " is not 4.0; Kolvo uses its built-in look");

    std::printf("slot  resource  size       entry\n");
    int mismatched = 0;
    for (int i = 0; i < uib::kSlotCount; ++i) {
        const auto& info = skin::kSlots[i];
        const uib::Entry& e = h.entries[i];
        std::string state;
        if (r.stoppedAt >= 0 && i == r.stoppedAt) {
            state = "cannot be read (" + std::to_string(e.size) + " bytes at " +
                    std::to_string(e.offset) + "): loading stops here";
        } else if (r.stoppedAt >= 0 && i > r.stoppedAt) {
            state = "not read";
        } else if (!e.present()) {
            state = "absent";
        } else if (r.images[i] || (r.fallback && r.problems[i].empty())) {
            state = std::to_string(e.size) + " bytes";
            if (r.images[i]) {
                const dib::Image& img = *r.images[i];
                state += ", " + std::to_string(img.bitCount) + " bits";
                if (img.width != info.width || img.height != info.height) {
                    state += ", WRONG SIZE " + std::to_string(img.width) + " x " +
                             std::to_string(img.height);
                    ++mismatched;
                }
                if (r.doubleImages[i])
                    state += ", double resolution";
            }
        } else {
            state = "unusable: " + r.problems[i];
        }
        if (i >= skin::kFirstSliderSlot && !r.images[i])
            state += " (built-in used)";
        std::printf("%4d  %8d  %3d x %-3d  %s\n", i, info.resourceId, info.width, info.height,
                    state.c_str());
    }
    if (r.fallback)
        return cliFail("refused: fewer than three slots could be read; Kolvo uses its built-in "
                       "look");
    if (mismatched)
        std::printf("warning: %d slot(s) of the wrong size will draw out of place\n", mismatched);
    std::printf("accepted: Kolvo uses this skin\n");
    return kCliOk;
}

int runSheet(const CliArgs& args)
{
    std::vector<std::string> positional;
    int scale = 1;
    bool builtin = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--builtin") {
            builtin = true;
        } else if (args[i] == "--scale") {
            if (i + 1 >= args.size() || (args[i + 1] != "1" && args[i + 1] != "2"))
                return cliUsage("--scale takes 1 or 2");
            scale = std::stoi(args[++i]);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2 || (builtin && positional.size() == 2))
        return cliUsage("skin sheet takes [FILE | --builtin] OUT.png [--scale 2]");
    const std::string out = positional.back();
    std::string skinFile;
    if (positional.size() == 1 && !builtin) {
        // No file: the skin Kolvo shows now, as the settings name it.
        Profile::SetRegistryKey(LoadString(kRegistryKeyStringId));
        AppSettings settings;
        const Profile profile;
        LoadSettingsFrom(profile, settings);
        skinFile =
            Skin::FindSkinFile(settings.colorScheme).empty() ? std::string() : settings.colorScheme;
    } else if (positional.size() == 2) {
        skinFile = positional[0];
        // A path of the current folder is a path, not a name to look up in the skin folders.
        if (QFileInfo(QString::fromStdString(skinFile)).isFile())
            skinFile = QFileInfo(QString::fromStdString(skinFile)).absoluteFilePath().toStdString();
        else if (Skin::FindSkinFile(skinFile).empty())
            return cliFail("no skin file " + skinFile);
    }
    Skin& skin = Skin::instance();
    skin.LoadSkin(skinFile);
    if (!skinFile.empty() && skin.usingBuiltin())
        std::fprintf(stderr, "kolvo-cli: %s is refused; the sheet shows the built-in look\n",
                     skinFile.c_str());
    const QImage sheet = renderSkinSheet(skinFile, scale);
    if (sheet.isNull() || !sheet.save(QString::fromStdString(out), "PNG"))
        return cliFail("cannot write " + out);
    std::printf("%s: %d x %d\n", out.c_str(), sheet.width(), sheet.height());
    return kCliOk;
}

} // namespace

int runSkin(const CliArgs& args)
{
    if (args.empty())
        return cliUsage("skin takes pack, info or sheet");
    const CliArgs rest(args.begin() + 1, args.end());
    if (args[0] == "pack")
        return runPack(rest);
    if (args[0] == "info")
        return runSkinInfo(rest);
    if (args[0] == "sheet")
        return runSheet(rest);
    return cliUsage("unknown skin command " + args[0]);
}
