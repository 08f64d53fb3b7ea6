#pragma once
// Skin files ("*.uib"): a 1368-byte header (magic "UIB\0", a text area holding the display name,
// version 4.0, a table of 28 slots each giving the file offset and byte size of a packed DIB) and
// the packed DIBs. Reading follows the program's loading rules, so what a skin file yields here
// is what the program shows; free of any GUI library so that the fuzzer can drive it.
//
// Our own addition lives in the text area, which nothing else reads: after the display name, at
// offset 768, "KX2\0" and a second table of 28 entries pointing at double-resolution images of
// the slots (appended after the ordinary ones). Screens at 200 % draw those; everything else
// ignores them.

#include "ui/dib.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace uib {

constexpr std::size_t kHeaderSize = 1368;
constexpr int kSlotCount = 28;
constexpr std::size_t kNameOffset = 4;
constexpr std::size_t kVersionOffset = 1108;
constexpr std::size_t kTableOffset = 1112;
constexpr std::size_t kDoubleTableOffset = 768;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::uint16_t kMajorVersion = 4;
constexpr std::uint16_t kMinorVersion = 0;
// A slot claiming more than this cannot be allocated: the loop ends there, as on a short read.
constexpr std::uint32_t kMaxSlotBytes = 64u << 20;

struct Entry
{
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool present() const { return offset != 0 && size != 0; }
};

struct Header
{
    bool magicOk = false;
    std::string displayName; // the bytes up to the first zero, as stored
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::array<Entry, kSlotCount> entries{};
    bool hasDoubles = false;
    std::array<Entry, kSlotCount> doubleEntries{};
    // The check the program makes before it uses or lists a file.
    bool accepted() const { return magicOk && major == kMajorVersion && minor == kMinorVersion; }
};

// False when fewer than kHeaderSize bytes are given.
bool parseHeader(const std::uint8_t* data, std::size_t size, Header& out);

// Where the bytes come from: a file or a block of memory.
class Source
{
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly n bytes at offset, or false (a failed seek or a short read).
    virtual bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) = 0;
    // All size() bytes in place, when the source can offer them without copying; else null.
    virtual const std::uint8_t* view() const { return nullptr; }
};

class MemorySource : public Source
{
public:
    MemorySource(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {}
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) override;
    const std::uint8_t* view() const override { return m_data; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

class FileSource : public Source
{
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) override;
    const std::uint8_t* view() const override { return m_map; }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    const std::uint8_t* m_map = nullptr; // the file mapped read-only, when that works
};

struct ReadResult
{
    bool headerRead = false; // all 1368 header bytes were there
    Header header;
    int visited = 0;      // slots gone through before the loop ended
    int stoppedAt = -1;   // the slot whose data could not be had, -1 when the loop completed
    bool fallback = true; // the program uses its built-in bitmaps for every slot
    std::array<std::optional<dib::Image>, kSlotCount> images;
    std::array<std::optional<dib::Image>, kSlotCount> doubleImages;
    std::array<std::string, kSlotCount> problems; // why a present slot gave no image
};

// Reads the header, then every slot in order until the first one whose data cannot be had.
// A slot whose data is there but does not decode stays empty and the loop goes on. With fewer
// than three slots visited the whole file falls back to the built-in look.
ReadResult readSkin(Source& source);

// Writes a skin file: packed DIBs per slot (empty = absent) and optional double-resolution
// ones. The name is cut to kMaxNameBytes.
std::vector<std::uint8_t>
writeSkin(const std::string& displayName,
          const std::array<std::vector<std::uint8_t>, kSlotCount>& images,
          const std::array<std::vector<std::uint8_t>, kSlotCount>& doubleImages);

} // namespace uib
