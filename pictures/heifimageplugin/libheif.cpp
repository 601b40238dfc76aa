#include "pictures/heifimageplugin/libheif.h"

#include <dlfcn.h>

namespace {

// Resolves every function; false when one is missing.
bool load(LibHeif &api)
{
    void *library = ::dlopen("libheif.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    bool complete = true;
#define ALBUM_LIBHEIF_FUNCTION(name)                                                               \
    api.name = reinterpret_cast<decltype(api.name)>(::dlsym(library, #name));                      \
    complete = complete && api.name;
#include "pictures/heifimageplugin/libheiffunctions.h"
#undef ALBUM_LIBHEIF_FUNCTION
    // Kept loaded to the end of the program.
    if (!complete)
        return false;
    // libheif registers its decoders once, before any picture is decoded.
    api.heif_init(nullptr);
    return true;
}

} // namespace

const LibHeif *libheif()
{
    static const LibHeif *const loaded = [] {
        static LibHeif api;
        return load(api) ? &api : nullptr;
    }();
    return loaded;
}
