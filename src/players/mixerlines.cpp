#include "players/mixerlines.h"

#include <algorithm>
#include <cmath>

namespace mixer {

int roundHalfAway(double value)
{
    return static_cast<int>(value < 0 ? -std::floor(-value + 0.5) : std::floor(value + 0.5));
}

int toScale(std::int64_t raw, std::int64_t minimum, std::int64_t maximum)
{
    const std::int64_t range = maximum - minimum;
    if (range <= 0)
        return 0;
    const std::int64_t r = std::clamp(raw, minimum, maximum) - minimum;
    // round(r / R x 32) in integers: exact, so a raw value written by fromScale reads back.
    return static_cast<int>((r * kScale * 2 + range) / (range * 2));
}

std::int64_t fromScale(int value, std::int64_t minimum, std::int64_t maximum)
{
    const std::int64_t range = maximum - minimum;
    const std::int64_t v = std::clamp(value, 0, kScale);
    return minimum + (range * v * 2 + kScale) / (kScale * 2);
}

int balanceOf(int left, int right)
{
    if (left == right)
        return 0;
    if (right < left)
        return roundHalfAway(static_cast<double>(right) / left * kBalanceRange - kBalanceRange);
    return roundHalfAway(kBalanceRange - static_cast<double>(left) / right * kBalanceRange);
}

Channels channelsFor(int volume, int balance)
{
    const int v = std::clamp(volume, 0, kScale);
    const int b = std::clamp(balance, -kBalanceRange, kBalanceRange);
    if (b == 0)
        return {v, v};
    if (b < 0)
        return {v, roundHalfAway(static_cast<double>(b + kBalanceRange) * v / kBalanceRange)};
    return {roundHalfAway(static_cast<double>(kBalanceRange - b) * v / kBalanceRange), v};
}

std::vector<int> shownLines(const View& view)
{
    std::vector<int> shown;
    for (int i = 0; i < static_cast<int>(view.lines.size()); ++i)
        if (view.lines[i].hasVolume || view.lines[i].hasMute)
            shown.push_back(i);
    return shown;
}

std::array<Column, kColumns> buildColumns(const View& view, int first)
{
    std::array<Column, kColumns> columns{};
    const std::vector<int> shown = shownLines(view);
    for (int k = 0; k < kColumns; ++k) {
        const int at = first + k;
        if (at < 0 || at >= static_cast<int>(shown.size()))
            continue;
        Column& c = columns[k];
        c.line = shown[at];
        const Line& line = view.lines[c.line];
        c.volumeEnabled = line.hasVolume;
        c.volume = line.hasVolume ? line.volume() : 16;
        c.balanceEnabled = line.channels >= 2;
        c.balance = c.balanceEnabled ? line.balance() : 0;
        const Destination* d =
            line.destination >= 0 && line.destination < static_cast<int>(view.destinations.size())
                ? &view.destinations[line.destination]
                : nullptr;
        if (line.hasMute) {
            c.switchKind = Column::Switch::Mute;
            c.switchOn = !line.muted;
        } else if (d && d->hasSelect && line.selectBit >= 0 && line.selectBit < 32) {
            c.switchKind = Column::Switch::Select;
            c.switchOn = (d->selectMask >> line.selectBit) & 1u;
        }
    }
    return columns;
}

bool hasMore(const View& view, int first)
{
    return static_cast<int>(shownLines(view).size()) > first + kColumns;
}

std::uint32_t selectMaskAfter(const Destination& destination, int bit, bool on)
{
    if (bit < 0 || bit >= 32)
        return destination.selectMask;
    const std::uint32_t b = 1u << bit;
    if (!destination.multiple)
        return b;
    return on ? destination.selectMask | b : destination.selectMask & ~b;
}

} // namespace mixer
