// When the Digital Audio Player records, the other players are told to stop once the options
// were accepted and before anything is recorded; a cancel tells nobody.

#include "componenthost.h"

#include "players/audioplayer.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <memory>

using namespace componenttest;

namespace {

// The Stop (with 1) messages to other components the stand-in controller has seen, by index.
std::vector<int> stopsSent(const RecordingController& controller)
{
    std::vector<int> to;
    for (const Message& m : controller.messages)
        if (m.msg == UM_COMMAND && m.lParam == MAKELPARAM(cmd::Stop, 1))
            to.push_back(static_cast<int>(m.wParam));
    return to;
}

class StandInRecording : public PlayerRecording
{
public:
    StandInRecording(bool accept, std::string path, const RecordingController& controller,
                     std::vector<int>& stopsAtStart)
        : m_accept(accept)
        , m_path(std::move(path))
        , m_controller(controller)
        , m_stopsAtStart(stopsAtStart)
    {}
    Started Start(QWidget*, const CdDisc&) override
    {
        if (!m_accept)
            return {};
        if (onOptionsAccepted)
            onOptionsAccepted();
        // The recording begins here: what had been said to the others by now.
        m_stopsAtStart = stopsSent(m_controller);
        return {m_path, {}, 0};
    }
    void Pause() override {}
    void Resume() override {}
    void Stop(bool) override {}
    Started NextCdTrack() override { return {}; }
    bool failed() const override { return false; }
    int elapsedSeconds() const override { return 0; }
    std::pair<int, int> levels() const override { return {0, 0}; }
    void setLevelsListener(std::function<void(int, int)>) override {}

private:
    bool m_accept;
    std::string m_path;
    const RecordingController& m_controller;
    std::vector<int>& m_stopsAtStart;
};

class RecordingHost : public TestHost
{
public:
    std::unique_ptr<PlayerRecording> makeRecording() override
    {
        return std::make_unique<StandInRecording>(accept, path, controllerWindow(), stopsAtStart);
    }
    bool accept = true;
    std::string path;
    std::vector<int> stopsAtStart;
};

class RecordingStartTest : public KolvoHomeTest
{};

} // namespace

TEST_F(RecordingStartTest, TheOtherPlayersStopBeforeRecordingButNotWhenCancelled)
{
    RecordingHost host;
    host.path = homePath("take.wav");
    AudioPlayer player(host, nullptr);
    spin(50);

    host.accept = false;
    player.sendMessage(UM_COMMAND, 0, MAKELPARAM(cmd::Record, 0));
    EXPECT_NE(player.state(), kModeRecording);
    EXPECT_TRUE(stopsSent(host.controllerWindow()).empty()) << "cancelled: nobody is told";

    host.accept = true;
    player.sendMessage(UM_COMMAND, 0, MAKELPARAM(cmd::Record, 0));
    ASSERT_EQ(player.state(), kModeRecording);
    const std::vector<int> others{ComponentCd, ComponentMidi, ComponentVideo};
    EXPECT_EQ(host.stopsAtStart, others) << "told before the recording began, itself not";
    EXPECT_EQ(stopsSent(host.controllerWindow()), others) << "and only once";
    player.sendMessage(UM_COMMAND, 0, MAKELPARAM(cmd::Stop, 0));
    EXPECT_EQ(player.state(), kModeStopped);
}
