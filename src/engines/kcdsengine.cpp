#include "engines/kcdsengine.h"

#include "engines/outputchain.h"

#include <array>
#include <atomic>

namespace {

std::array<std::atomic<bool>, 2> g_running{};

engines::ChainRole roleOf(int inst)
{
    return inst == 0 ? engines::ChainRole::Cd : engines::ChainRole::Midi;
}

bool valid(int inst)
{
    return inst == 0 || inst == 1;
}

} // namespace

std::int32_t KCDSEngine_Run(int inst)
{
    if (!valid(inst))
        return 0;
    g_running[inst] = true;
    return 1;
}

std::int32_t KCDSEngine_Stop(int inst)
{
    if (!valid(inst))
        return 0;
    g_running[inst] = false;
    return 1;
}

std::int32_t KCDSEngine_IsRunning(int inst)
{
    return valid(inst) && g_running[inst] ? 1 : 0;
}

std::int32_t KCDSEngine_GetSpectrum(int inst, std::int32_t* buffer, int flags)
{
    if (!valid(inst) || !g_running[inst] || !buffer)
        return 0;
    return engines::roleSpectrum(roleOf(inst), buffer, flags) ? 1 : 0;
}
