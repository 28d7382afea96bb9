#include "imaging/imaging_library.h"

#include <vips/vips8>

namespace imaging {
namespace {

// vips_shutdown() on a library that never started crashes; remember the start.
bool g_started = false;

}  // namespace

LibrarySession::LibrarySession() : m_ok(vips_init("tessiva") == 0) { g_started |= m_ok; }

LibrarySession::~LibrarySession() {
    if (m_ok) vips_cache_drop_all();
}

void ShutdownLibrary() {
    if (g_started) vips_shutdown();
    g_started = false;
}

}  // namespace imaging
