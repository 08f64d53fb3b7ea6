// The hand-over record arrives from another process; whatever it holds, parsing must not read
// outside it, and a record that parses must build back into the same bytes.
#include "app/commandline.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    HandoverRecord record;
    if (!ParseHandoverRecord(data, size, record))
        return 0;
    AppCommandLineInfo info;
    info.startCommands = record.startCommands;
    info.startMode = record.startMode;
    info.fileName = record.fileName;
    const auto rebuilt = BuildHandoverRecord(info);
    // Bytes after the name's terminator are not part of the record.
    if (rebuilt.size() > size || std::memcmp(rebuilt.data(), data, rebuilt.size()) != 0)
        std::abort();
    return 0;
}
