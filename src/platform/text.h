#pragma once
// Text is UTF-8 inside the program. Files written by older programs carry legacy bytes
// (ID3v1, IMS titles, old album databases, INI files, play lists): they are taken as UTF-8
// when they are valid UTF-8 and decoded with the legacy code page otherwise.

#include <optional>
#include <string>
#include <string_view>

namespace text {

bool isValidUtf8(std::string_view bytes);

// The value of a hexadecimal digit, -1 for any other character.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The legacy code page: KOLVO_CODEPAGE when set, else CP932 for a Japanese interface, CP949
// for a Korean one and CP1252 for the others. setLegacyCodePage overrides both (an empty name
// restores them).
std::string legacyCodePage();
void setLegacyCodePage(const std::string& codePage);

// Valid UTF-8 is returned as it is; anything else is decoded from the legacy code page.
// Bytes the code page cannot map become U+FFFD rather than being dropped.
std::string decodeLegacy(std::string_view bytes);

// iconv conversion between two encodings (names as iconv knows them). nullopt when iconv
// does not know an encoding or the input holds a sequence the target cannot represent.
std::optional<std::string> convert(std::string_view input, const char* from, const char* to);

// UTF-8 to the given legacy code page; nullopt when a character has no equivalent.
std::optional<std::string> encodeLegacy(std::string_view utf8, const std::string& codePage);

} // namespace text
