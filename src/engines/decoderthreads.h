#pragma once
// How many threads libav's video decoders get. Slice and frame threads pay for themselves on
// large pictures only: on a picture of standard definition or less (720 x 576 and below) the
// helper threads' hand-overs cost more than the decoding they take on (a 352 x 288 MPEG-1 film
// spent a tenth of its playing time on them), so such pictures are decoded on the streaming
// thread alone; larger ones keep libav's own choice.

#include <gst/gst.h>

namespace engines {

// The "max-threads" a libav video decoder gets for pictures of that size (0: libav's choice).
int decoderThreadsFor(int width, int height);

// Watches a decoder just added to a pipeline: when it is one of libav's video decoders, each
// picture size it is given sets its threads before it opens for it. Other elements are left
// alone.
void limitDecoderThreads(GstElement* element);

} // namespace engines
