// resources/: everything the executable carries inside itself, linked in as read-only data.
#pragma once

#include <cstddef>

// name, file (the build links these into the executable; see resources/CMakeLists.txt)
#define GS_RESOURCES(X)                                                                                  \
    X(TurntablePhoto)  /* pictures/turntable.png, 820x536 */                                             \
    X(SplashPicture)   /* pictures/splash.png, 420x280 */                                                \
    X(LabelMask)       /* pictures/labelmask.png, 258x222 with alpha */                                   \
    X(ProgramIcon)     /* pictures/icon.png, 256x256 */                                                   \
    X(CalligraphyFont) /* fonts/texgyrechorus-mediumitalic.otf, asked for as "Lucida Calligraphy" */     \
    X(TavaLibrary)     /* the engine libraries, in the order they are deployed */                         \
    X(TavoLibrary)                                                                                       \
    X(TavdLibrary)

enum ResourceId {
#define GS_RESOURCE_ID(name) Res##name,
    GS_RESOURCES(GS_RESOURCE_ID)
#undef GS_RESOURCE_ID
        Resource_COUNT
};

struct ResourceBytes {
    const unsigned char *data;
    size_t size;
};

// The bytes of a resource; they live as long as the process.
ResourceBytes Resource(ResourceId id);
