#pragma once
// KCDSEngine_: the spectrum of what the CD Player (instance 0) or the MIDI Player (instance 1)
// sounds. On Linux their audio passes our output chain too, so the spectrum comes from that
// chain's analysis tap while the instance runs.

#include <cstdint>

std::int32_t KCDSEngine_Run(int inst);
std::int32_t KCDSEngine_Stop(int inst);
std::int32_t KCDSEngine_IsRunning(int inst);
// 20 band values 0..100; nonzero when the instance runs and its audio sounds.
std::int32_t KCDSEngine_GetSpectrum(int inst, std::int32_t* buffer, int flags);
