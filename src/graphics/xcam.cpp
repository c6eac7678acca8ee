#include "graphics/xcam.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/UTL_stat.h"
#include "runtime/rec_mnw.h"

const double gIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

namespace {

constexpr double deg_to_rad = 0.017453292519943295;
// A rotation axis this short is no axis at all.
constexpr double min_axis_length = 0.0001;
// The narrowed window of the debug switches: the middle tenth of each side.
constexpr float narrow_lo = 0.45f, narrow_hi = 0.55f;
// The empty box that accumulation starts from.
constexpr double box_empty = 9.9e9;

void cross(const double a[3], const double b[3], double out[3])
{
	const double x = a[1] * b[2] - a[2] * b[1];
	const double y = a[2] * b[0] - a[0] * b[2];
	const double z = a[0] * b[1] - a[1] * b[0];
	out[0] = x;
	out[1] = y;
	out[2] = z;
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Divides by the length when it is above 0.
void normalise(double v[3])
{
	const double len = std::sqrt(dot(v, v));
	if (len > 0) {
		v[0] /= len;
		v[1] /= len;
		v[2] /= len;
	}
}

void transform(const double m[16], const double in[4], double out[4])
{
	double r[4];
	for (int row = 0; row < 4; ++row)
		r[row] = m[row] * in[0] + m[4 + row] * in[1] + m[8 + row] * in[2] + m[12 + row] * in[3];
	std::memcpy(out, r, sizeof(r));
}

// Transforms a point (w 1) and divides by the resulting w when it is not 0.
void transform_point(const double m[16], const double in[3], double out[3])
{
	const double p[4] = {in[0], in[1], in[2], 1.0};
	double r[4];
	transform(m, p, r);
	if (r[3] != 0) {
		r[0] /= r[3];
		r[1] /= r[3];
		r[2] /= r[3];
	}
	out[0] = r[0];
	out[1] = r[1];
	out[2] = r[2];
}

float clampf(float v, float lo, float hi) { return std::min(std::max(v, std::min(lo, hi)), std::max(lo, hi)); }

void join(const double p[3], double mn[3], double mx[3])
{
	for (int i = 0; i < 3; ++i) {
		if (float(p[i]) < float(mn[i])) mn[i] = p[i];
		if (float(p[i]) > float(mx[i])) mx[i] = p[i];
	}
}

// The point of edge a-b at height y (a.y < b.y), x and z kept between the endpoints.
void point_at_height(const double a[3], const double b[3], double y, double out[3])
{
	const double t = (y - a[1]) / (b[1] - a[1]);
	for (int i : {0, 2}) {
		const double v = a[i] + t * (b[i] - a[i]);
		out[i] = std::clamp(v, std::min(a[i], b[i]), std::max(a[i], b[i]));
	}
	out[1] = y;
}

// The twelve edges of a box whose corners are numbered by bits (x 1, y 2, z 4).
void accum_box(const double corners[8][3], double lo, double hi, double mn[3], double mx[3])
{
	for (int c = 0; c < 8; ++c)
		for (int bit : {1, 2, 4})
			if (!(c & bit)) accum_segment(lo, hi, corners[c], corners[c | bit], mn, mx);
}

}  // namespace

UTL_stat gKillClip("perf/kill_clip", stat_debug_switch, 0.0f);
UTL_stat gKillCull("perf/kill_cull", stat_debug_switch, 0.0f);
UTL_stat gExtraNear("shadow/extra_near", stat_debug_switch, 0.0f);

// --- matrix functions ---

void setIdentityMatrix(double m[16]) { std::memcpy(m, gIdentity, sizeof(gIdentity)); }

void copyMatrix(double dst[16], const double src[16]) { std::memmove(dst, src, 16 * sizeof(double)); }

void transposeMatrix(double out[16], const double in[16])
{
	double t[16];
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) t[4 * r + c] = in[4 * c + r];
	std::memcpy(out, t, sizeof(t));
}

void addMatrices(double out[16], const double a[16], const double b[16])
{
	for (int i = 0; i < 16; ++i) out[i] = a[i] + b[i];
}

void multMatrices(double out[16], const double a[16], const double b[16])
{
	for (int c = 0; c < 4; ++c)
		for (int r = 0; r < 4; ++r) {
			double s = 0;
			for (int k = 0; k < 4; ++k) s += a[4 * k + r] * b[4 * c + k];
			out[4 * c + r] = s;
		}
}

int invertMatrix(double out[16], const double in[16])
{
	// Rows of the 4 x 8 block [in | identity].
	double w[4][8];
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) {
			w[r][c] = in[4 * c + r];
			w[r][4 + c] = r == c ? 1.0 : 0.0;
		}
	for (int col = 0; col < 4; ++col) {
		int pivot = col;
		for (int r = col + 1; r < 4; ++r)
			if (std::fabs(w[r][col]) > std::fabs(w[pivot][col])) pivot = r;
		if (w[pivot][col] == 0.0) return 0;
		if (pivot != col)
			for (int c = 0; c < 8; ++c) std::swap(w[pivot][c], w[col][c]);
		const double p = w[col][col];
		for (int c = 0; c < 8; ++c) w[col][c] /= p;
		for (int r = 0; r < 4; ++r) {
			if (r == col) continue;
			const double f = w[r][col];
			if (f == 0.0) continue;
			for (int c = 0; c < 8; ++c) w[r][c] -= f * w[col][c];
		}
	}
	for (int r = 0; r < 4; ++r)
		for (int c = 0; c < 4; ++c) out[4 * c + r] = w[r][4 + c];
	return 1;
}

void buildFrustumMatrix(double m[16], double l, double r, double b, double t, double n, double f)
{
	std::memset(m, 0, 16 * sizeof(double));
	m[0] = 2 * n / (r - l);
	m[5] = 2 * n / (t - b);
	m[8] = (r + l) / (r - l);
	m[9] = (t + b) / (t - b);
	m[10] = -(f + n) / (f - n);
	m[11] = -1;
	m[14] = -2 * f * n / (f - n);
}

void buildPerspectiveMatrix(double m[16], double fov_y, double aspect, double n, double f)
{
	const double ymax = n * std::tan(M_PI * fov_y / 360.0);
	buildFrustumMatrix(m, -ymax * aspect, ymax * aspect, -ymax, ymax, n, f);
}

void buildOrthoMatrix(double m[16], double l, double r, double b, double t, double n, double f)
{
	std::memset(m, 0, 16 * sizeof(double));
	m[0] = 2 / (r - l);
	m[5] = 2 / (t - b);
	m[10] = -2 / (f - n);
	m[12] = -(r + l) / (r - l);
	m[13] = -(t + b) / (t - b);
	m[14] = -(f + n) / (f - n);
	m[15] = 1;
}

void buildLookAtMatrix(double m[16], double ex, double ey, double ez, double cx, double cy, double cz, double ux,
                       double uy, double uz)
{
	double f[3] = {ex - cx, ey - cy, ez - cz};
	const double up[3] = {ux, uy, uz};
	normalise(f);
	double s[3], u[3];
	cross(up, f, s);
	normalise(s);
	cross(f, s, u);
	normalise(u);
	const double eye[3] = {ex, ey, ez};
	const double* rows[3] = {s, u, f};
	for (int r = 0; r < 3; ++r) {
		for (int c = 0; c < 3; ++c) m[4 * c + r] = rows[r][c];
		m[12 + r] = -dot(rows[r], eye);
	}
	m[3] = m[7] = m[11] = 0;
	m[15] = 1;
}

void buildRotation(double m[16], double angle, double x, double y, double z)
{
	setIdentityMatrix(m);
	const double a = angle * deg_to_rad;
	const double c = std::cos(a), s = std::sin(a);
	if (x != 0 && y == 0 && z == 0) {
		m[5] = m[10] = c;
		m[6] = x > 0 ? s : -s;
		m[9] = x > 0 ? -s : s;
	} else if (x == 0 && y != 0 && z == 0) {
		m[0] = m[10] = c;
		m[8] = y > 0 ? s : -s;
		m[2] = y > 0 ? -s : s;
	} else if (x == 0 && y == 0 && z != 0) {
		m[0] = m[5] = c;
		m[1] = z > 0 ? s : -s;
		m[4] = z > 0 ? -s : s;
	} else {
		const double len = std::sqrt(x * x + y * y + z * z);
		if (len <= min_axis_length) return;
		x /= len;
		y /= len;
		z /= len;
		const double k = 1 - c;
		m[0] = x * x * k + c;
		m[4] = x * y * k - z * s;
		m[8] = x * z * k + y * s;
		m[1] = x * y * k + z * s;
		m[5] = y * y * k + c;
		m[9] = y * z * k - x * s;
		m[2] = x * z * k - y * s;
		m[6] = y * z * k + x * s;
		m[10] = z * z * k + c;
	}
}

void applyTranslation(double m[16], double x, double y, double z)
{
	for (int r = 0; r < 4; ++r) m[12 + r] += m[r] * x + m[4 + r] * y + m[8 + r] * z;
}

void applyRotation(double m[16], double angle, double x, double y, double z)
{
	// multMatrices needs distinct operands: the product goes to a temporary first.
	double rot[16], product[16];
	buildRotation(rot, angle, x, y, z);
	multMatrices(product, m, rot);
	copyMatrix(m, product);
}

void vec3_assign(double v[3], double x, double y, double z)
{
	v[0] = x;
	v[1] = y;
	v[2] = z;
}

void printMatrix(const char* title, const double m[16])
{
	std::printf("%s\n", title);
	for (int r = 0; r < 4; ++r)
		std::printf(r < 3 ? " [ %f %f %f %f ]\n" : " [ %f %f %f %f ]\n\n", m[r], m[4 + r], m[8 + r], m[12 + r]);
}

void accum_segment(double lo, double hi, const double a_in[3], const double b_in[3], double mn[3], double mx[3])
{
	const double* a = a_in;
	const double* b = b_in;
	if (float(a[1]) > float(b[1])) std::swap(a, b);
	const float ay = float(a[1]), by = float(b[1]), flo = float(lo), fhi = float(hi);
	double p[3];
	if (ay == by) {
		if (flo <= ay && ay <= fhi) {
			join(a, mn, mx);
			join(b, mn, mx);
		}
		return;
	}
	if (flo == fhi) {
		if (ay <= flo && flo <= by) {
			point_at_height(a, b, lo, p);
			join(p, mn, mx);
		}
		return;
	}
	if (flo <= ay && ay <= fhi) join(a, mn, mx);
	if (flo <= by && by <= fhi) join(b, mn, mx);
	if (ay < flo && flo < by) {
		point_at_height(a, b, lo, p);
		join(p, mn, mx);
	}
	if (ay < fhi && fhi < by) {
		point_at_height(a, b, hi, p);
		join(p, mn, mx);
	}
}

// --- the camera ---

xcam_class::xcam_class()
	: is_ortho(true), near_z(0), far_z(0), fake_far_z(0), top_plane{}, left_plane{}, right_plane{},
	  bottom_plane{}, ortho_top(0), ortho_left(0), ortho_right(0), ortho_bottom(0), changed(true),
	  read_back(true)
{
	setIdentityMatrix(projection);
	setIdentityMatrix(modelview);
}

xcam_class::xcam_class(xcam_class* other) : xcam_class()
{
	if (other) *this = *other;
}

void xcam_class::SetupOrtho(double l, double r, double b, double t, double n, double f)
{
	is_ortho = true;
	buildOrthoMatrix(projection, l, r, b, t, n, f);
	ortho_top = t;
	ortho_left = l;
	ortho_right = r;
	ortho_bottom = b;
	near_z = -n;
	far_z = fake_far_z = -f;
	changed = true;
}

void xcam_class::SetupFrustum(double l, double r, double b, double t, double n, double f)
{
	is_ortho = false;
	const float fl = float(l), fr = float(r), fb = float(b), ft = float(t);
	const float nl = clampf(fl + narrow_lo * (fr - fl), fl, fr), nr = clampf(fl + narrow_hi * (fr - fl), fl, fr);
	const float nb = clampf(fb + narrow_lo * (ft - fb), fb, ft), nt = clampf(fb + narrow_hi * (ft - fb), fb, ft);
	if (gKillClip.own_value != 0)
		buildFrustumMatrix(projection, nl, nr, nb, nt, n, f);
	else
		buildFrustumMatrix(projection, l, r, b, t, n, f);
	const bool narrow = gKillCull.own_value != 0;
	const double L = narrow ? nl : l, R = narrow ? nr : r, B = narrow ? nb : b, T = narrow ? nt : t;
	double tl[3] = {L, T, -n}, tr[3] = {R, T, -n}, bl[3] = {L, B, -n}, br[3] = {R, B, -n};
	normalise(tl);
	normalise(tr);
	normalise(bl);
	normalise(br);
	cross(tl, tr, top_plane);
	cross(bl, tl, left_plane);
	cross(tr, br, right_plane);
	cross(br, bl, bottom_plane);
	normalise(top_plane);
	normalise(left_plane);
	normalise(right_plane);
	normalise(bottom_plane);
	near_z = -n;
	far_z = fake_far_z = -f;
	changed = true;
}

void xcam_class::SetupPerspective(double fov_y, double aspect, double n, double f)
{
	const double ymax = std::tan(M_PI * fov_y / 360.0) * n;
	SetupFrustum(-ymax * aspect, ymax * aspect, -ymax, ymax, n, f);
}

void xcam_class::SetFakeFarClippingPlane(double distance)
{
	fake_far_z = std::max(float(-distance), float(far_z));
}

void xcam_class::ResetFakeFarClippingPlane() { fake_far_z = far_z; }

void xcam_class::LookAtPtFromPt(double ex, double ey, double ez, double ax, double ay, double az, double ux,
                                double uy, double uz)
{
	buildLookAtMatrix(modelview, ex, ey, ez, ax, ay, az, ux, uy, uz);
	changed = true;
}

void xcam_class::LookAtPtFromDir(double x, double y, double z, double heading, double pitch, double d)
{
	const double h = heading * deg_to_rad, p = pitch * deg_to_rad;
	const double s = d * std::cos(p);
	buildLookAtMatrix(modelview, x + s * std::cos(h), y + d * std::sin(p), z + s * std::sin(h), x, y, z, 0, 1, 0);
	changed = true;
}

void xcam_class::Identity()
{
	setIdentityMatrix(modelview);
	changed = true;
}

void xcam_class::Translate(double x, double y, double z)
{
	applyTranslation(modelview, x, y, z);
	changed = true;
}

void xcam_class::Rotate(double angle, double x, double y, double z)
{
	applyRotation(modelview, angle, x, y, z);
	changed = true;
}

bool xcam_class::GetFOVHalfCosines(float* horizontal, float* vertical)
{
	if (is_ortho) return false;
	if (horizontal) *horizontal = float((left_plane[0] - right_plane[0]) / 2);
	if (vertical) *vertical = float((bottom_plane[1] - top_plane[1]) / 2);
	return true;
}

void xcam_class::read_back_modelview()
{
	if (!read_back) return;
	read_back = false;
	changed = true;
	glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
}

void xcam_class::CalcUp(double out[3])
{
	read_back_modelview();
	const double* m = modelview;
	vec3_assign(out, m[1] + m[3], m[5] + m[7], m[9] + m[11]);
	normalise(out);
}

void xcam_class::CalcDirection(double out[3])
{
	read_back_modelview();
	const double* m = modelview;
	vec3_assign(out, m[3] - m[2], m[7] - m[6], m[11] - m[10]);
	normalise(out);
}

void xcam_class::CalcRight(double out[3])
{
	double dir[3], up[3];
	CalcDirection(dir);
	CalcUp(up);
	cross(dir, up, out);
}

void xcam_class::CalcBillboardGround(float right[3], float up[3])
{
	double dir[3], r[3], u[3];
	const double world_up[3] = {0, 1, 0};
	CalcDirection(dir);
	cross(dir, world_up, r);
	normalise(r);
	cross(r, dir, u);
	normalise(u);
	for (int i = 0; i < 3; ++i) {
		right[i] = float(r[i]);
		up[i] = float(u[i]);
	}
}

void xcam_class::CalcBillboardCamera(float right[3], float up[3])
{
	double dir[3], cam_up[3], r[3];
	CalcDirection(dir);
	CalcUp(cam_up);
	cross(dir, cam_up, r);
	normalise(r);
	for (int i = 0; i < 3; ++i) {
		right[i] = float(r[i]);
		up[i] = float(cam_up[i]);
	}
}

void xcam_class::LookAtCamera(const xcam_class& other, const double dir[3], double d, double& near_out,
                              double& far_out)
{
	double inv_proj[16], inv_mv[16];
	invertMatrix(inv_proj, other.projection);
	invertMatrix(inv_mv, other.modelview);
	const double origin[3] = {0, 0, 0};
	double eye[3];
	transform_point(inv_mv, origin, eye);
	buildLookAtMatrix(modelview, eye[0] - d * dir[0], eye[1] - d * dir[1], eye[2] - d * dir[2], eye[0], eye[1],
	                  eye[2], 0, 1, 0);
	double mn[3] = {box_empty, box_empty, box_empty}, mx[3] = {-box_empty, -box_empty, -box_empty};
	for (int c = 0; c < 8; ++c) {
		const double ndc[4] = {c & 1 ? 1.0 : -1.0, c & 2 ? 1.0 : -1.0, c & 4 ? 1.0 : -1.0, 1.0};
		double e[4], w[4];
		transform(inv_proj, ndc, e);
		transform(inv_mv, e, w);
		const double world[3] = {w[0] / w[3], w[1] / w[3], w[2] / w[3]};
		double p[3];
		transform_point(modelview, world, p);
		for (int i = 0; i < 3; ++i) {
			mn[i] = std::min(mn[i], p[i]);
			mx[i] = std::max(mx[i], p[i]);
		}
	}
	mx[2] += gExtraNear.own_value;
	is_ortho = true;
	buildOrthoMatrix(projection, mn[0], mx[0], mn[1], mx[1], -mx[2], -mn[2]);
	ortho_top = mx[1];
	ortho_left = mn[0];
	ortho_right = mx[0];
	ortho_bottom = mn[1];
	near_z = mx[2];
	far_z = fake_far_z = mn[2];
	near_out = -mx[2];
	far_out = -mn[2];
	changed = true;
}

bool xcam_class::GetFrustumBounds(double limit, double lo, double hi, double mn[3], double mx[3])
{
	double inv_mv[16];
	invertMatrix(inv_mv, modelview);
	const double cut = std::max(far_z, -limit);
	double corners[8][3];
	if (!is_ortho) {
		double inv_proj[16];
		invertMatrix(inv_proj, projection);
		for (int c = 0; c < 8; ++c) {
			const double ndc[3] = {c & 1 ? 1.0 : -1.0, c & 2 ? 1.0 : -1.0, c & 4 ? 1.0 : -1.0};
			double e[3];
			transform_point(inv_proj, ndc, e);
			if (e[2] < -limit) {
				const float k = float(-limit) / float(e[2]);
				for (double& v : e) v *= k;
			}
			transform_point(inv_mv, e, corners[c]);
		}
	} else {
		// The near and cut planes at their eye-space depths, as the perspective branch has them.
		for (int c = 0; c < 8; ++c) {
			const double e[3] = {c & 1 ? ortho_right : ortho_left, c & 2 ? ortho_top : ortho_bottom,
			                     c & 4 ? cut : near_z};
			transform_point(inv_mv, e, corners[c]);
		}
	}
	vec3_assign(mn, box_empty, box_empty, box_empty);
	vec3_assign(mx, -box_empty, -box_empty, -box_empty);
	accum_box(corners, lo, hi, mn, mx);
	return mx[0] >= mn[0];
}

void xcam_class::mtr_to_pix(const double point[3], double out[2])
{
	const double p[4] = {point[0], point[1], point[2], 1.0};
	double eye[4], clip[4];
	transform(modelview, p, eye);
	transform(projection, eye, clip);
	if (clip[3] != 0) {
		clip[0] /= clip[3];
		clip[1] /= clip[3];
	}
	float vp[4];
	glGetFloatv(GL_VIEWPORT, vp);
	const double wx = (clip[0] + 1) * 0.5 * vp[2] + vp[0];
	const double wy = (clip[1] + 1) * 0.5 * vp[3] + vp[1];
	out[0] = (wx - mnw.dialog_x) / mnw.ui_scale;
	out[1] = (wy - mnw.dialog_y) / mnw.ui_scale;
}
