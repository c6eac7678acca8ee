#pragma once
// Vertex data of unknown final size, collected without ever moving: appended into
// chains of fixed 1024-byte chunks grouped in sub-regions, then finalised in one piece,
// into one GL array buffer or one memory block, where each sub-region knows its byte
// offset. A finalised array buffer can be mapped for direct access. Main (GL) thread.
#include <GL/gl.h>

class OGL_chunkybuffer {
public:
	static constexpr int chunk_bytes = 1024;

	struct chunk {
		chunk* next;
		int free_bytes;  // used bytes are chunk_bytes - free_bytes
		unsigned char data[chunk_bytes];
	};
	struct subregion {
		subregion* next;
		chunk* first_chunk;      // null once finalised
		chunk* last_chunk;       // the chunk being written
		unsigned char* cursor;   // next free byte of last_chunk
		int offset;              // byte offset in the finalised buffer
	};

	OGL_chunkybuffer();
	~OGL_chunkybuffer();
	OGL_chunkybuffer(const OGL_chunkybuffer&) = delete;
	OGL_chunkybuffer& operator=(const OGL_chunkybuffer&) = delete;

	subregion* new_subregion();
	// Appends bytes to the sub-region, chaining chunks as they fill. Nothing is appended
	// once the buffer is finalised.
	void append(subregion* region, const void* bytes, int count);
	void calc_offsets();
	// Into one array buffer object, static or streamed.
	void finalize_vbo(int static_data);
	// Into one memory block, `data`.
	void finalize_mem();
	void map();
	void unmap();
	int is_mapped();

	void* data;    // the memory block after finalize_mem; GL's pointer while mapped
	GLuint vbo;    // 0 = none
	int total_bytes;
	subregion* first_region;
	subregion* last_region;

private:
	template <class Sink>
	void drain_chunks(Sink sink);
	int finalized_ = 0;  // its total_bytes are counted in the statistic
};
