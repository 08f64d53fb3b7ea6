// IMS songs from old game discs and the net: refused with a reason, or a song whose every part
// lies inside the file and which AdPlug loads and plays a while (with a bank naming every
// instrument) without reading outside what it was given.
#include "engines/adlibbank.h"
#include "fuzzcheck.h"

#include <adplug/mus.h>
#include <adplug/silentopl.h>
#include <binstr.h>

using namespace engines;

namespace {

// Hands AdPlug the song and the bank from memory, whatever names it asks for.
class Provider final : public CFileProvider
{
public:
    Provider(const std::string& song, const std::string& bank)
        : m_song(song)
        , m_bank(bank)
    {}
    binistream* open(std::string name) const override
    {
        const std::string& data = name == "song.ims" ? m_song : m_bank;
        auto* stream = new binisstream(const_cast<char*>(data.data()), data.size());
        stream->setFlag(binio::BigEndian, false);
        stream->setFlag(binio::FloatIEEE);
        return stream;
    }
    void close(binistream* stream) const override { delete stream; }

private:
    const std::string& m_song;
    const std::string& m_bank;
};

} // namespace

FUZZ_TARGET
{
    std::string why;
    const auto song = readImsSong(bytes, &why);
    FUZZ_CHECK(song || !why.empty());
    if (!song)
        return;
    FUZZ_CHECK(size >= 70 + song->dataSize + 4 + 9 * song->instruments.size());
    FUZZ_CHECK(song->title.size() <= 30 && !song->instruments.empty());
    for (const std::string& name : song->instruments)
        FUZZ_CHECK(name.size() <= 8);
    FUZZ_CHECK(song->basicTempo > 0 && song->tickBeat > 0);

    AdlibTimbre piano;
    piano.name = "PIANO1";
    piano.record[2 + 1] = piano.record[15 + 1] = 1;
    const auto timbres = completeBankFor(*song, {piano});
    FUZZ_CHECK(timbres.size() <= 1 + song->instruments.size());
    const std::string bank = writeAdlibBank(timbres);
    FUZZ_CHECK(readAdlibBank(bank).has_value());

    CSilentopl chip;
    CmusPlayer player(&chip);
    if (!player.load("song.ims", Provider(bytes, bank)))
        return;
    player.rewind(0);
    for (int tick = 0; tick < 2000 && player.update(); ++tick)
        player.getrefresh();
}
