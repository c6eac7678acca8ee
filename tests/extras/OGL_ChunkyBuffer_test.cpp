// The chunked vertex buffer: chunk chains and offsets, both finalisers, the statistic,
// and the buffer object on a headless GL context.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <vector>

#include "extras/OGL_ChunkyBuffer.h"
#include "extras_doubles.h"
#include "graphics/ogl_draw.h"
#include "runtime/UTL_stat.h"
#include "runtime/rec_glext.h"
#include "support/gl_test_context.h"

namespace {

std::vector<unsigned char> pattern(int n, int seed)
{
	std::vector<unsigned char> v(n);
	for (int i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(seed + i * 7);
	return v;
}

float chunky_stat()
{
	UTL_stat::init_stats();
	for (UTL_stat* s : all_stats[0])
		if (std::string(s->name) == "memory/chunky_buffers") return s->own_value;
	ADD_FAILURE() << "memory/chunky_buffers is not registered";
	return -1.0f;
}

TEST(ChunkyBuffer, SubregionsGetTheirOffsetsFromTheChunksUsedBytes)
{
	OGL_chunkybuffer b;
	auto* first = b.new_subregion();
	auto* second = b.new_subregion();
	EXPECT_EQ(b.first_region, first);
	EXPECT_EQ(b.last_region, second);
	b.append(first, pattern(1500, 1).data(), 1500);
	b.append(second, pattern(100, 2).data(), 100);
	ASSERT_NE(first->first_chunk->next, nullptr);
	EXPECT_EQ(first->first_chunk->free_bytes, 0);
	EXPECT_EQ(first->last_chunk->free_bytes, 1024 - 476);
	EXPECT_EQ(second->first_chunk->free_bytes, 1024 - 100);
	b.calc_offsets();
	EXPECT_EQ(first->offset, 0);
	EXPECT_EQ(second->offset, 1500);
	EXPECT_EQ(b.total_bytes, 1600);
}

TEST(ChunkyBuffer, MemoryBlockHoldsEveryAppendedByteTailsIncluded)
{
	const float before = chunky_stat();
	{
		OGL_chunkybuffer b;
		auto* a = b.new_subregion();
		auto* c = b.new_subregion();
		const auto pa = pattern(1027, 3), pc = pattern(5, 4);
		b.append(a, pa.data(), 1000);
		b.append(a, pa.data() + 1000, 27);
		b.append(c, pc.data(), 5);
		b.finalize_mem();
		ASSERT_EQ(b.total_bytes, 1032);
		EXPECT_EQ(c->offset, 1027);
		auto* out = static_cast<unsigned char*>(b.data);
		EXPECT_EQ(std::vector<unsigned char>(out, out + 1027), pa);
		EXPECT_EQ(std::vector<unsigned char>(out + 1027, out + 1032), pc);
		EXPECT_EQ(b.is_mapped(), 0);
		EXPECT_EQ(a->first_chunk, nullptr);
		EXPECT_FLOAT_EQ(chunky_stat(), before + 1032);

		// Finalising again, or counting again, changes nothing.
		void* block = b.data;
		b.finalize_mem();
		b.calc_offsets();
		EXPECT_EQ(b.data, block);
		EXPECT_EQ(c->offset, 1027);
		EXPECT_EQ(b.total_bytes, 1032);
		EXPECT_FLOAT_EQ(chunky_stat(), before + 1032);
		// Nothing is appended into a finalised buffer.
		b.append(c, pc.data(), 5);
		EXPECT_EQ(c->first_chunk, nullptr);
	}
	EXPECT_FLOAT_EQ(chunky_stat(), before);
}

TEST(ChunkyBuffer, EmptyBufferFinalisesToNothing)
{
	OGL_chunkybuffer b;
	b.finalize_mem();
	EXPECT_EQ(b.total_bytes, 0);
	EXPECT_NE(b.data, nullptr);
}

TEST(ChunkyBuffer, StatisticLosesOnlyWhatItGained)
{
	const float before = chunky_stat();
	{
		OGL_chunkybuffer b;
		auto* r = b.new_subregion();
		b.append(r, pattern(200, 5).data(), 200);
		b.calc_offsets();
		EXPECT_EQ(b.total_bytes, 200);
	}
	EXPECT_FLOAT_EQ(chunky_stat(), before);
}

class ChunkyOnGl : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.why();
		kx_doubles::reset();
		kx_doubles::rec.gl_live = true;
		glExt.vbo_avail = 1;
	}
	static GLint array_binding()
	{
		GLint b = 0;
		glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &b);
		return b;
	}
	std::vector<unsigned char> read_back(GLuint vbo, int n)
	{
		std::vector<unsigned char> out(n);
		const GLint was = array_binding();
		glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, vbo);
		glExt.glGetBufferSubDataARB(GL_ARRAY_BUFFER_ARB, 0, n, out.data());
		glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, was);
		return out;
	}

	GlTestContext gl{16, 16};
};

TEST_F(ChunkyOnGl, BufferObjectReadsBackAndTheBindingIsRestored)
{
	GLuint other = 0;
	glExt.glGenBuffersARB(1, &other);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, other);
	OGL_chunkybuffer b;
	auto* a = b.new_subregion();
	auto* c = b.new_subregion();
	const auto pa = pattern(2051, 6), pc = pattern(3, 7);
	b.append(a, pa.data(), 2051);
	b.append(c, pc.data(), 3);
	b.finalize_vbo(1);
	ASSERT_NE(b.vbo, 0u);
	EXPECT_EQ(b.data, nullptr);
	EXPECT_EQ(array_binding(), GLint(other));
	std::vector<unsigned char> want = pa;
	want.insert(want.end(), pc.begin(), pc.end());
	EXPECT_EQ(read_back(b.vbo, 2054), want);
	EXPECT_EQ(c->offset, 2051);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	glExt.glDeleteBuffersARB(1, &other);
}

TEST_F(ChunkyOnGl, MapsUnmapsAndIsDestroyedWhileMapped)
{
	const float before = chunky_stat();
	auto b = std::make_unique<OGL_chunkybuffer>();
	auto* r = b->new_subregion();
	b->append(r, pattern(64, 8).data(), 64);
	b->finalize_vbo(0);
	EXPECT_EQ(b->is_mapped(), 0);
	GLuint other = 0;
	glExt.glGenBuffersARB(1, &other);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, other);
	b->map();
	ASSERT_EQ(b->is_mapped(), 1);
	// GL's binding is left as the drawing layer last set it.
	EXPECT_EQ(array_binding(), GLint(other));
	static_cast<unsigned char*>(b->data)[0] = 0xAB;
	b->unmap();
	EXPECT_EQ(b->is_mapped(), 0);
	EXPECT_EQ(array_binding(), GLint(other));
	EXPECT_EQ(read_back(b->vbo, 1)[0], 0xAB);

	// The drawing layer's cached binding goes with the buffer.
	const unsigned long id = b->vbo;
	OGL_bind_vbo(id);
	OGL_bind_vbo_ind(id);
	b->map();
	ASSERT_EQ(b->is_mapped(), 1);
	b.reset();
	// Both caches were set back to buffer 0, and GL with them.
	EXPECT_EQ(array_binding(), 0);
	GLint element = -1;
	glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &element);
	EXPECT_EQ(element, 0);
	EXPECT_FLOAT_EQ(chunky_stat(), before);
	glExt.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
	glExt.glDeleteBuffersARB(1, &other);
}

}  // namespace
