#pragma once

#include <libheif/heif.h>

// libheif, loaded when the first HEIF picture is read rather than with the program: loading
// it sets up its HEVC decoder, which would cost every start of the program a good share of its
// time. One function pointer for each libheif function the plugin calls, named as in libheif.
struct LibHeif
{
#define ALBUM_LIBHEIF_FUNCTION(name) decltype(&::name) name = nullptr;
#include "pictures/heifimageplugin/libheiffunctions.h"
#undef ALBUM_LIBHEIF_FUNCTION
};

// libheif, loaded and set up on the first call (from any thread); null where it cannot be
// loaded, and then no HEIF picture can be read.
const LibHeif *libheif();
