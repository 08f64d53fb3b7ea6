#pragma once
// The string table. Every user text comes from it by id; the tables exist in English,
// Japanese and Korean with the same ids (src/res/strings/*.tsv, built into the program).

#include "platform/messages.h"

#include <QString>

#include <string>
#include <string_view>

// "en", "ja" or "ko": KOLVO_LANG when set to one of them, else from the locale
// (LC_ALL, LC_MESSAGES, LANG), else "en".
std::string interfaceLanguage();
// For tests and the preferences: switch the table for the rest of the process ("" = automatic).
void setInterfaceLanguage(const std::string& language);

// The text of a string id in the interface language; an id missing from the Japanese or
// Korean table falls back to English, an id missing from all tables gives "".
std::string LoadString(UINT id);
QString LoadQString(UINT id);
// The text of a string id whose one "%s" is filled with text (the table's formats are ours and
// their specifiers are checked against English).
std::string formatString(UINT id, const std::string& text);

namespace stringtable {

// One line of a table: id, tab, text with \n \r \t \\ escapes. False for '#' comments,
// blank and malformed lines.
bool parseLine(std::string_view line, UINT& id, std::string& text);

// Calls sink(id, text) for every entry of a whole table; returns the number of entries.
template <typename Sink>
int parse(std::string_view data, Sink&& sink)
{
    int count = 0;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        if (end == std::string_view::npos)
            end = data.size();
        UINT id;
        std::string text;
        if (parseLine(data.substr(pos, end - pos), id, text)) {
            sink(id, std::move(text));
            ++count;
        }
        pos = end + 1;
    }
    return count;
}

} // namespace stringtable
