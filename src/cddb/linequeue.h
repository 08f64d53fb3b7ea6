#pragma once
// LineQueue: received bytes waiting to be taken as CR LF lines. A partial line stays queued
// until its CR LF arrives, even when the CR and the LF come in different reads.
//
// A line is yielded with at most kMaxLine bytes; the rest of a longer line is dropped (as it
// arrives, so a peer that never ends its line cannot fill memory). Cutting rather than
// splitting keeps the tail of an overlong line from being read as a line of its own.

#include <cstddef>
#include <string>
#include <string_view>

class LineQueue
{
public:
    static constexpr size_t kMaxLine = 255;

    void append(const char* data, size_t size);
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    // Everything a device (a socket) holds now.
    template <class Device>
    void appendAvailable(Device& device)
    {
        char chunk[kMaxLine];
        for (;;) {
            const auto n = device.read(chunk, sizeof chunk);
            if (n < 1)
                return;
            append(chunk, static_cast<size_t>(n));
        }
    }

    // Takes the next complete line without its CR LF; false (and line untouched) when the
    // queue holds no CR LF.
    bool takeLine(std::string& line);

    // Bytes queued (after any dropping of overlong line tails).
    size_t size() const { return m_buffer.size() - m_head; }
    bool empty() const { return size() == 0; }
    void clear();

private:
    void dropOverlongTail();

    std::string m_buffer;
    size_t m_head = 0; // first byte not yet taken
    size_t m_scan = 0; // bytes before this index hold no CR LF start
};
