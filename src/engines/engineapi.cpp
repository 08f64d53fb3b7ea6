#include "engines/engineapi.h"

bool IsFileNotReachable(std::int32_t result)
{
    switch (result) {
    case kMciFailed:
    case kMciNotFound:
    case kAmNotFound:
    case kQtNotFound:
    case kMidiNotFound:
    case kRaNotFound:
    case kMpegNotFound:
    case kRvNotFound:
    case kModNotFound:
    case kCdReaderNotFound:
        return true;
    default:
        return false;
    }
}
