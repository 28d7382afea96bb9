#include "imaging/imaging_library.h"

#include <vips/vips8>

namespace imaging {
namespace {

// vips_shutdown() on a library that never started crashes; remember the start.
bool g_started = false;

}  // namespace

LibrarySession::LibrarySession() : m_ok(vips_init("tessiva") == 0) {
    if (m_ok && !g_started) AllowOnlyInProcessLoaders();
    g_started |= m_ok;
}

LibrarySession::~LibrarySession() {
    // Empty the operation cache (it holds images and open files) but keep it
    // usable: dropping it outright is only for the final shutdown.
    if (m_ok) {
        const int max = vips_cache_get_max();
        vips_cache_set_max(0);
        vips_cache_set_max(max);
    }
}

void AllowOnlyInProcessLoaders() {
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader : {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif",
                               "VipsForeignLoadWebp", "VipsForeignLoadTiff"})
        vips_operation_block_set(loader, FALSE);
}

void KeepNoOperations() {
    vips_cache_set_max(0);
}

void ShutdownLibrary() {
    if (g_started) vips_shutdown();
    g_started = false;
}

}  // namespace imaging
