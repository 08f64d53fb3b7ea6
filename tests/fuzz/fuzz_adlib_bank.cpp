// AdLib banks (.BNK) lie beside songs and come from anywhere. Whatever the bytes, the reader
// refuses them with a reason or gives timbres that write back into a bank reading the same; the
// bank completed for a song holds every name the song asks for.
#include "engines/adlibbank.h"
#include "fuzzcheck.h"

using namespace engines;

FUZZ_TARGET
{
    std::string why;
    const auto bank = readAdlibBank(bytes, &why);
    FUZZ_CHECK(bank || !why.empty());
    if (!bank)
        return;
    FUZZ_CHECK(!bank->empty() && bank->size() <= size / 12);
    for (const AdlibTimbre& t : *bank)
        FUZZ_CHECK(t.name.size() <= 8 && t.name.find('\0') == std::string::npos);

    const auto again = readAdlibBank(writeAdlibBank(*bank));
    FUZZ_CHECK(again.has_value() && again->size() == bank->size());
    for (size_t i = 0; i < bank->size(); ++i)
        FUZZ_CHECK((*again)[i].name == (*bank)[i].name && (*again)[i].record == (*bank)[i].record);

    ImsSong song;
    song.instruments = {"PIANO1", (*bank)[0].name, "X"};
    const auto full = completeBankFor(song, *bank);
    for (const std::string& wanted : song.instruments)
        FUZZ_CHECK(std::any_of(full.begin(), full.end(),
                               [&](const AdlibTimbre& t) { return t.name == wanted; }));
}
