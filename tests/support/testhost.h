#pragma once
// The program as a component sees it, for tests that make components without a main window:
// every component switched on, settings kept in memory and never saved.

#include "players/component.h"

#include <string>

class TestHost : public PlayerHost
{
public:
    TestHost()
    {
        for (ComponentRecord& r : m_settings.components)
            r.enable = 1;
    }
    AppSettings& settings() override { return m_settings; }
    void saveSettings() override {}
    int& startMode() override { return m_mode; }
    std::string& pendingFile() override { return m_file; }
    bool& pendingFileIsTemporary() override { return m_temporary; }
    HWND controller() const override { return 0; }

private:
    AppSettings m_settings;
    int m_mode = StartModeNone;
    std::string m_file;
    bool m_temporary = false;
};
