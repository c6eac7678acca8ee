#pragma once
// The drawing layer's calls that the foundation, the engine and the shell use.
// Coordinates are interface units of the current window, measured from its lower left
// corner; the calls add the dialog origin of `mnw` themselves. Colours are palette
// indices of `colr`.
#include <array>
#include <string>

// OGL_setstate argument values.
enum { fog_true = 0, fog_fals = 1 };
enum { lit_true = 2, lit_fals = 3 };
enum { al_none = 4, al_blend = 5, al_test = 6, al_both = 7 };
enum { deR_true = 8, deR_fals = 9 };
enum { deW_true = 10, deW_fals = 11 };

// Charsets of the text calls.
enum {
	charset_UI_diff_space = 100,   // proportional, advances from ui_char_advance
	charset_UI_fixed_space = 102,  // 10 units a character
	charset_UI_menus_KOR = 103,    // the menu font
};

void OGL_setstate(int fog, int tex_units, int lit, int alpha, int depth_read, int depth_write);
void OGL_viewport(int mode, float left, float vp_x, float bottom, float vp_y, float right, float vp_right,
                  float near_d, float top, float vp_top, float far_d, float divisor, int keep_aspect);
void OGL_pix_specs(int unused);
void OGL_nrml_colors();
void OGL_sbuff();

void OGL_plot_back_col();
void OGL_fillrect(int colour, float alpha, float x, float y, float w, float h);
void OGL_line(int colour, float alpha, float x1, float y1, float x2, float y2);
void OGL_2dquad(int tex_ref, int colour, float alpha, float x1, float y1, float s1, float t1, float x2, float y2,
                float s2, float t2, float x3, float y3, float s3, float t3, float x4, float y4, float s4, float t4,
                int tex_units, int alpha_mode);
// Bind a buffer object to GL_ARRAY_BUFFER / GL_ELEMENT_ARRAY_BUFFER unless it is the one
// bound last through them; each real bind is counted in "num_xdl_bind" / "num_xdl_bind_ind".
void OGL_bind_vbo(const unsigned long& id);
void OGL_bind_vbo_ind(const unsigned long& id);
// Returns the y for the next text below it.
float OGL_string(int colour, float x, float y, const std::string& s, float wrap_width, int charset, int align);

// Advance in interface units of each byte in the proportional font (charset 100); the
// one measure of interface text.
extern const std::array<unsigned char, 256> ui_char_advance;
