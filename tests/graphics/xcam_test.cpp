// The camera's projections, planes and placements, and the matrix functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "graphics/xcam.h"

namespace {

constexpr double r2 = 0.70710678118654752;

void expect_vec(const double* v, double x, double y, double z, double tol = 1e-4)
{
	EXPECT_NEAR(v[0], x, tol);
	EXPECT_NEAR(v[1], y, tol);
	EXPECT_NEAR(v[2], z, tol);
}

void expect_mat(const double* a, const double* b, double tol = 1e-9)
{
	for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// A camera that never reads OpenGL back.
xcam_class offline_camera()
{
	xcam_class c;
	c.read_back = false;
	return c;
}

}  // namespace

TEST(Camera, FreshCameraHasNoFieldOfView)
{
	xcam_class c;
	float h = 5, v = 5;
	EXPECT_FALSE(c.GetFOVHalfCosines(&h, &v));
	EXPECT_EQ(h, 5);
	EXPECT_EQ(v, 5);
}

TEST(Camera, FrustumPlanesAndHalfCosines)
{
	xcam_class c;
	c.changed = false;
	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	EXPECT_TRUE(c.changed);
	EXPECT_FALSE(c.is_ortho);
	expect_vec(c.left_plane, r2, 0, -r2);
	expect_vec(c.right_plane, -r2, 0, -r2);
	expect_vec(c.top_plane, 0, -r2, -r2);
	expect_vec(c.bottom_plane, 0, r2, -r2);
	float h = 0, v = 0;
	EXPECT_TRUE(c.GetFOVHalfCosines(&h, &v));
	EXPECT_NEAR(h, r2, 1e-4);
	EXPECT_NEAR(v, r2, 1e-4);
	EXPECT_TRUE(c.GetFOVHalfCosines(nullptr, nullptr));
	EXPECT_EQ(c.near_z, -1);
	EXPECT_EQ(c.far_z, -100);
	EXPECT_EQ(c.fake_far_z, -100);
	// A point straight ahead is inside every plane.
	const double ahead[3] = {0, 0, -5};
	for (const double* p : {c.left_plane, c.right_plane, c.top_plane, c.bottom_plane})
		EXPECT_GE(p[0] * ahead[0] + p[1] * ahead[1] + p[2] * ahead[2], 0);
}

TEST(Camera, PerspectiveWindowAndFakeFarPlane)
{
	xcam_class c;
	c.SetupPerspective(90, 2, 1, 10);
	double want[16];
	buildFrustumMatrix(want, -2, 2, -1, 1, 1, 10);
	expect_mat(c.projection, want, 1e-12);
	double same[16];
	buildPerspectiveMatrix(same, 90, 2, 1, 10);
	expect_mat(same, want, 1e-12);

	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	c.SetFakeFarClippingPlane(50);
	EXPECT_EQ(c.fake_far_z, -50);
	c.SetFakeFarClippingPlane(500);
	EXPECT_EQ(c.fake_far_z, -100);
	c.SetFakeFarClippingPlane(50);
	c.ResetFakeFarClippingPlane();
	EXPECT_EQ(c.fake_far_z, -100);
}

TEST(Camera, OrthoRecordsItsBox)
{
	xcam_class c;
	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	c.SetupOrtho(0, 800, 0, 600, -1, 1);
	EXPECT_TRUE(c.is_ortho);
	EXPECT_EQ(c.ortho_left, 0);
	EXPECT_EQ(c.ortho_right, 800);
	EXPECT_EQ(c.ortho_bottom, 0);
	EXPECT_EQ(c.ortho_top, 600);
	EXPECT_EQ(c.near_z, 1);
	EXPECT_EQ(c.far_z, -1);
	EXPECT_DOUBLE_EQ(c.projection[0], 2.0 / 800);
	EXPECT_DOUBLE_EQ(c.projection[13], -1.0);
}

TEST(Matrices, RotationSpecialCases)
{
	double a[16], b[16];
	buildRotation(a, 90, 0, 0, -1);
	buildRotation(b, -90, 0, 0, 1);
	expect_mat(a, b, 1e-12);
	// Too short an axis is no rotation; a short but single-axis one is.
	buildRotation(a, 90, 0.00003, 0.00004, 0);
	expect_mat(a, gIdentity, 0);
	buildRotation(a, 90, 0.00005, 0, 0);
	buildRotation(b, 90, 1, 0, 0);
	expect_mat(a, b, 0);
	EXPECT_NEAR(a[6], 1, 1e-12);
	// The general axis agrees with the single-axis branch on an axis.
	buildRotation(a, 30, 0, 2, 0);
	buildRotation(b, 30, 0, 1e-9, 0);
	expect_mat(a, b, 1e-12);
	double g[16];
	buildRotation(g, 30, 1e-20, 1, 0);  // takes the general branch
	expect_mat(g, a, 1e-12);
}

TEST(Matrices, InverseOfARandomAffineMatrixAndASingularOne)
{
	std::mt19937 rng(7);
	std::uniform_real_distribution<double> u(-3, 3);
	double m[16];
	buildRotation(m, u(rng) * 60, u(rng), u(rng), u(rng));
	for (int i : {0, 5, 10}) m[i] *= 1.5;
	m[12] = u(rng);
	m[13] = u(rng);
	m[14] = u(rng);
	double inv[16], prod[16];
	ASSERT_EQ(invertMatrix(inv, m), 1);
	multMatrices(prod, inv, m);
	expect_mat(prod, gIdentity, 1e-12);
	multMatrices(prod, m, inv);
	expect_mat(prod, gIdentity, 1e-12);

	double z[16];
	copyMatrix(z, gIdentity);
	z[2] = z[6] = z[10] = z[14] = 0;  // row 2 all zero
	EXPECT_EQ(invertMatrix(inv, z), 0);
}

TEST(Matrices, ApplyRotationAndTranslationAgainstAFreshProduct)
{
	double m[16], rot[16], want[16];
	buildRotation(m, 25, 1, 2, 3);
	m[12] = 4;
	double orig[16];
	copyMatrix(orig, m);
	buildRotation(rot, 40, -1, 0.5, 2);
	multMatrices(want, orig, rot);
	applyRotation(m, 40, -1, 0.5, 2);
	expect_mat(m, want, 1e-12);

	double t[16];
	copyMatrix(t, gIdentity);
	t[12] = 1;
	t[13] = -2;
	t[14] = 3;
	multMatrices(want, orig, t);
	copyMatrix(m, orig);
	applyTranslation(m, 1, -2, 3);
	expect_mat(m, want, 1e-12);

	double tr[16];
	transposeMatrix(tr, orig);
	EXPECT_EQ(tr[1], orig[4]);
	double sum[16];
	addMatrices(sum, orig, orig);
	EXPECT_EQ(sum[12], 8);
}

TEST(Camera, LookAtFromDirectionAndViewVectors)
{
	xcam_class c = offline_camera();
	c.LookAtPtFromDir(0, 0, 0, 0, 0, 10);
	// The eye at (10, 0, 0) maps to the eye-space origin; the target lies straight ahead.
	const double eye[4] = {10, 0, 0, 1};
	double e[3];
	for (int r = 0; r < 3; ++r)
		e[r] = c.modelview[r] * eye[0] + c.modelview[4 + r] * eye[1] + c.modelview[8 + r] * eye[2] + c.modelview[12 + r];
	expect_vec(e, 0, 0, 0, 1e-12);
	double target[3];
	for (int r = 0; r < 3; ++r) target[r] = c.modelview[12 + r];
	expect_vec(target, 0, 0, -10, 1e-12);

	double up[3], dir[3], right[3];
	c.CalcUp(up);
	c.CalcDirection(dir);
	c.CalcRight(right);
	expect_vec(up, 0, 1, 0);
	expect_vec(dir, -1, 0, 0);
	expect_vec(right, 0, 0, -1);
	float br[3], bu[3];
	c.CalcBillboardGround(br, bu);
	EXPECT_NEAR(br[2], -1, 1e-6);
	EXPECT_NEAR(bu[1], 1, 1e-6);
}

TEST(Camera, RotateAndTranslateChangeTheModelview)
{
	xcam_class c = offline_camera();
	c.changed = false;
	c.Translate(1, 2, 3);
	EXPECT_TRUE(c.changed);
	EXPECT_EQ(c.modelview[12], 1);
	c.Rotate(90, 0, 1, 0);
	double want[16], t[16];
	copyMatrix(t, gIdentity);
	t[12] = 1;
	t[13] = 2;
	t[14] = 3;
	double rot[16];
	buildRotation(rot, 90, 0, 1, 0);
	multMatrices(want, t, rot);
	expect_mat(c.modelview, want, 1e-12);
	c.Identity();
	expect_mat(c.modelview, gIdentity, 0);
}

TEST(FrustumBounds, EdgeAccumulation)
{
	double mn[3] = {9.9e9, 9.9e9, 9.9e9}, mx[3] = {-9.9e9, -9.9e9, -9.9e9};
	const double a[3] = {0, 0, 0}, b[3] = {10, 10, 0};
	accum_segment(5, 5, a, b, mn, mx);
	expect_vec(mn, 5, 5, 0, 1e-9);
	expect_vec(mx, 5, 5, 0, 1e-9);
	// Reversed endpoints and a band cut at both heights.
	double mn2[3] = {9.9e9, 9.9e9, 9.9e9}, mx2[3] = {-9.9e9, -9.9e9, -9.9e9};
	accum_segment(2, 4, b, a, mn2, mx2);
	expect_vec(mn2, 2, 2, 0, 1e-9);
	expect_vec(mx2, 4, 4, 0, 1e-9);
	// A level edge outside the band adds nothing.
	double mn3[3] = {9.9e9, 9.9e9, 9.9e9}, mx3[3] = {-9.9e9, -9.9e9, -9.9e9};
	const double c[3] = {0, 7, 0}, d[3] = {3, 7, 1};
	accum_segment(0, 5, c, d, mn3, mx3);
	EXPECT_GT(mn3[0], mx3[0]);
	accum_segment(0, 8, c, d, mn3, mx3);
	expect_vec(mn3, 0, 7, 0, 1e-9);
	expect_vec(mx3, 3, 7, 1, 1e-9);
}

TEST(FrustumBounds, OrthographicBoxLiesInFrontOfTheCamera)
{
	xcam_class c = offline_camera();
	c.SetupOrtho(-2, 2, -1, 1, 1, 100);
	double mn[3], mx[3];
	ASSERT_TRUE(c.GetFrustumBounds(50, -1e6, 1e6, mn, mx));
	expect_vec(mn, -2, -1, -50, 1e-6);
	expect_vec(mx, 2, 1, -1, 1e-6);
	// Heights 0.5..0.75 cut the box in y only.
	ASSERT_TRUE(c.GetFrustumBounds(500, 0.5, 0.75, mn, mx));
	EXPECT_NEAR(mn[1], 0.5, 1e-6);
	EXPECT_NEAR(mx[1], 0.75, 1e-6);
	EXPECT_NEAR(mn[2], -100, 1e-6);
	// Nothing of the volume lies at height 5.
	EXPECT_FALSE(c.GetFrustumBounds(50, 5, 6, mn, mx));
}

TEST(FrustumBounds, PerspectiveCornersPastTheLimitArePulledIn)
{
	xcam_class c = offline_camera();
	c.SetupFrustum(-1, 1, -1, 1, 1, 100);
	double mn[3], mx[3];
	ASSERT_TRUE(c.GetFrustumBounds(10, -1e6, 1e6, mn, mx));
	expect_vec(mn, -10, -10, -10, 1e-4);
	expect_vec(mx, 10, 10, -1, 1e-4);
}

TEST(Camera, ShadowCameraFitsTheOtherView)
{
	xcam_class eye = offline_camera();
	eye.SetupOrtho(-1, 1, -1, 1, 1, 3);  // a box from z -1 to -3 in front of the origin
	xcam_class sun = offline_camera();
	const double along[3] = {0, 0, -1};
	double n = 0, f = 0;
	sun.LookAtCamera(eye, along, 10, n, f);
	EXPECT_TRUE(sun.is_ortho);
	// Light from 10 behind the eye: the box's near face (z -1) is 11 away, its far one 13.
	EXPECT_NEAR(n, 11, 1e-9);
	EXPECT_NEAR(f, 13, 1e-9);
	EXPECT_NEAR(sun.ortho_right - sun.ortho_left, 2, 1e-9);
	EXPECT_NEAR(sun.ortho_top - sun.ortho_bottom, 2, 1e-9);
}

TEST(Camera, PointerCopyAndPrint)
{
	xcam_class a;
	a.SetupFrustum(-1, 1, -1, 1, 1, 10);
	xcam_class b(&a);
	EXPECT_EQ(std::memcmp(b.projection, a.projection, sizeof(a.projection)), 0);
	testing::internal::CaptureStdout();
	printMatrix("id", gIdentity);
	const std::string out = testing::internal::GetCapturedStdout();
	EXPECT_EQ(out, "id\n [ 1.000000 0.000000 0.000000 0.000000 ]\n [ 0.000000 1.000000 0.000000 0.000000 ]\n"
	               " [ 0.000000 0.000000 1.000000 0.000000 ]\n [ 0.000000 0.000000 0.000000 1.000000 ]\n\n");
}
