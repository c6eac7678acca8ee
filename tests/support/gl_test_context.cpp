#include "support/gl_test_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "runtime/rec_glext.h"

// The drawing layer's start-up state and its cache reset. Weak: a test binary that
// draws links the drawing layer and gets both; one that only needs a context (and
// should not drag the drawing layer's globals in) goes without.
void OGL_default_gl_state(int alias_now) __attribute__((weak));
void OGL_setstate_forget() __attribute__((weak));

namespace {

PFNGLGENFRAMEBUFFERSEXTPROC gen_fbos;
PFNGLBINDFRAMEBUFFEREXTPROC bind_fbo;
PFNGLDELETEFRAMEBUFFERSEXTPROC delete_fbos;
PFNGLGENRENDERBUFFERSEXTPROC gen_rbos;
PFNGLBINDRENDERBUFFEREXTPROC bind_rbo;
PFNGLDELETERENDERBUFFERSEXTPROC delete_rbos;
PFNGLRENDERBUFFERSTORAGEEXTPROC rbo_storage;
PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC fbo_rbo;
PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC fbo_status;

// A test without its context checks nothing. On a machine that lacks the driver it may
// skip; in CI a skip would let a broken set-up pass every drawing test, so there it fails.
constexpr char kCiVar[] = "CI";
constexpr char kCiOn[] = "true";
void report_missing_context(int width, int height, const std::string& why)
{
	const char* ci = std::getenv(kCiVar);
	if (!ci || std::strcmp(ci, kCiOn) != 0) return;
	ADD_FAILURE() << "CI=true: the headless OpenGL context (Mesa surfaceless EGL, compatibility profile, " << width
	              << "x" << height << ") could not be made: " << why;
}

}  // namespace

void* GlTestContext::proc(const char* name)
{
	return reinterpret_cast<void*>(eglGetProcAddress(name));
}

void GlTestContext::fill_glext_entry_points()
{
#define KX_FILL_PROC(type, name) glExt.name = reinterpret_cast<type>(proc(#name));
	KX_GLEXT_ALL_PROCS(KX_FILL_PROC)
#undef KX_FILL_PROC
}

GlTestContext::GlTestContext(int width, int height) : width_(width), height_(height)
{
	ok_ = open();
	if (!ok_) report_missing_context(width, height, why_);
}

bool GlTestContext::open()
{
	// Mesa's software rasteriser, whatever the machine has: results must not depend on
	// a graphics card.
	setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
	auto get_platform_display =
		reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
	if (!get_platform_display) {
		why_ = "eglGetPlatformDisplayEXT missing";
		return false;
	}
	EGLDisplay dpy = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
	if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) {
		why_ = "no surfaceless EGL display";
		return false;
	}
	display_ = dpy;
	if (!eglBindAPI(EGL_OPENGL_API)) {
		why_ = "EGL has no desktop OpenGL";
		return false;
	}
	const EGLint config_attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
	EGLConfig config = nullptr;
	EGLint count = 0;
	eglChooseConfig(dpy, config_attrs, &config, 1, &count);
	// A compatibility context, as the window gets: the interface uses the fixed pipeline.
	const EGLint ctx_attrs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
	                            EGL_NONE};
	EGLContext ctx = eglCreateContext(dpy, count ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, ctx_attrs);
	if (ctx == EGL_NO_CONTEXT) {
		why_ = "eglCreateContext failed";
		return false;
	}
	context_ = ctx;
	if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
		why_ = "eglMakeCurrent failed";
		return false;
	}
	gen_fbos = reinterpret_cast<PFNGLGENFRAMEBUFFERSEXTPROC>(proc("glGenFramebuffersEXT"));
	bind_fbo = reinterpret_cast<PFNGLBINDFRAMEBUFFEREXTPROC>(proc("glBindFramebufferEXT"));
	delete_fbos = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSEXTPROC>(proc("glDeleteFramebuffersEXT"));
	gen_rbos = reinterpret_cast<PFNGLGENRENDERBUFFERSEXTPROC>(proc("glGenRenderbuffersEXT"));
	bind_rbo = reinterpret_cast<PFNGLBINDRENDERBUFFEREXTPROC>(proc("glBindRenderbufferEXT"));
	delete_rbos = reinterpret_cast<PFNGLDELETERENDERBUFFERSEXTPROC>(proc("glDeleteRenderbuffersEXT"));
	rbo_storage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEEXTPROC>(proc("glRenderbufferStorageEXT"));
	fbo_rbo = reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC>(proc("glFramebufferRenderbufferEXT"));
	fbo_status = reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC>(proc("glCheckFramebufferStatusEXT"));
	if (!gen_fbos || !bind_fbo || !gen_rbos || !bind_rbo || !rbo_storage || !fbo_rbo || !fbo_status) {
		why_ = "no framebuffer objects";
		return false;
	}
	gen_fbos(1, &fbo_);
	bind_fbo(GL_FRAMEBUFFER_EXT, fbo_);
	gen_rbos(1, &colour_);
	bind_rbo(GL_RENDERBUFFER_EXT, colour_);
	rbo_storage(GL_RENDERBUFFER_EXT, GL_RGBA8, width_, height_);
	fbo_rbo(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour_);
	gen_rbos(1, &depth_);
	bind_rbo(GL_RENDERBUFFER_EXT, depth_);
	rbo_storage(GL_RENDERBUFFER_EXT, GL_DEPTH24_STENCIL8_EXT, width_, height_);
	fbo_rbo(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth_);
	fbo_rbo(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth_);
	if (fbo_status(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
		why_ = "framebuffer incomplete";
		return false;
	}
	glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
	glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
	glViewport(0, 0, width_, height_);
	// The state start-up gives a new context, and a state switch that asks GL afresh.
	if (OGL_default_gl_state) OGL_default_gl_state(0);
	if (OGL_setstate_forget) OGL_setstate_forget();
	fill_glext_entry_points();
	return true;
}

GlTestContext::~GlTestContext()
{
	if (context_) {
		if (fbo_) {
			bind_fbo(GL_FRAMEBUFFER_EXT, 0);
			delete_fbos(1, &fbo_);
			unsigned rbos[] = {colour_, depth_};
			delete_rbos(2, rbos);
		}
		eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
		eglDestroyContext(display_, context_);
	}
	if (display_) eglTerminate(display_);
}

uint32_t GlTestContext::pixel(int x, int y) const
{
	unsigned char p[4] = {0, 0, 0, 0};
	glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
	return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

std::vector<unsigned char> GlTestContext::read_all() const
{
	std::vector<unsigned char> out(size_t(width_) * height_ * 4);
	glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
	return out;
}
