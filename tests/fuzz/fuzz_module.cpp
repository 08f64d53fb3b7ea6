// Tracker modules come in dozens of formats from anywhere. The module engine opens them as
// libopenmpt reads them, with our settings: whatever the bytes, opening either fails or gives a
// module with a finite length that renders (a short while here) and seeks without harm.
#include "fuzzcheck.h"

#include <libopenmpt/libopenmpt.h>

#include <cmath>

FUZZ_TARGET
{
    openmpt_module* m = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent,
                                                           nullptr, openmpt_error_func_ignore,
                                                           nullptr, nullptr, nullptr, nullptr);
    if (!m)
        return;
    const double length = openmpt_module_get_duration_seconds(m);
    FUZZ_CHECK(std::isfinite(length) && length >= 0);
    openmpt_module_ctl_set_boolean(m, "seek.sync_samples", 1);
    openmpt_module_ctl_set_floatingpoint(m, "play.tempo_factor", 2.0);
    openmpt_module_ctl_set_floatingpoint(m, "play.pitch_factor", 0.5);
    std::int16_t pcm[2 * 1024];
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(openmpt_module_read_interleaved_stereo(m, 44100, 1024, pcm) <= 1024);
    openmpt_module_ctl_set_floatingpoint(m, "play.tempo_factor", 1.0);
    FUZZ_CHECK(std::isfinite(openmpt_module_set_position_seconds(m, length / 2)));
    openmpt_module_read_interleaved_stereo(m, 44100, 1024, pcm);
    openmpt_module_destroy(m);
}
