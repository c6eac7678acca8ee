// The texture manager and the built-in atlases.
#include "graphics/builtin_tex.h"
#include "graphics/tman.h"
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"

void tman_class::reset_bind() { kx_fake::record("tman_reset_bind", {}); }
int tman_class::load_texture(tex_fail_mode fail, int ref, int flags, tex_load_time when, const std::string& name)
{
	kx_fake::record("tman_load_texture", {double(fail), double(ref), double(flags), double(when)}, name);
	return 0;
}
void tman_class::bind_ref(int ref, int unit, int mode)
{
	kx_fake::record("tman_bind_ref", {double(ref), double(unit), double(mode)});
}
void tman_class::unload_texture(int ref) { kx_fake::record("tman_unload_texture", {double(ref)}); }
void TEX_load_builtin_textures()
{
	kx_fake::record("TEX_load_builtin_textures", {});
	if (kx_fake::on_load_builtin) kx_fake::on_load_builtin();
}
