#include "record/libav.h"

#include <dlfcn.h>

namespace record {

#define KOLVO_AV_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

const AvApi& av()
{
    static const AvApi loaded = [] {
        AvApi a;
        const auto open = [&a](const char* soname) -> void* {
            void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
            if (!library && a.error.empty()) {
                const char* why = dlerror();
                a.error = std::string(soname) +
                          " cannot be loaded (install the FFmpeg libraries): " + (why ? why : "");
            }
            return library;
        };
        void* const libraries[] = {open(KOLVO_AV_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR)),
                                   open(KOLVO_AV_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR)),
                                   open(KOLVO_AV_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR))};
        if (!a.error.empty())
            return a;
        // Each function is looked for in the three libraries in turn.
        const auto find = [&libraries](const char* name) -> void* {
            for (void* library : libraries)
                if (void* f = dlsym(library, name))
                    return f;
            return nullptr;
        };
#define KOLVO_AV_LOOKUP(name)                                                                      \
    a.name = reinterpret_cast<decltype(a.name)>(find(#name));                                      \
    if (!a.name && a.error.empty())                                                                \
        a.error = "the FFmpeg libraries lack " #name;
        KOLVO_AV_FUNCTIONS(KOLVO_AV_LOOKUP)
#undef KOLVO_AV_LOOKUP
        return a;
    }();
    return loaded;
}

} // namespace record
