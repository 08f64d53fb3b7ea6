#include "cddb/linequeue.h"

#include <algorithm>
#include <cstring>

void LineQueue::append(const char* data, size_t size)
{
    if (size == 0)
        return;
    if (m_head == m_buffer.size()) {
        m_buffer.clear();
        m_head = 0;
        m_scan = 0;
    } else if (m_head > 65536 && m_head > m_buffer.size() / 2) {
        m_buffer.erase(0, m_head);
        m_scan -= m_head;
        m_head = 0;
    }
    m_buffer.append(data, size);
}

bool LineQueue::takeLine(std::string& line)
{
    const char* base = m_buffer.data();
    const size_t end = m_buffer.size();
    size_t pos = std::max(m_scan, m_head);
    while (pos + 1 < end) {
        const void* cr = std::memchr(base + pos, '\r', end - pos - 1);
        if (!cr)
            break;
        pos = static_cast<size_t>(static_cast<const char*>(cr) - base);
        if (base[pos + 1] == '\n') {
            line.assign(base + m_head, std::min(pos - m_head, kMaxLine));
            m_head = pos + 2;
            m_scan = m_head;
            return true;
        }
        ++pos;
    }
    // No pair yet; a CR in the last byte may still meet its LF.
    m_scan = end > m_head ? end - 1 : m_head;
    dropOverlongTail();
    return false;
}

void LineQueue::dropOverlongTail()
{
    // Everything queued is one unfinished line. Keep what will be yielded and the last byte,
    // which may be the CR of the line's end.
    const size_t pending = m_buffer.size() - m_head;
    if (pending <= kMaxLine + 1)
        return;
    m_buffer.erase(m_head + kMaxLine, pending - kMaxLine - 1);
    m_scan = m_head + kMaxLine;
}

void LineQueue::clear()
{
    m_buffer.clear();
    m_head = 0;
    m_scan = 0;
}
