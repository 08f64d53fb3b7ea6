#include "platform/settings.h"

#include "platform/cdrom.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstring>
#include <variant>

const std::array<const char*, ComponentCount> kComponentSections{
    "FXMixer", "Mixer", "CD", "Audio", "MIDI", "Video", "Remocon"};

namespace {

constexpr UINT kDefaultSkinStringId = 1000;
constexpr UINT kDefaultFontStringId = 1061;
constexpr int kTimerMax = 990000;

using IntRef = std::function<int&(AppSettings&)>;
using StringRef = std::function<std::string&(AppSettings&)>;

struct IntValue
{
    IntRef ref;
    int defaultValue;
};
struct StringValue
{
    StringRef ref;
    UINT defaultStringId; // 0: the empty string
};
struct RecordFormatValue
{};
struct DriveValue
{};

struct Entry
{
    std::string section;
    std::string name;
    std::variant<IntValue, StringValue, RecordFormatValue, DriveValue> value;
};

#define INT_FIELD(member) [](AppSettings& s) -> int& { return s.member; }
#define STRING_FIELD(member) [](AppSettings& s) -> std::string& { return s.member; }

// The single list of stored values, in the order they are read and written.
std::vector<Entry> buildTable()
{
    std::vector<Entry> t;
    auto i = [&t](const char* section, std::string name, int def, IntRef ref) {
        t.push_back({section, std::move(name), IntValue{std::move(ref), def}});
    };
    auto str = [&t](const char* section, std::string name, UINT defId, StringRef ref) {
        t.push_back({section, std::move(name), StringValue{std::move(ref), defId}});
    };
    auto font = [&](const std::string& prefix, int color, int bold, int italic, int size,
                    FontInfo AppSettings::*member) {
        i("Print", prefix + "FontInfoColor", color,
          [member](AppSettings& s) -> int& { return (s.*member).color; });
        i("Print", prefix + "FontInfoBold", bold,
          [member](AppSettings& s) -> int& { return (s.*member).bold; });
        i("Print", prefix + "FontInfoItalic", italic,
          [member](AppSettings& s) -> int& { return (s.*member).italic; });
        i("Print", prefix + "FontInfoSize", size,
          [member](AppSettings& s) -> int& { return (s.*member).size; });
        str("Print", prefix + "FontInfoFontName", kDefaultFontStringId,
            [member](AppSettings& s) -> std::string& { return (s.*member).fontName; });
    };

    for (int c = 0; c < ComponentCount; ++c) {
        const char* sec = kComponentSections[c];
        i(sec, "Enable", 1, [c](AppSettings& s) -> int& { return s.components[c].enable; });
        i(sec, "Repeat", 0, [c](AppSettings& s) -> int& { return s.components[c].repeat; });
        i(sec, "PlayMode", 0, [c](AppSettings& s) -> int& { return s.components[c].playMode; });
        i(sec, "TimeMode", 0, [c](AppSettings& s) -> int& { return s.components[c].timeMode; });
        str(sec, "InitialDir", 0,
            [c](AppSettings& s) -> std::string& { return s.components[c].initialDir; });
    }

    str("General", "ColorScheme", kDefaultSkinStringId, STRING_FIELD(colorScheme));
    i("General", "MainVisible", 1, INT_FIELD(mainVisible));
    i("General", "MainTrayOnly", 0, INT_FIELD(mainTrayOnly));
    i("General", "Timer", 10000, INT_FIELD(timer));
    i("General", "TimerAction", 1, INT_FIELD(timerAction));
    i("General", "SpectrumCD", 1, INT_FIELD(spectrumCd));
    i("General", "SpectrumMIDI", 0, INT_FIELD(spectrumMidi));

    i("Remocon", "RemoconAlwaysOnTop", 1, INT_FIELD(remoconAlwaysOnTop));
    i("Remocon", "RemoconSize", 0, INT_FIELD(remoconSize));
    i("Remocon", "UseHotKey", 0, INT_FIELD(useHotKey));
    i("Remocon", "RemoconComponent", ComponentCd, INT_FIELD(remoconComponent));

    i("RemoteSpectrum", "AlwaysOnTop", 1, INT_FIELD(spectrumAlwaysOnTop));
    i("RemoteSpectrum", "Enabled", 1, INT_FIELD(spectrumEnabled));
    i("RemoteSpectrum", "Size", 1, INT_FIELD(spectrumSize));
    i("RemoteSpectrum", "SpectrumMode", 0, INT_FIELD(spectrumMode));

    i("Panel", "ViewTitle", 1, INT_FIELD(viewTitle));
    i("Panel", "ViewDescription", 1, INT_FIELD(viewDescription));
    i("Panel", "ViewFileInfo", 1, INT_FIELD(viewFileInfo));
    i("Panel", "ViewID3Tag", 1, INT_FIELD(viewId3Tag));
    i("Panel", "ViewAlbumTitle", 1, INT_FIELD(viewAlbumTitle));
    i("Panel", "ViewAlbumSinger", 1, INT_FIELD(viewAlbumSinger));
    i("Panel", "ViewAlbumDescription", 1, INT_FIELD(viewAlbumDescription));
    i("Panel", "ViewAlbumGenre", 1, INT_FIELD(viewAlbumGenre));
    i("Panel", "ViewInfoQuickTrack", 0, INT_FIELD(viewInfoQuickTrack));
    i("Panel", "ViewSpectrumMode", 0, INT_FIELD(viewSpectrumMode));
    i("Panel", "ViewID3TagTitle", 1, INT_FIELD(viewId3TagTitle));
    i("Panel", "ViewID3TagArtist", 1, INT_FIELD(viewId3TagArtist));
    i("Panel", "ViewID3TagAlbum", 1, INT_FIELD(viewId3TagAlbum));
    i("Panel", "ViewID3TagYear", 1, INT_FIELD(viewId3TagYear));
    i("Panel", "ViewID3TagComment", 1, INT_FIELD(viewId3TagComment));
    i("Panel", "ViewID3TagGenre", 1, INT_FIELD(viewId3TagGenre));

    i("DSP", "ReverbMode", 0, INT_FIELD(reverbMode));
    i("DSP", "Reverb", 0, INT_FIELD(reverb));
    i("DSP", "ReverbDepth", 16, INT_FIELD(reverbDepth));
    i("DSP", "Chorus", 0, INT_FIELD(chorus));
    i("DSP", "ChorusDepth", 16, INT_FIELD(chorusDepth));
    i("DSP", "Wide", 0, INT_FIELD(wide));
    i("DSP", "WideDepth", 16, INT_FIELD(wideDepth));
    i("DSP", "FXMode", 0, INT_FIELD(fxMode));
    i("DSP", "FX", 0, INT_FIELD(fx));

    t.push_back({"Audio", "RecordWAVStruct", RecordFormatValue{}});
    i("Audio", "RecordType", 0, INT_FIELD(recordType));
    i("Audio", "RecordMPEGProfile", 0, INT_FIELD(recordMpegProfile));
    i("Audio", "RecordMPEGBitRate", 8, INT_FIELD(recordMpegBitRate));
    i("Audio", "RecordRAProfile", 0, INT_FIELD(recordRaProfile));
    i("Audio", "RecordCDRecord", 1, INT_FIELD(recordCdRecord));
    i("Audio", "RecordCDUseTitleInfo", 1, INT_FIELD(recordCdUseTitleInfo));
    i("Audio", "RecordCDUseSongInfo", 1, INT_FIELD(recordCdUseSongInfo));
    i("Audio", "RecordCDUseSongInfoAlbumTitle", 1, INT_FIELD(recordCdUseSongInfoAlbumTitle));
    i("Audio", "RecordCDUseSongInfoAlbumSinger", 1, INT_FIELD(recordCdUseSongInfoAlbumSinger));
    i("Audio", "RecordCDUseSongInfoTrackNumber", 1, INT_FIELD(recordCdUseSongInfoTrackNumber));
    i("Audio", "RecordCDRecordingMethod", 0, INT_FIELD(recordCdRecordingMethod));
    str("Audio", "RecordDir", 0, STRING_FIELD(recordDir));
    i("Audio", "WAVUseDirectShow", 1, INT_FIELD(wavUseDirectShow));
    i("Audio", "MPAUseInternal", 1, INT_FIELD(mpaUseInternal));
    i("Audio", "DisplayLyric", 1, INT_FIELD(displayLyric));

    i("MP3", "Channel", 0, INT_FIELD(mp3Channel));
    i("MP3", "Quality", 0, INT_FIELD(mp3Quality));
    i("MP3", "BufferCount", 10, INT_FIELD(mp3BufferCount));
    i("MP3", "Priority", 1, INT_FIELD(mp3Priority));
    i("MP3", "OutputType", 0, INT_FIELD(mp3OutputType));
    i("MP3", "Engine", 0, INT_FIELD(mp3Engine));
    i("MP3", "OutScaleAGC", 0, INT_FIELD(outScaleAgc));
    i("MP3", "OutScaleValue", 24000, INT_FIELD(outScaleValue));
    i("MP3", "SaveStream", 0, INT_FIELD(saveStream));
    str("MP3", "StreamOutputDir", 0, STRING_FIELD(streamOutputDir));
    str("MP3", "WAVOutputDir", 0, STRING_FIELD(wavOutputDir));
    i("MP3", "WAVOutputAutomaticNaming", 0, INT_FIELD(wavOutputAutomaticNaming));

    for (int band = 0; band < 20; ++band)
        i("Equalizer", std::to_string(band), 0,
          [band](AppSettings& s) -> int& { return s.equalizer[band]; });
    i("Equalizer", "Mode", 0, INT_FIELD(equalizerMode));
    i("Equalizer", "Enable", 1, INT_FIELD(equalizerEnable));

    i("Video", "DGVAutoSize", 1, INT_FIELD(dgvAutoSize));
    i("Video", "DGVUseDirectShow", 1, INT_FIELD(dgvUseDirectShow));
    i("Video", "DGVUseVCD2Mode", 1, INT_FIELD(dgvUseVcd2Mode));

    i("CD", "AutoRun", 0, INT_FIELD(autoRun));
    i("CD", "CDDBConnect", 0, INT_FIELD(cddbConnect));
    str("CD", "EMail", 0, STRING_FIELD(email));
    str("CD", "MailServer", 0, STRING_FIELD(mailServer));
    i("MIDI", "MIDUseInternal", 1, INT_FIELD(midUseInternal));
    t.push_back({"CD", "Drive", DriveValue{}});

    i("Print", "PageMarginLeft", 20, INT_FIELD(pageMarginLeft));
    i("Print", "PageMarginTop", 20, INT_FIELD(pageMarginTop));
    i("Print", "PageMarginRight", 20, INT_FIELD(pageMarginRight));
    i("Print", "PageMarginBottom", 20, INT_FIELD(pageMarginBottom));
    i("Print", "EnableTwoColumn", 1, INT_FIELD(enableTwoColumn));
    i("Print", "EnableColumnSeparator", 1, INT_FIELD(enableColumnSeparator));
    i("Print", "AlbumSizeMargin", 10, INT_FIELD(albumSizeMargin));
    i("Print", "AlbumSizeCount", 4, INT_FIELD(albumSizeCount));
    i("Print", "AlbumSize", 0, INT_FIELD(albumSize));
    font("Title", 0xFFFFFF, 1, 0, 10, &AppSettings::titleFont);
    font("Page", 0, 0, 0, 8, &AppSettings::pageFont);
    i("Print", "EnableTitleInfo", 1, INT_FIELD(enableTitleInfo));
    i("Print", "EnablePageInfo", 1, INT_FIELD(enablePageInfo));
    i("Print", "HeaderMargin", 10, INT_FIELD(headerMargin));
    font("AlbumTitle", 0, 1, 0, 10, &AppSettings::albumTitleFont);
    font("AlbumSinger", 0, 0, 0, 9, &AppSettings::albumSingerFont);
    font("AlbumDesc", 0, 0, 0, 9, &AppSettings::albumDescFont);
    i("Print", "EnableAlbumNumbering", 1, INT_FIELD(enableAlbumNumbering));
    i("Print", "EnableAlbumSingerInfo", 1, INT_FIELD(enableAlbumSingerInfo));
    i("Print", "EnableAlbumDescInfo", 1, INT_FIELD(enableAlbumDescInfo));
    font("SongTitle", 0, 0, 1, 8, &AppSettings::songTitleFont);
    font("SongDesc", 0, 0, 1, 8, &AppSettings::songDescFont);
    i("Print", "EnableSongInfo", 1, INT_FIELD(enableSongInfo));
    i("Print", "EnableSongTimeInfo", 1, INT_FIELD(enableSongTimeInfo));
    i("Print", "EnableSongDescInfo", 1, INT_FIELD(enableSongDescInfo));
    return t;
}

#undef INT_FIELD
#undef STRING_FIELD

const std::vector<Entry>& table()
{
    static const std::vector<Entry> t = buildTable();
    return t;
}

std::string audioSubkey()
{
    return Profile::applicationKey() + "\\Audio";
}

void putLe16(std::uint8_t* p, unsigned v)
{
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}
void putLe32(std::uint8_t* p, unsigned v)
{
    putLe16(p, v & 0xFFFF);
    putLe16(p + 2, v >> 16);
}

// What loading does after reading: values out of their range are brought into it.
void adjustLoaded(AppSettings& s)
{
    if (s.timer >= kTimerMax)
        s.timer = kTimerMax;
    if (s.timer <= 0)
        s.timer = 0;
}

} // namespace

void setDefaultRecordFormat(std::vector<std::uint8_t>& block)
{
    block.assign(kRecordFormatSize, 0);
    putLe16(&block[0], 1);      // PCM
    putLe16(&block[2], 2);      // channels
    putLe32(&block[4], 44100);  // samples per second
    putLe32(&block[8], 176400); // bytes per second
    putLe16(&block[12], 4);     // block alignment
    putLe16(&block[14], 16);    // bits per sample
}

void LoadSettingsFrom(const Profile& profile, AppSettings& s)
{
    for (const Entry& e : table()) {
        if (auto* v = std::get_if<IntValue>(&e.value)) {
            v->ref(s) = profile.GetProfileInt(e.section, e.name, v->defaultValue);
        } else if (auto* v = std::get_if<StringValue>(&e.value)) {
            const std::string def = v->defaultStringId ? LoadString(v->defaultStringId) : "";
            v->ref(s) = profile.GetProfileString(e.section, e.name, def);
        } else if (std::holds_alternative<RecordFormatValue>(e.value)) {
            s.recordFormat.resize(kRecordFormatSize);
            if (!ReadBinaryValue(HKEY_CURRENT_USER, audioSubkey(), e.name, s.recordFormat.data(),
                                 kRecordFormatSize))
                setDefaultRecordFormat(s.recordFormat);
        } else {
            const std::string stored = profile.GetProfileString(e.section, e.name, "");
            s.cdDrive = cdrom::IsUsableDrive(stored) ? stored : cdrom::FindFirstCdDrive();
        }
    }
    adjustLoaded(s);
}

bool SaveSettingsTo(Profile& profile, const AppSettings& in)
{
    // The table's accessors hand out references, so they work on a copy.
    AppSettings s = in;
    bool ok = true;
    for (const Entry& e : table()) {
        if (auto* v = std::get_if<IntValue>(&e.value)) {
            profile.WriteProfileInt(e.section, e.name, v->ref(s));
        } else if (auto* v = std::get_if<StringValue>(&e.value)) {
            profile.WriteProfileString(e.section, e.name, v->ref(s));
        } else if (std::holds_alternative<RecordFormatValue>(e.value)) {
            std::vector<std::uint8_t> block = s.recordFormat;
            if (block.size() != kRecordFormatSize)
                setDefaultRecordFormat(block);
            ok = WriteBinaryValue(HKEY_CURRENT_USER, audioSubkey(), e.name, block.data(),
                                  block.size()) &&
                 ok;
        } else {
            profile.WriteProfileString(e.section, e.name, s.cdDrive);
        }
    }
    return profile.sync() && ok;
}

std::vector<std::pair<std::string, std::string>> settingValues(const AppSettings& in)
{
    AppSettings s = in;
    std::vector<std::pair<std::string, std::string>> values;
    for (const Entry& e : table()) {
        std::string text;
        if (auto* v = std::get_if<IntValue>(&e.value)) {
            text = std::to_string(v->ref(s));
        } else if (auto* v = std::get_if<StringValue>(&e.value)) {
            text = v->ref(s);
        } else if (std::holds_alternative<RecordFormatValue>(e.value)) {
            static const char* hex = "0123456789abcdef";
            for (size_t i = 0; i < std::min<size_t>(18, s.recordFormat.size()); ++i) {
                text += hex[s.recordFormat[i] >> 4];
                text += hex[s.recordFormat[i] & 15];
            }
        } else {
            text = s.cdDrive;
        }
        values.emplace_back(e.section + "/" + e.name, std::move(text));
    }
    return values;
}

SettingCheck CheckSettingValue(const Profile& profile, const std::string& section,
                               const std::string& name, const std::string& text)
{
    SettingCheck check;
    const auto& t = table();
    const auto e = std::find_if(t.begin(), t.end(), [&](const Entry& entry) {
        return entry.section == section && entry.name == name;
    });
    if (e == t.end()) {
        if (profile.hasValue(section, name)) {
            check.verdict = SettingCheck::Accepted;
            check.value = text;
        }
        return check;
    }
    AppSettings s;
    if (auto* v = std::get_if<IntValue>(&e->value)) {
        int number = 0;
        if (!Profile::ParseInt(text, number)) {
            check.verdict = SettingCheck::NotANumber;
            return check;
        }
        v->ref(s) = number;
        adjustLoaded(s);
        check.value = std::to_string(v->ref(s));
        check.verdict = v->ref(s) == number ? SettingCheck::Accepted : SettingCheck::Adjusted;
    } else if (std::holds_alternative<StringValue>(e->value)) {
        check.verdict = SettingCheck::Accepted;
        check.value = text;
    } else if (std::holds_alternative<RecordFormatValue>(e->value)) {
        check.verdict = SettingCheck::Binary;
    } else {
        check.verdict = text.empty() || cdrom::IsUsableDrive(text) ? SettingCheck::Accepted
                                                                   : SettingCheck::UnusableDrive;
        check.value = text;
    }
    return check;
}
