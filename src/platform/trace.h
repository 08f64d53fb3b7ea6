#pragma once
// A developer's trace of the program's key moments on stdout, on when KOLVO_TRACE is set.
// Tests and benchmarks read it to see what a running instance did.

void traceStartClock();
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Resident memory of this process in KiB (0 when unknown).
long residentKiB();
