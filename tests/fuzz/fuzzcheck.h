#pragma once
// What every fuzz target shares. FUZZ_TARGET { ... } is the entry point: its body sees the input
// as `data` and `size` and as the string `bytes`. FUZZ_CHECK is its assertion: a property that
// does not hold names itself and its line on stderr, then aborts, so that libFuzzer keeps the
// input and the log says what went wrong.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? (void)0 : fuzzcheck::fail(#condition, __FILE__, __LINE__))

#define FUZZ_TARGET                                                                                \
    static void fuzzOne(const std::uint8_t*, size_t, const std::string&);                          \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)                   \
    {                                                                                              \
        fuzzOne(data, size, std::string(reinterpret_cast<const char*>(data), size));               \
        return 0;                                                                                  \
    }                                                                                              \
    static void fuzzOne([[maybe_unused]] const std::uint8_t* data, [[maybe_unused]] size_t size,   \
                        [[maybe_unused]] const std::string& bytes)

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: the property does not hold: %s\n", file, line, condition);
    std::abort();
}

} // namespace fuzzcheck
