#pragma once
// The Mixer, the second component of the strip (500 x 100): six columns of the sound
// server's lines, each with a volume slider, a balance slider and a switch (mute, or select
// for a recording source), in three views (playback, recording, other devices), paged by six;
// and the master volume the rest of the program uses: up, down, set (the start-up option
// "volume:") and the attenuator (ATT) that cuts the master volume to a fifth and gives it
// back. Its lines come from a mixer device (PulseAudio by default); changes made elsewhere
// show at once, and what the panel changes reaches the server at once.
//
// Component commands (UM_COMMAND, lParam = value << 16 | command), with their results:
// 5135 Volume Up and 5134 Volume Down (the new master volume), 5180 set the master volume
// (the value, clamped to 0..32), 5172 with value 1 (1 while attenuated, else 0), 5172 with
// another value toggles ATT. Without a sound server they return 0.

#include "players/component.h"
#include "players/mixerdevice.h"

#include <array>
#include <memory>

class SkinSlider;

class Mixer : public ComponentWnd
{
    Q_OBJECT
public:
    static constexpr int kHeight = 100;

    // The device defaults to PulseAudio's.
    Mixer(PlayerHost& host, QWidget* parent, std::unique_ptr<mixer::MixerDevice> device = {});
    ~Mixer() override;

    // The master volume functions (view 0, line 0).
    int MasterVolume() const;
    // Sets it (clamped to 0..32) keeping its balance, and cancels the attenuator; returns it,
    // or 0 when there is no master line. Asked before the device has answered for the first
    // time (the start-up option "volume:"), it is carried out once the device has.
    int SetMasterVolume(int volume);
    void ToggleAttenuator();
    bool isAttenuated() const { return m_savedMaster >= 0; }

    int view() const { return m_view; }
    int firstLine() const { return m_first; }
    const mixer::Snapshot& lines() const { return m_snapshot; }
    const std::array<mixer::Column, mixer::kColumns>& columns() const { return m_columns; }
    SkinSlider* volumeSlider(int column) const { return m_volume[column]; }
    SkinSlider* balanceSlider(int column) const { return m_balance[column]; }
    SkinButton* columnSwitch(int column) const;
    mixer::MixerDevice& device() const { return *m_device; }

    // Volume and balance of a line of the current view; the line's other value is kept.
    void SetLineVolume(int line, int volume);
    void SetLineBalance(int line, int balance);

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onCommand(int id);
    LRESULT onComponentCommand(LPARAM lParam);
    void onSlider(UINT msg, WPARAM wParam, LPARAM lParam);
    void onSwitch(int column);
    void takeSnapshot();
    void rebuildColumns();
    void cancelAttenuator();
    void setChannels(int view, int line, int volume, int balance);
    mixer::View& currentView() { return m_snapshot.views[m_view]; }
    const mixer::View& currentView() const { return m_snapshot.views[m_view]; }

    std::unique_ptr<mixer::MixerDevice> m_device;
    mixer::Snapshot m_snapshot;
    std::array<mixer::Column, mixer::kColumns> m_columns{};
    std::array<SkinSlider*, mixer::kColumns> m_volume{};
    std::array<SkinSlider*, mixer::kColumns> m_balance{};
    int m_view = 0;
    int m_first = 0;
    int m_savedMaster = -1;
    int m_pendingMaster = -1;
};
