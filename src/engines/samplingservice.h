#pragma once
// The spectrum sampling service: one worker thread that asks the engines for the current
// spectrum about twenty times a second and hands it to the (at most two) spectrum displays,
// slot 0 for the Sound Effector's and slot 1 for the free-standing viewer's. With no display
// registered the worker is held still.
//
// Sources are asked in order until one answers: the MPEG engine (what the digital audio player
// sounds), the CD Player's and the MIDI Player's audio (KCDSEngine_ 0 and 1), then the MIDI and
// IMS engines once their modules provide them.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace engines {

using SpectrumSnapshot = std::array<std::int32_t, 20>;

// A display, as the service sees it. Both calls come on the worker thread with the service's
// lock held, so a display must be unregistered before it is deleted.
class SpectrumDisplayClient
{
public:
    virtual ~SpectrumDisplayClient() = default;
    // The display's mode word; its 0x10000 bit is the flag passed to the engines.
    virtual int spectrumMode() const = 0;
    virtual void showSpectrum(const SpectrumSnapshot& snapshot) = 0;
};

// A source fills the buffer and returns nonzero, or returns 0 when it has nothing.
using SpectrumSource = std::function<int(std::int32_t* buffer, int flag)>;

class SpectrumService
{
public:
    explicit SpectrumService(std::vector<SpectrumSource> sources);
    ~SpectrumService();
    SpectrumService(const SpectrumService&) = delete;
    SpectrumService& operator=(const SpectrumService&) = delete;

    // The program's service, over the engines' sources.
    static SpectrumService& instance();
    // The designed order: KMPEngine_GetSpectrum, KCDSEngine_GetSpectrum(0) and (1), then the
    // MIDI and IMS engines' sources when they have been provided.
    static std::vector<SpectrumSource> engineSources();
    static void setMidiSources(SpectrumSource midi, SpectrumSource ims);

    // Starts the worker, held still until a display registers.
    void start();
    // Slot 0 or 1; null unregisters.
    void registerDisplay(int slot, SpectrumDisplayClient* display);
    // Ends the worker; if it does not end within a second (stuck in an engine) it is left to
    // finish on its own and never touches a display again.
    void stop();

    bool isHeld() const;

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

} // namespace engines
