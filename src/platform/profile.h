#pragma once
// The settings store that stands in for the registry: an INI file per user read and written
// through QSettings. A registry path under HKEY_CURRENT_USER\Software\<company>\Kolvo maps to
// a section of the program's own settings file; any other path maps to a second file that
// keeps values the program writes outside its own key. Binary values are stored byte-exact.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QSettings;

enum HKEY : std::uintptr_t {
    HKEY_CLASSES_ROOT = 0x80000000,
    HKEY_CURRENT_USER = 0x80000001,
    HKEY_LOCAL_MACHINE = 0x80000002,
};

// Registry result codes the helpers return.
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;

// The five registry helpers. Each opens the key for one operation and closes it again.
int ReadBinaryValue(HKEY root, std::string_view subkey, std::string_view name, void* buffer,
                    size_t size);
int ReadStringValue(HKEY root, std::string_view subkey, std::string_view name, std::string& buffer,
                    size_t capacity);
int WriteBinaryValue(HKEY root, std::string_view subkey, std::string_view name, const void* data,
                     size_t size);
int WriteStringValue(HKEY root, std::string_view subkey, std::string_view name,
                     std::string_view text);
long DeleteValue(HKEY root, std::string_view subkey, std::string_view name);

// The profile functions of the application: sections and values under the program's key.
// One object may batch many reads and writes; sync() commits them.
class Profile
{
public:
    Profile();
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // The company part of the program's key; "Kolvo" is the application part.
    static void SetRegistryKey(const std::string& company);
    // "Software\<company>\Kolvo", the subkey of HKEY_CURRENT_USER holding the settings.
    static std::string applicationKey();

    // Missing values and values of the wrong type give the default.
    int GetProfileInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string GetProfileString(std::string_view section, std::string_view name,
                                 std::string_view defaultValue) const;
    bool hasValue(std::string_view section, std::string_view name) const;
    // How a stored text reads as a number: decimal, or hexadecimal after "0x", as a 32-bit
    // value. False for anything else, which GetProfileInt answers with the default.
    static bool ParseInt(std::string_view text, int& value);
    bool WriteProfileInt(std::string_view section, std::string_view name, int value);
    bool WriteProfileString(std::string_view section, std::string_view name,
                            std::string_view value);

    // Writes pending changes; false when the file could not be written.
    bool sync();

    // A settings file that is not a readable text file (noise, a folder, no permission) is
    // moved aside so the program starts from defaults and writes a fresh one. A text file with
    // lines that do not parse is copied aside and what parses is used. Nothing is deleted.
    struct SetAside
    {
        std::string path;   // where the old file now is ("" when nothing had to be done)
        bool moved = false; // moved (defaults used) rather than copied
    };
    static SetAside setAsideUnreadableFile(const std::string& file);

private:
    std::unique_ptr<QSettings> m_settings;
};
