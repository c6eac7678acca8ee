#include "runtime/rec_glext.h"

OGL_extensions glExt;

OGL_extensions::OGL_extensions()
{
#define KX_GLEXT_CLEAR_PROC(type, name) name = nullptr;
	KX_GLEXT_ALL_PROCS(KX_GLEXT_CLEAR_PROC)
#undef KX_GLEXT_CLEAR_PROC
	multitex_avail = tex_clamp_avail = add_env_avail = combine_avail = dis_fog_avail = tex_comp_avail = 0;
	vbo_avail = pbo_avail = vprog_avail = fprog_avail = automini_avail = aniso_avail = fsaa_avail = 0;
	sprites_avail = depth_tex_avail = occlude_avail = shad_objs_avail = vshader_avail = fshader_avail = 0;
	gshader_avail = glsl_avail = first_gen_shaders = framebuf_avail = sblend_avail = 0;
	reserved_flag = 0;
	max_tex_size = 0;
	// Until detection says otherwise; detection always clears it in this program.
	threaded_avail = 1;
}
