#pragma once
// Helpers of the skinned-interface tests: a window that records the messages it gets, test
// skins made of solid colours, renders of widgets.

#include "platform/wnd.h"
#include "ui/dib.h"
#include "ui/skinbitmap.h"
#include "ui/skinfile.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Message
{
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A window of the kind Base that keeps every message sent or posted to it.
template <typename Base>
class Recording : public Base
{
public:
    using Base::Base;
    std::vector<Message> messages;
    // How many messages of this id (and this wParam, when given) it got.
    int count(UINT msg, std::optional<WPARAM> wParam = {}) const
    {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](auto& m) {
            return m.msg == msg && (!wParam || m.wParam == *wParam);
        }));
    }
    void clear() { messages.clear(); }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back({msg, wParam, lParam});
        return 0;
    }
};

// A parent window, 500 x 100, that keeps its messages.
class Recorder : public Recording<Wnd>
{
public:
    explicit Recorder(QWidget* parent = nullptr);
};

// Lets posted messages and timers run for a while.
void pump(int milliseconds = 0);
// What a widget looks like (with its children), at scale 1.
QImage render(QWidget* widget);
// "" when every pixel of the image is what `want` says (any colour where it says nothing),
// else where the first one is not.
std::string mismatch(const QImage& got,
                     const std::function<std::optional<QRgb>(int x, int y)>& want);
// Cells of an image list drawn one over another at (0, 0), on black or on a clear image.
QImage cells(const ImageList& list, std::vector<int> indices, bool onBlack = true);

// A solid image of one colour with optional magenta corners.
dib::Image solid(int w, int h, std::uint32_t rgb, bool keyedCorners = false);
// A pattern in which every pixel differs from its neighbours: shows which part was copied.
dib::Image pattern(int w, int h, std::uint32_t seed);
std::vector<std::uint8_t> packed(const dib::Image& image, int bitCount = 24);

// The 28 slots of a test skin: slot n is solid colour testColor(n) at its designed size.
std::array<std::vector<std::uint8_t>, uib::kSlotCount> solidSlots();
std::uint32_t testColor(int slot);
std::string bytesOf(const std::vector<std::uint8_t>& v);
// The largest difference between two colours in any one of red, green and blue.
int channelDistance(QRgb a, QRgb b);
// Little-endian values written into bytes at an offset.
void put16(std::vector<std::uint8_t>& bytes, size_t at, std::uint16_t v);
void put32(std::vector<std::uint8_t>& bytes, size_t at, std::uint32_t v);
void setVersion(std::vector<std::uint8_t>& file, std::uint16_t major, std::uint16_t minor);
void setEntry(std::vector<std::uint8_t>& file, int slot, std::uint32_t offset, std::uint32_t size);
uib::Entry entryOf(const std::vector<std::uint8_t>& file, int slot);
