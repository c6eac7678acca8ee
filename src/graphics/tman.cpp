#include "graphics/tman.h"

tman_class::tman_class()
	: async_cursor(0), loaded_texes(0), total_texes(0), scene_load_fail(0), plane_load_fail(0), instl_load_fail(0),
	  async_job(nullptr), async_io_result(0), force_finish(nullptr)
{
}
