#include "extras/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {
const double k_tol = 1e-9;

void expect_near(Point2 a, Point2 b)
{
	EXPECT_NEAR(a.x, b.x, k_tol);
	EXPECT_NEAR(a.y, b.y, k_tol);
}

void expect_near(Point3 a, Point3 b)
{
	EXPECT_NEAR(a.x, b.x, k_tol);
	EXPECT_NEAR(a.y, b.y, k_tol);
	EXPECT_NEAR(a.z, b.z, k_tol);
}

void expect_near(const std::vector<Point3>& a, const std::vector<Point3>& b)
{
	ASSERT_EQ(a.size(), b.size());
	for (size_t i = 0; i < a.size(); ++i) {
		SCOPED_TRACE(i);
		expect_near(a[i], b[i]);
	}
}

bool operator==(Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

double dist2(Point3 a, Point3 b)
{
	return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z);
}

const Vector3 k_up{0, 0, 1};
}  // namespace

TEST(Geometry, PI2IsAFullTurn) { EXPECT_DOUBLE_EQ(PI2, 2 * M_PI); }

TEST(Geometry, MoveSegLeftIsExactAlongBothAxes)
{
	Segment2 out;
	MoveSegLeft({{0, 0}, {10, 0}}, 2, out);
	EXPECT_EQ(out.p1.x, 0);
	EXPECT_EQ(out.p1.y, 2);
	EXPECT_EQ(out.p2.x, 10);
	EXPECT_EQ(out.p2.y, 2);
	MoveSegLeft({{0, 0}, {0, 10}}, 2, out);
	EXPECT_EQ(out.p1.x, -2);
	EXPECT_EQ(out.p1.y, 0);
	EXPECT_EQ(out.p2.x, -2);
	EXPECT_EQ(out.p2.y, 10);
	MoveSegLeft({{0, 0}, {3, 4}}, 5, out);
	expect_near(out.p1, {-4, 3});
}

TEST(Geometry, CounterClockwiseBetweenAndCoordinateMaps)
{
	EXPECT_TRUE(Is_CCW_Between({1, 0}, {0, 1}, {-1, 0}));
	EXPECT_FALSE(Is_CCW_Between({-1, 0}, {0, 1}, {1, 0}));
	EXPECT_TRUE(Is_CCW_Between({-1, 0}, {0, -1}, {1, 0}));
	EXPECT_TRUE(Is_CCW_Between({1, 0}, {5, 5}, {1, 0}));

	const CoordTranslator t{{0, 0}, {10, 20}, {100, 100}, {200, 300}};
	expect_near(t.Forward({5, 5}), {150, 150});
	expect_near(t.Reverse({150, 150}), {5, 5});
	expect_near(t.Reverse(t.Forward({-3, 7.5})), {-3, 7.5});
}

TEST(Geometry, ReducePolygonDropsStraightAndCoincidentPointsButKeepsThree)
{
	Polygon2 square = {{0, 0}, {5, 0.001}, {10, 0}, {10, 10}, {0, 10}};
	ReducePolygon(square, 0.01, 0.99, 1, 0.001);
	ASSERT_EQ(square.size(), 4u);
	expect_near(square[1], {10, 0});

	Polygon2 bent = {{0, 0}, {5, -3}, {10, 0}, {10, 10}, {0, 10}};
	ReducePolygon(bent, 0.01, 0.99, 1, 0.001);
	EXPECT_EQ(bent.size(), 5u);

	Polygon2 doubled = {{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}};
	ReducePolygon(doubled, 0, 1, 1e9, 0.5);
	EXPECT_EQ(doubled.size(), 4u);

	Polygon2 crowd;
	for (int i = 0; i < 12; ++i) crowd.push_back({std::cos(i * PI2 / 12), std::sin(i * PI2 / 12)});
	ReducePolygon(crowd, 1e9, -2, 0, 100);
	EXPECT_EQ(crowd.size(), 3u);
}

TEST(Geometry, InsetSquareAndSpikeCap)
{
	const Polygon2 square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
	Polygon2 out;
	InsetPolygon(square, nullptr, 0.1, true, out, nullptr, nullptr);
	ASSERT_EQ(out.size(), 4u);
	expect_near(out[0], {0.1, 0.1});
	expect_near(out[1], {0.9, 0.1});
	expect_near(out[2], {0.9, 0.9});
	expect_near(out[3], {0.1, 0.9});

	// As a chain the ends are the moved ends of the first and last sides.
	InsetPolygon(square, nullptr, 0.1, false, out, nullptr, nullptr);
	ASSERT_EQ(out.size(), 4u);
	expect_near(out[0], {0, 0.1});
	expect_near(out[1], {0.9, 0.1});
	expect_near(out[2], {0.9, 0.9});
	expect_near(out[3], {0, 0.9});

	// A spike up from the top side at (5, 10) to (5, 15) and back.
	const Polygon2 spiked = {{0, 0}, {10, 0}, {10, 10}, {5, 10}, {5, 15}, {5, 10}, {0, 10}};
	std::vector<int> inserted;
	auto note = [](int index, void* ref) { static_cast<std::vector<int>*>(ref)->push_back(index); };
	InsetPolygon(spiked, nullptr, 1, true, out, note, &inserted);
	EXPECT_EQ(inserted, std::vector<int>{4});
	ASSERT_EQ(out.size(), 8u);
	expect_near(out[3], {4, 9});
	expect_near(out[4], {4, 16});
	expect_near(out[5], {6, 16});
	expect_near(out[6], {6, 9});
}

TEST(Geometry, CalcMaxInsetWeighsEachEndByItsNeighbour)
{
	const Polygon2 square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
	EXPECT_NEAR(CalcMaxInset(square, nullptr, true), 0.5, 1e-6);
	EXPECT_NEAR(CalcMaxInset({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, nullptr, true), 1.0, 1e-6);
	EXPECT_NEAR(CalcMaxInset(square, nullptr, false), 0.5, 1e-6);
	// The bottom side closes when its neighbours, moved by 1 and by 2, meet.
	const double ratios[] = {1, 2, 1, 1};
	EXPECT_NEAR(CalcMaxInset(square, ratios, true), 1.0 / 3, 1e-6);
	EXPECT_EQ(CalcMaxInset({{0, 0}}, nullptr, false), 0);
	EXPECT_EQ(CalcMaxInset({}, nullptr, true), 0);
}

TEST(Geometry, BezierEndsAndInnerPoints)
{
	std::vector<Point3> out;
	BezierCurve({0, 0, 0}, {3, 0, 0}, false, false, {}, {}, 8, 0, 0, out);
	ASSERT_EQ(out.size(), 2u);
	EXPECT_TRUE(out[0] == (Point3{0, 0, 0}));
	EXPECT_TRUE(out[1] == (Point3{3, 0, 0}));

	// Control points on the chord make a straight curve: no inner points.
	BezierCurve({0, 0, 0}, {3, 0, 0}, true, true, {1, 0, 0}, {2, 0, 0}, 8, 0, 0, out);
	EXPECT_EQ(out.size(), 2u);

	BezierCurve({0, 0, 0}, {4, 0, 0}, true, true, {0, 4, 0}, {4, 4, 0}, 2, 0, 0, out);
	ASSERT_EQ(out.size(), 3u);
	expect_near(out[1], {2, 3, 0});
	BezierCurve({0, 0, 0}, {4, 0, 0}, true, false, {0, 4, 0}, {}, 4, 0, 0, out);
	EXPECT_EQ(out.size(), 5u);
	// Points too near an end are left out.
	BezierCurve({0, 0, 0}, {4, 0, 0}, true, true, {0, 4, 0}, {4, 4, 0}, 4, 2.5, 0, out);
	EXPECT_EQ(out.size(), 4u);
}

TEST(Geometry, QuadStripAlongAStraightChain)
{
	std::vector<Point3> strip = {{9, 9, 9}};
	ChainToQuadStrip({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}, {k_up, k_up, k_up}, {2, 2, 4}, strip);
	const std::vector<Point3> want = {{0, -1, 0}, {0, 1, 0}, {5, -1, 0}, {5, 1, 0}, {10, -2, 0}, {10, 2, 0}};
	ASSERT_EQ(strip.size(), want.size());
	for (size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(strip[i] == want[i]) << i;

	ChainToQuadStrip({{0, 0, 0}}, {k_up}, {2}, strip);
	EXPECT_TRUE(strip.empty());
	// Too few up vectors or widths: no strip.
	ChainToQuadStrip({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}, {k_up, k_up}, {2, 2, 2}, strip);
	EXPECT_TRUE(strip.empty());
	ChainToQuadStrip({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}, {k_up, k_up, k_up}, {2}, strip);
	EXPECT_TRUE(strip.empty());
}

TEST(Geometry, QuadStripMitresCornersAndTurnsAroundWhereTheChainDoublesBack)
{
	std::vector<Point3> strip;
	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}, {k_up, k_up, k_up}, {2, 2, 2}, strip);
	expect_near(strip, {{0, -1, 0}, {0, 1, 0}, {11, -1, 0}, {9, 1, 0}, {11, 10, 0}, {9, 10, 0}});

	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {0, 0, 0}}, {k_up, k_up, k_up}, {2, 2, 2}, strip);
	expect_near(strip, {{0, -1, 0}, {0, 1, 0}, {10, -1, 0}, {10, 1, 0}, {10, 1, 0}, {10, -1, 0}, {0, 1, 0},
	                    {0, -1, 0}});

	ChainToQuadStrip({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}, {k_up, k_up, k_up}, {2, 2, 2}, strip);
	ReverseQuadStrip(strip);
	expect_near(strip, {{9, 10, 0}, {11, 10, 0}, {9, 1, 0}, {11, -1, 0}, {0, 1, 0}, {0, -1, 0}});
}

TEST(Geometry, LongerSideOfQuad)
{
	EXPECT_NEAR(LongerSideOfQuad({{0, 0, 0}, {2, 2, 0}, {10, 0, 0}, {10, 2, 0}}), 2, k_tol);
	EXPECT_NEAR(LongerSideOfQuad({{2, 0, 0}, {0, 2, 0}, {10, 0, 0}, {10, 2, 0}}), -2, k_tol);
	EXPECT_NEAR(LongerSideOfQuad({{0, 0, 0}, {0, 2, 0}, {10, 0, 0}, {10, 2, 0}}), 0, k_tol);
	// Sides of no length measure 0.
	EXPECT_EQ(LongerSideOfQuad({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}}), 0);
	EXPECT_EQ(LongerSideOfQuad({{0, 0, 0}, {5, 2, 0}, {10, 0, 0}, {5, 2, 0}}), 0);
}

TEST(Geometry, CutsFromTheFrontAndBackOfAStrip)
{
	const std::vector<Point3> straight = {{0, -1, 0}, {0, 1, 0}, {10, -1, 0}, {10, 1, 0}, {20, -1, 0}, {20, 1, 0}};
	std::vector<Point3> strip = straight, removed;

	RemoveFromQuadStripFront(strip, 5, removed, false);
	expect_near(strip, {{5, -1, 0}, {5, 1, 0}, {10, -1, 0}, {10, 1, 0}, {20, -1, 0}, {20, 1, 0}});
	expect_near(removed, {{0, -1, 0}, {0, 1, 0}, {5, -1, 0}, {5, 1, 0}});

	// A cut that ends on a cross-section does not put it in twice.
	strip = straight;
	RemoveFromQuadStripFront(strip, 10, removed, false);
	expect_near(strip, {{10, -1, 0}, {10, 1, 0}, {20, -1, 0}, {20, 1, 0}});
	expect_near(removed, {{0, -1, 0}, {0, 1, 0}, {10, -1, 0}, {10, 1, 0}});

	for (double d : {25.0, 0.0, -1.0}) {
		strip = straight;
		RemoveFromQuadStripFront(strip, d, removed, true);
		expect_near(strip, straight);
		EXPECT_TRUE(removed.empty());
	}

	strip = straight;
	RemoveFromQuadStripBack(strip, 5, removed, false);
	expect_near(strip, {{0, -1, 0}, {0, 1, 0}, {10, -1, 0}, {10, 1, 0}, {15, -1, 0}, {15, 1, 0}});
	expect_near(removed, {{15, -1, 0}, {15, 1, 0}, {20, -1, 0}, {20, 1, 0}});
}

TEST(Geometry, SquareCutsEvenOutASkewedEnd)
{
	// The even side starts 2 further back than the odd one.
	const std::vector<Point3> skewed = {{0, 0, 0}, {2, 2, 0}, {10, 0, 0}, {10, 2, 0}, {20, 0, 0}, {20, 2, 0}};
	std::vector<Point3> strip = skewed, removed;
	RemoveFromQuadStripFront(strip, 5, removed, true);
	ASSERT_EQ(strip.size(), 6u);
	expect_near(strip[0], {7, 0, 0});
	expect_near(strip[1], {7, 2, 0});
	strip = skewed;
	RemoveFromQuadStripFront(strip, 5, removed, false);
	expect_near(strip[0], {5, 0, 0});
	expect_near(strip[1], {7, 2, 0});

	// A first quad whose odd side has no length still cuts, without NaN.
	const std::vector<Point3> degenerate = {{0, 0, 0}, {5, 2, 0}, {10, 0, 0}, {5, 2, 0}, {20, 0, 0}, {20, 2, 0}};
	strip = degenerate;
	RemoveFromQuadStripFront(strip, 5, removed, true);
	expect_near(strip, {{5, 0, 0}, {10, 2, 0}, {20, 0, 0}, {20, 2, 0}});
	ASSERT_EQ(removed.size(), 6u);
	for (const Point3& p : removed) EXPECT_FALSE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z));
}

TEST(Geometry, ClipToHalfPlaneKeepsTheInnerSideInBothWindings)
{
	const Plane3 x_le_1{{1, 0, 0}, 1};
	Polygon3 out;
	ClipToHalfPlane3({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, x_le_1, out);
	expect_near(out, {{0, 0, 0}, {1, 0, 0}, {1, 2, 0}, {0, 2, 0}});
	ClipToHalfPlane3({{0, 2, 0}, {2, 2, 0}, {2, 0, 0}, {0, 0, 0}}, x_le_1, out);
	expect_near(out, {{0, 2, 0}, {1, 2, 0}, {1, 0, 0}, {0, 0, 0}});
	// Starting outside.
	ClipToHalfPlane3({{2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 0}}, x_le_1, out);
	expect_near(out, {{1, 2, 0}, {0, 2, 0}, {0, 0, 0}, {1, 0, 0}});

	// A corner on the plane is kept once, and the part beyond is dropped.
	ClipToHalfPlane3({{0, 1, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}}, x_le_1, out);
	expect_near(out, {{0, 1, 0}, {1, 0, 0}, {1, 2, 0}});
	// A side lying in the plane.
	ClipToHalfPlane3({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, x_le_1, out);
	EXPECT_EQ(out.size(), 4u);

	ClipToHalfPlane3({{3, 0, 0}, {4, 0, 0}, {4, 1, 0}}, x_le_1, out);
	EXPECT_TRUE(out.empty());
	ClipToHalfPlane3({}, x_le_1, out);
	EXPECT_TRUE(out.empty());
}

TEST(Geometry, PointInPolygonEitherWinding)
{
	const Polygon3 ccw = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
	const Polygon3 cw = {{0, 2, 0}, {2, 2, 0}, {2, 0, 0}, {0, 0, 0}};
	for (const Polygon3* poly : {&ccw, &cw}) {
		EXPECT_TRUE(PointInPolygon3(*poly, {1, 1, 0}));
		EXPECT_TRUE(PointInPolygon3(*poly, {1, 1, 7}));  // anywhere in the prism
		EXPECT_FALSE(PointInPolygon3(*poly, {3, 1, 0}));
		EXPECT_FALSE(PointInPolygon3(*poly, {1, -0.5, 0}));
	}
	const Polygon3 tilted = {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0}};
	EXPECT_TRUE(PointInPolygon3(tilted, {0.5, 0.5, 0.5}));
	EXPECT_FALSE(PointInPolygon3(tilted, {0.5, 1.5, 0.5}));
	EXPECT_FALSE(PointInPolygon3({{0, 0, 0}, {1, 0, 0}}, {0, 0, 0}));
}

TEST(Geometry, LinesMeetAroundAJunction)
{
	Point3 out;
	ASSERT_TRUE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{5, -5, 0}, {0, 1, 0}}, {1, 1, 0}, out));
	expect_near(out, {5, 0, 0});
	// Skew lines meet where they cross seen from above, at the junction's height.
	ASSERT_TRUE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{5, 0, 3}, {0, 1, 0}}, {0, 0, 1}, out));
	expect_near(out, {5, 0, 1});
	EXPECT_FALSE(IntersectLinesAroundJunction({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {2, 0, 0}}, {0, 0, 0}, out));
}

TEST(Geometry, InsetIn3DMovesSidesAcrossTheUpDirection)
{
	Segment3 moved;
	MoveSegLeft(Segment3{{0, 0, 0}, {10, 0, 0}}, 2, moved, k_up);
	expect_near(moved.p1, {0, -2, 0});
	expect_near(moved.p2, {10, -2, 0});

	Polygon3 out;
	InsetPolygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, nullptr, 0.1, true, k_up, out);
	expect_near(out, {{-0.1, -0.1, 0}, {1.1, -0.1, 0}, {1.1, 1.1, 0}, {-0.1, 1.1, 0}});
	InsetPolygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, nullptr, -0.1, true, k_up, out);
	expect_near(out, {{0.1, 0.1, 0}, {0.9, 0.1, 0}, {0.9, 0.9, 0}, {0.1, 0.9, 0}});
	// A spike gets its two-point cap.
	InsetPolygon({{0, 0, 0}, {10, 0, 0}, {0, 0, 0}}, nullptr, 1, false, k_up, out);
	expect_near(out, {{0, -1, 0}, {11, -1, 0}, {11, 1, 0}, {0, 1, 0}});
}

TEST(Geometry, BoundingSpheresHoldTheirPoints)
{
	std::mt19937 rng(20261209);
	std::uniform_real_distribution<double> coord(-1000, 1000);
	for (int size : {1, 2, 3, 10, 57, 400}) {
		std::vector<Point3> pts;
		for (int i = 0; i < size; ++i) pts.push_back({coord(rng), coord(rng), coord(rng) * 0.01});
		Sphere3 s{{0, 0, 0}, 0};
		FastBoundingSphere(pts, s);
		for (const Point3& p : pts) EXPECT_LE(dist2(p, s.c), s.r2 * (1 + 1e-12) + 1e-9) << size;
	}
	Sphere3 one{{9, 9, 9}, 4};
	FastBoundingSphere({{1, 2, 3}}, one);
	EXPECT_TRUE(one.c == (Point3{1, 2, 3}));
	EXPECT_EQ(one.r2, 0);
	Sphere3 keep{{9, 9, 9}, 4};
	FastBoundingSphere({}, keep);
	EXPECT_TRUE(keep.c == (Point3{9, 9, 9}));

	Sphere3 s{{0, 0, 0}, 1};
	ExtendBoundingSphereToPt({3, 0, 0}, s);
	expect_near(s.c, {1, 0, 0});
	EXPECT_NEAR(s.r2, 4, k_tol);
	ExtendBoundingSphereToPt({1, 1, 0}, s);
	EXPECT_NEAR(s.r2, 4, k_tol);
}

TEST(Geometry, SphereIntoSphereBoundsBoth)
{
	const Sphere3 small{{1, 0, 0}, 1}, large{{0, 0, 0}, 100};
	Sphere3 s = large;
	ExtendBoundingSphereToSphere(small, s);
	EXPECT_TRUE(s.c == large.c);
	EXPECT_EQ(s.r2, large.r2);
	// A large sphere added to a small one inside it: the large one bounds both.
	s = small;
	ExtendBoundingSphereToSphere(large, s);
	EXPECT_TRUE(s.c == large.c);
	EXPECT_EQ(s.r2, large.r2);

	s = {{0, 0, 0}, 1};
	ExtendBoundingSphereToSphere({{10, 0, 0}, 4}, s);
	expect_near(s.c, {5.5, 0, 0});
	EXPECT_NEAR(s.r2, 6.5 * 6.5, k_tol);

	s = {{0, 0, 0}, 0};
	ExtendBoundingSphereToSphere(small, s);
	EXPECT_TRUE(s.c == small.c);
	ExtendBoundingSphereToSphere({{50, 50, 50}, 0}, s);
	EXPECT_TRUE(s.c == small.c);
	EXPECT_EQ(s.r2, small.r2);
}
