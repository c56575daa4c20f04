// Binding the engine libraries by name.

#include "audio.h"

#include "platform/system.h"

#include <iterator>

EngineProcs EngineFn{};

namespace {

// --- main thread only (start-up and shutdown)
void *Libraries[3] = {};

// One row per bound procedure: its name and where its pointer lives.
struct Binding {
    const char *Name;
    void **Slot;
};

#define BIND(f) {#f, reinterpret_cast<void **>(&EngineFn.f)}
const Binding TavoProcs[] = {
    BIND(Tavo_Init),           BIND(Tavo_Free),
    BIND(Tavo_SetDevice),      BIND(Tavo_SetConfig),
    BIND(Tavo_ErrorGetCode),   BIND(Tavo_ChannelGetData),
    BIND(Tavo_ChannelGetLength), BIND(Tavo_ChannelBytes2Seconds),
    BIND(Tavo_ChannelGetAttribute), BIND(Tavo_ChannelSetDevice),
    BIND(Tavo_ChannelStop),    BIND(Tavo_StreamFree),
    BIND(Tavo_ChannelGetPosition), BIND(Tavo_ChannelSetPosition),
    BIND(Tavo_StreamGetFilePosition), BIND(Tavo_ChannelUpdate),
    BIND(Tavo_StreamCreateFile),
};
const Binding TavaProcs[] = {
    BIND(Tava_ASIO_GetDeviceInfo), BIND(Tava_ASIO_Init),
    BIND(Tava_ASIO_Free),          BIND(Tava_ASIO_SetUnicode),
    BIND(Tava_ASIO_SetDSD),        BIND(Tava_ASIO_CheckRate),
    BIND(Tava_ASIO_SetRate),       BIND(Tava_ASIO_GetRate),
    BIND(Tava_ASIO_ChannelEnable), BIND(Tava_ASIO_ChannelJoin),
    BIND(Tava_ASIO_ChannelSetFormat), BIND(Tava_ASIO_Start),
    BIND(Tava_ASIO_Stop),          BIND(Tava_ASIO_IsStarted),
    BIND(Tava_ASIO_ChannelPause),  BIND(Tava_ASIO_ChannelReset),
    BIND(Tava_ASIO_ErrorGetCode),  BIND(Tava_ASIO_GetVersion),
    BIND(Tava_ASIO_Future),
};
const Binding TavdProcs[] = {
    BIND(Tavd_DSD_StreamCreateFile),
    BIND(Tavd_DSD_ErrorGetText),
};
#undef BIND

static_assert(sizeof(EngineProcs) ==
                  sizeof(void *) * (std::size(TavoProcs) + std::size(TavaProcs) + std::size(TavdProcs)),
              "every engine procedure has a binding row");

template <size_t N>
bool Bind(int index, const std::string &path, const Binding (&rows)[N]) {
    // Loaded globally: tavd.so finds the core's registration procedures in the tavo.so loaded before.
    void *lib = LoadLibraryFile(path);
    if (!lib) return false;
    Libraries[index] = lib;
    for (const Binding &row : rows) {
        *row.Slot = LibrarySymbol(lib, row.Name);
        if (!*row.Slot) return false;
    }
    return true;
}

} // namespace

BindResult BindEngine(const std::string &folder) {
    UnbindEngine();
    if (!Bind(0, folder + "tavo.so", TavoProcs)) return BindNoTavo;
    if (!Bind(1, folder + "tava.so", TavaProcs)) return BindNoTava;
    if (!Bind(2, folder + "tavd.so", TavdProcs)) return BindNoTavd;
    if (EngineFn.Tavo_ErrorGetCode() != 0) return BindEngineError;
    return BindOk;
}

std::string BindErrorText(BindResult result) {
    switch (result) {
    case BindOk: return "";
    case BindNoTavo: return "Error open tavo.so";
    case BindNoTava: return "Error open tava.so";
    case BindNoTavd: return "Error open tavd.so";
    case BindEngineError: return "Error Tava Library";
    }
    return "";
}

void UnbindEngine() {
    EngineFn = EngineProcs{};
    // Unloaded in the reverse order of loading: tavd.so uses tavo.so.
    for (int i = 2; i >= 0; --i) {
        if (Libraries[i]) FreeLibraryFile(Libraries[i]);
        Libraries[i] = nullptr;
    }
}
