#pragma once
// Planar and 3-D geometry for scenery work: moving polygon sides inward, simplifying
// outlines, quad strips along a chain of points, Bezier subdivision, clipping,
// point-in-polygon and bounding spheres. Standard library only.
#include <vector>

extern double PI2;  // 2 pi

struct Point2 {
	double x, y;
};
using Vector2 = Point2;
struct Segment2 {
	Point2 p1, p2;  // directed from p1 to p2
};
// A ring (closed by the side from the last point to the first) or a chain.
using Polygon2 = std::vector<Point2>;

struct Point3 {
	double x, y, z;
};
using Vector3 = Point3;
struct Segment3 {
	Point3 p1, p2;
};
using Polygon3 = std::vector<Point3>;
struct Line3 {
	Point3 p;   // a point on the line
	Vector3 d;  // its direction
};
// The points q with n . q = d.
struct Plane3 {
	Vector3 n;
	double d;
};
// Centre and squared radius; r2 = 0 is the empty sphere.
struct Sphere3 {
	Point3 c;
	double r2;
};

// The axis-aligned linear map of one rectangle onto another.
struct CoordTranslator {
	Point2 src_min, src_max, dst_min, dst_max;
	Point2 Forward(Point2 p) const;
	Point2 Reverse(Point2 p) const;
};

// True when b lies strictly counter-clockwise between a and c (also when a and c
// point the same way).
bool Is_CCW_Between(Vector2 a, Vector2 b, Vector2 c);

// The segment moved by dist to its left.
void MoveSegLeft(Segment2 s, double dist, Segment2& out);
// The largest inset before some side collapses, for sides moved left by dist *
// ratios[i] (ratios null: all 1).
double CalcMaxInset(const Polygon2& poly, double const* ratios, bool is_ring);
// Drops points that nearly coincide with a neighbour or lie nearly on the line
// between their neighbours; never leaves fewer than 3 points.
void ReducePolygon(Polygon2& poly, double max_dev2, double min_dot, double min_len, double merge_dist);
// Moves every side left by dist * ratios[i] (one ratio per point; null: all 1) and
// joins the moved sides. Where a side runs straight back along its predecessor a cap
// of two points is put in, and on_insert (when given) is told the cap's index in out.
void InsetPolygon(const Polygon2& in, double const* ratios, double dist, bool is_ring, Polygon2& out,
                  void (*on_insert)(int, void*), void* ref);

void MoveSegLeft(Segment3 s, double dist, Segment3& out, Vector3 up);
void InsetPolygon(const Polygon3& in, double const* ratios, double dist, bool is_ring, Vector3 up, Polygon3& out);
// True when p lies in the prism over the convex polygon, either winding.
bool PointInPolygon3(const Polygon3& poly, Point3 p);
// The part of the polygon with n . q <= d.
void ClipToHalfPlane3(const Polygon3& in, Plane3 pl, Polygon3& out);
// Where the two lines meet, seen along the normal of the plane they span, cut with
// that plane through junction.
bool IntersectLinesAroundJunction(Line3 l1, Line3 l2, Point3 junction, Point3& out);
// p1, the inner points of the cubic curve, p2.
void BezierCurve(Point3 p1, Point3 p2, bool has_c1, bool has_c2, Point3 c1, Point3 c2, int steps, double skip1,
                 double skip2, std::vector<Point3>& out);

// Quad strips: points 2k (the plus side) and 2k+1 (the minus side) are cross-section k.
void ChainToQuadStrip(const std::vector<Point3>& chain, const std::vector<Vector3>& ups,
                      const std::vector<double>& widths, std::vector<Point3>& strip);
void ReverseQuadStrip(std::vector<Point3>& strip);
// Which side of the first quad q0..q3 is longer, by how much: positive the even side
// (q0, q2), negative the odd side.
double LongerSideOfQuad(const std::vector<Point3>& q);
// Cuts dist off the strip's front (back); the cut-off points and the two cut points go
// into removed.
void RemoveFromQuadStripFront(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed,
                              bool square_cut);
void RemoveFromQuadStripBack(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed, bool square_cut);

void ExtendBoundingSphereToPt(Point3 p, Sphere3& s);
void ExtendBoundingSphereToPt1(Point3 p, Sphere3& s);
void ExtendBoundingSphereToSphere(Sphere3 a, Sphere3& s);
void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s);
