#pragma once
// The fuzz targets' assertion: a property that does not hold names itself and its line on
// stderr, then aborts, so that libFuzzer keeps the input and the log says what went wrong.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? (void)0 : fuzzcheck::fail(#condition, __FILE__, __LINE__))

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: the property does not hold: %s\n", file, line, condition);
    std::abort();
}

} // namespace fuzzcheck
