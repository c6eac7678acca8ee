#include "extras/OGL_ChunkyBuffer.h"

#include <GL/glext.h>

#include <algorithm>
#include <cstring>

#include "graphics/ogl_draw.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_alert.h"
#include "runtime/rec_glext.h"

namespace {

UTL_stat chunky_bytes("memory/chunky_buffers", stat_memory, 0.0f);

const char* const kMapFailed[4] = {
	"Kestrix has run out of video card memory.",
	"I was unable to shift the scenery.",
	"Try running Kestrix with lower rendering settings.",
	"If that does not help, please report this to Corvane Labs!",
};
const char* const kSource = "OGL_ChunkyBuffer";
constexpr int kMapFailedLine = 186;

OGL_chunkybuffer::chunk* new_chunk()
{
	auto* c = new OGL_chunkybuffer::chunk;
	c->next = nullptr;
	c->free_bytes = OGL_chunkybuffer::chunk_bytes;
	return c;
}

int used(const OGL_chunkybuffer::chunk* c) { return OGL_chunkybuffer::chunk_bytes - c->free_bytes; }

GLint array_binding()
{
	GLint bound = 0;
	glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &bound);
	return bound;
}

}  // namespace

OGL_chunkybuffer::OGL_chunkybuffer()
	: data(nullptr), vbo(0), total_bytes(0), first_region(nullptr), last_region(nullptr)
{
}

OGL_chunkybuffer::subregion* OGL_chunkybuffer::new_subregion()
{
	auto* r = new subregion;
	r->next = nullptr;
	r->first_chunk = r->last_chunk = new_chunk();
	r->cursor = r->first_chunk->data;
	r->offset = 0;
	if (last_region)
		last_region->next = r;
	else
		first_region = r;
	last_region = r;
	return r;
}

void OGL_chunkybuffer::append(subregion* r, const void* bytes, int count)
{
	if (!r || !r->last_chunk) return;
	auto* src = static_cast<const unsigned char*>(bytes);
	while (count > 0) {
		chunk* c = r->last_chunk;
		if (c->free_bytes == 0) {
			c->next = new_chunk();
			c = r->last_chunk = c->next;
			r->cursor = c->data;
		}
		const int n = std::min(count, c->free_bytes);
		std::memcpy(r->cursor, src, n);
		r->cursor += n;
		c->free_bytes -= n;
		src += n;
		count -= n;
	}
}

void OGL_chunkybuffer::calc_offsets()
{
	// Once finalised the chunks are gone: counting again would zero every offset.
	if (finalized_) return;
	total_bytes = 0;
	for (subregion* r = first_region; r; r = r->next) {
		r->offset = total_bytes;
		for (chunk* c = r->first_chunk; c; c = c->next) total_bytes += used(c);
	}
}

template <class Sink>
void OGL_chunkybuffer::drain_chunks(Sink sink)
{
	int at = 0;
	for (subregion* r = first_region; r; r = r->next) {
		for (chunk* c = r->first_chunk; c;) {
			sink(at, c);
			at += used(c);
			chunk* next = c->next;
			delete c;
			c = next;
		}
		r->first_chunk = r->last_chunk = nullptr;
		r->cursor = nullptr;
	}
}

void OGL_chunkybuffer::finalize_vbo(int static_data)
{
	if (finalized_) return;
	calc_offsets();
	finalized_ = 1;
	chunky_bytes.own_value += total_bytes;
	glExt.glGenBuffersARB(1, &vbo);
	const GLint previous = array_binding();
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	glExt.glBufferDataARB(GL_ARRAY_BUFFER_ARB, total_bytes, nullptr,
	                      static_data ? GL_STATIC_DRAW_ARB : GL_STREAM_DRAW_ARB);
	data = nullptr;
	drain_chunks([](int at, chunk* c) { glExt.glBufferSubDataARB(GL_ARRAY_BUFFER_ARB, at, used(c), c->data); });
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, previous);
}

void OGL_chunkybuffer::finalize_mem()
{
	if (finalized_) return;
	calc_offsets();
	finalized_ = 1;
	chunky_bytes.own_value += total_bytes;
	auto* block = new unsigned char[total_bytes];
	data = block;
	drain_chunks([block](int at, chunk* c) { std::memcpy(block + at, c->data, used(c)); });
}

void OGL_chunkybuffer::map()
{
	if (!vbo || is_mapped()) return;
	// The drawing layer caches the bound buffer: leave GL's binding as it was found.
	const GLint previous = array_binding();
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	void* p = glExt.glMapBufferARB(GL_ARRAY_BUFFER_ARB, GL_READ_WRITE_ARB);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, previous);
	if (!p) __DIDIVI_alert(0, kMapFailed[0], kMapFailed[1], kMapFailed[2], kMapFailed[3], t_exit, kSource,
	                       kMapFailedLine);
	data = p;
}

void OGL_chunkybuffer::unmap()
{
	if (!vbo) return;
	const GLint previous = array_binding();
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
	glExt.glUnmapBufferARB(GL_ARRAY_BUFFER_ARB);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, previous);
	data = nullptr;
}

int OGL_chunkybuffer::is_mapped() { return vbo != 0 && data != nullptr ? 1 : 0; }

OGL_chunkybuffer::~OGL_chunkybuffer()
{
	if (vbo) {
		// GL's mapped pointer is GL's: the buffer is unmapped, never freed as a block.
		if (is_mapped()) unmap();
		// The drawing layer must not think a deleted buffer is still bound.
		const unsigned long none = 0;
		OGL_bind_vbo(none);
		OGL_bind_vbo_ind(none);
		glExt.glDeleteBuffersARB(1, &vbo);
	}
	delete[] static_cast<unsigned char*>(data);
	for (subregion* r = first_region; r;) {
		for (chunk* c = r->first_chunk; c;) {
			chunk* next = c->next;
			delete c;
			c = next;
		}
		subregion* next = r->next;
		delete r;
		r = next;
	}
	if (finalized_) chunky_bytes.own_value -= total_bytes;
}
