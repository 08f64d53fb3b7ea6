#pragma once
// A small reader of rich-text (RTF) lyric files: paragraphs of runs with bold, italic,
// underline, font size and colour. Text comes out as UTF-8: \uN escapes, and \'xx bytes
// decoded in the code page of the current font's character set (or of the document).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RtfRun
{
    std::string text; // UTF-8
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;                // font size in half points, as RTF counts it
    std::optional<std::uint32_t> color; // 0xRRGGBB; none = the viewer's automatic colour
};

struct RtfParagraph
{
    std::vector<RtfRun> runs;
};

struct RtfDocument
{
    std::vector<RtfParagraph> paragraphs;
    // The whole text, paragraphs separated by '\n' (for tests and plain views).
    std::string plainText() const;
};

// Never fails: what cannot be understood is skipped, and a document cut short keeps what came
// before the cut. Nesting deeper than a sane limit is ignored rather than followed.
RtfDocument ParseRtf(std::string_view data);
