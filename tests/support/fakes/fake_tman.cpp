// The texture manager and the built-in atlases.
#include "graphics/builtin_tex.h"
#include "graphics/tman.h"
#include "support/fakes/fake_record.h"
#include "support/fakes/fakes.h"

void tman_class::reset_bind() { kx_fake::record("tman_reset_bind", {}); }
void TEX_load_builtin_textures()
{
	kx_fake::record("TEX_load_builtin_textures", {});
	if (kx_fake::on_load_builtin) kx_fake::on_load_builtin();
}
