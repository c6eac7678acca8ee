#pragma once
// How capability detection reads the renderer: strings, integers, floats and entry
// points through one probe, so the rules run against a scripted renderer as well as a
// real context. The record itself is runtime/rec_glext.h.
#include "runtime/io_utils.h"
#include "runtime/rec_glext.h"

struct OGL_probe {
	const char* (*get_string)(GLenum name);
	void (*get_integer)(GLenum name, GLint* out);
	void (*get_float)(GLenum name, GLfloat* out);
	void* (*proc)(const char* name);
	const char* library;  // the system's OpenGL library, which init_entry_points loads
};

// The system's OpenGL library, loaded by init_entry_points.
extern CFBundleRef gBundleRefOpenGL;

// The probe in use; the default reads the current OpenGL context.
OGL_probe OGL_default_probe();
// Installs a probe; returns the one installed before.
OGL_probe OGL_set_probe(const OGL_probe& p);

// The version code of a version string: major * 100 + minor * 10.
int OGL_version_code(const char* version);
