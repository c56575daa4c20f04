// The table of embedded resources. The bytes come from resources/embed.S, which the build writes with
// one .incbin per file.

#include "resources.h"

#include <iterator>

#define GS_RESOURCE_SYMBOLS(name)                                                                        \
    extern "C" const unsigned char gs_res_##name##_begin[];                                              \
    extern "C" const unsigned char gs_res_##name##_end[];
GS_RESOURCES(GS_RESOURCE_SYMBOLS)
#undef GS_RESOURCE_SYMBOLS

namespace {

const ResourceBytes Table[] = {
#define GS_RESOURCE_ROW(name)                                                                            \
    {gs_res_##name##_begin, static_cast<size_t>(gs_res_##name##_end - gs_res_##name##_begin)},
    GS_RESOURCES(GS_RESOURCE_ROW)
#undef GS_RESOURCE_ROW
};
static_assert(std::size(Table) == Resource_COUNT, "one row per resource");

} // namespace

ResourceBytes Resource(ResourceId id) { return Table[id]; }
