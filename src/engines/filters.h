#pragma once
// Kolvo's own GStreamer audio filters, for what GStreamer has no element of its own: channel
// choice with gain and AGC ("kolvoscale"), 3D ("kolvo3d"), wide stereo ("kolvowide"), the
// flange and robot F/X ("kolvofx") and a fader ("kolvofade"). All take and give interleaved
// stereo F32 at any rate; an element whose settings leave the sound as it is lets buffers pass
// untouched. "kolvostereo" makes mono F32 stereo (each sample on both sides) and passes stereo
// through: the chain's way in, cheaper than audioconvert's general channel mixer.
//
// Properties:
//   kolvoscale  channel (int 0 stereo, 1 left, 2 right, 3 mono), gain (float 0..4),
//               agc (bool), agc-gain (float, read-only: the gain AGC applies now)
//   kolvo3d     enabled (bool), depth (int 0..32)
//   kolvowide   enabled (bool), depth (int 0..32)
//   kolvofx     enabled (bool), mode (int 0..10; modes 0..3 are processed here)
//   kolvofade   target (float 0..1), duration (int ms), silent (bool, read-only)

#include <gst/gst.h>

namespace engines {

bool registerKolvoElements(GstPlugin* plugin);

} // namespace engines
