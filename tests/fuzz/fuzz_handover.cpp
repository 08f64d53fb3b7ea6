// The hand-over record arrives from another process; whatever it holds, parsing must not read
// outside it, and a record that parses must build back into the same bytes.
#include "app/commandline.h"
#include "fuzzcheck.h"

FUZZ_TARGET
{
    HandoverRecord record;
    if (!ParseHandoverRecord(data, size, record))
        return;
    AppCommandLineInfo info;
    info.startCommands = record.startCommands;
    info.startMode = record.startMode;
    info.fileName = record.fileName;
    const auto rebuilt = BuildHandoverRecord(info);
    // Bytes after the name's terminator are not part of the record.
    FUZZ_CHECK(rebuilt.size() <= size && std::memcmp(rebuilt.data(), data, rebuilt.size()) == 0);
}
