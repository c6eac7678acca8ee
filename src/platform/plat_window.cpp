#include "platform/plat_window.h"

#include <atomic>

namespace {
std::atomic<plat_window_backend*> g_backend{nullptr};
std::atomic<plat_gl_proc_fn> g_proc{nullptr};
}  // namespace

plat_window_backend& plat_window()
{
	plat_window_backend* b = g_backend.load();
	return b ? *b : plat_sdl_window_backend();
}

plat_window_backend* plat_set_window_backend(plat_window_backend* b) { return g_backend.exchange(b); }

plat_gl_proc_fn plat_set_gl_proc_hook(plat_gl_proc_fn f) { return g_proc.exchange(f); }

void* plat_gl_proc(const char* name)
{
	if (plat_gl_proc_fn f = g_proc.load()) return f(name);
	return plat_window().gl_proc(name);
}
