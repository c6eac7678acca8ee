#include "shell/hl_shader_hook.h"

#include "runtime/rec_glext.h"

namespace {
// Set during static initialisation by the unit that owns the programs, read on the main
// thread afterwards.
constinit shader_unbind_fn g_unbind = nullptr;
}  // namespace

shader_unbind_fn DIDIVI_set_shader_unbind(shader_unbind_fn f)
{
	shader_unbind_fn old = g_unbind;
	g_unbind = f;
	return old;
}

void DIDIVI_unbind_shaders()
{
	if (g_unbind) {
		g_unbind();
		return;
	}
	if (glExt.shad_objs_avail && glExt.glUseProgramObjectARB) glExt.glUseProgramObjectARB(0);
}
