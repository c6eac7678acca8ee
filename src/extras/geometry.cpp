#include "extras/geometry.h"

#include <algorithm>
#include <cmath>
#include <tuple>

double PI2 = 2.0 * M_PI;

namespace {
// Turns at inner chain points: sides closer than this (as a dot product of their unit
// sideways vectors) are one straight line, or the chain doubling back.
const double k_straight_dot = 0.9995;

// ---- 2-D vectors

Point2 add(Point2 a, Point2 b) { return {a.x + b.x, a.y + b.y}; }
Point2 sub(Point2 a, Point2 b) { return {a.x - b.x, a.y - b.y}; }
Point2 mul(Point2 a, double k) { return {a.x * k, a.y * k}; }
double dot(Point2 a, Point2 b) { return a.x * b.x + a.y * b.y; }
double cross(Point2 a, Point2 b) { return a.x * b.y - a.y * b.x; }
double len(Point2 a) { return std::sqrt(dot(a, a)); }
bool same(Point2 a, Point2 b) { return a.x == b.x && a.y == b.y; }
double sign(double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); }

// Axis-aligned directions come out exact.
Vector2 unit(Vector2 v)
{
	if (v.x == 0) return {0, sign(v.y)};
	if (v.y == 0) return {sign(v.x), 0};
	const double l = len(v);
	return l != 0 ? mul(v, 1.0 / l) : v;
}

double angle(Vector2 v) { return static_cast<double>(::atan2f(static_cast<float>(v.y), static_cast<float>(v.x))); }

// ---- 3-D vectors

Point3 add(Point3 a, Point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3 sub(Point3 a, Point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 mul(Point3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(Point3 a, Point3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point3 cross(Point3 a, Point3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len2(Point3 a) { return dot(a, a); }
double len(Point3 a) { return std::sqrt(len2(a)); }
bool same(Point3 a, Point3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool is_zero(Point3 a) { return a.x == 0 && a.y == 0 && a.z == 0; }

Vector3 unit(Vector3 v)
{
	const double l = len(v);
	return l != 0 ? mul(v, 1.0 / l) : v;
}

// The midpoint, a coordinate on which both agree taken as it is.
double mid(double a, double b) { return a == b ? a : (a + b) * 0.5; }
Point3 mid(Point3 a, Point3 b) { return {mid(a.x, b.x), mid(a.y, b.y), mid(a.z, b.z)}; }

double ratio_of(double const* ratios, size_t i) { return ratios ? ratios[i] : 1.0; }

// Where the infinite lines of two segments cross; false when they are parallel.
bool line_crossing(const Segment2& a, const Segment2& b, Point2& out)
{
	const Vector2 r = sub(a.p2, a.p1), s = sub(b.p2, b.p1);
	const double denom = cross(r, s);
	if (denom == 0) return false;
	out = add(a.p1, mul(r, cross(sub(b.p1, a.p1), s) / denom));
	return true;
}

// The line where the planes n1 . x = o1 and n2 . x = o2 meet: a point and the
// direction; false when the planes are parallel.
bool plane_meet(Vector3 n1, double o1, Vector3 n2, double o2, Point3& point, Vector3& dir)
{
	const double a = len2(n1), b = len2(n2), ab = dot(n1, n2);
	const double det = a * b - ab * ab;
	if (det == 0) return false;
	point = add(mul(n1, (o1 * b - o2 * ab) / det), mul(n2, (o2 * a - o1 * ab) / det));
	dir = cross(n1, n2);
	return true;
}

// Where the line through p along d meets the plane n . x = o; false when parallel.
bool line_plane(Point3 p, Vector3 d, Vector3 n, double o, Point3& out)
{
	const double denom = dot(n, d);
	if (denom == 0) return false;
	out = add(p, mul(d, (o - dot(n, p)) / denom));
	return true;
}

// The turn angle at a joint from a side of direction angle a_in to one of a_out.
double turn_angle(double a_in, double a_out)
{
	double t = M_PI - (a_out - a_in);
	if (t > M_PI) t -= PI2;
	return t;
}
}  // namespace

Point2 CoordTranslator::Forward(Point2 p) const
{
	return {dst_min.x + (p.x - src_min.x) * (dst_max.x - dst_min.x) / (src_max.x - src_min.x),
	        dst_min.y + (p.y - src_min.y) * (dst_max.y - dst_min.y) / (src_max.y - src_min.y)};
}

Point2 CoordTranslator::Reverse(Point2 p) const
{
	return {src_min.x + (p.x - dst_min.x) * (src_max.x - src_min.x) / (dst_max.x - dst_min.x),
	        src_min.y + (p.y - dst_min.y) * (src_max.y - src_min.y) / (dst_max.y - dst_min.y)};
}

bool Is_CCW_Between(Vector2 a, Vector2 b, Vector2 c)
{
	double al = angle(a), be = angle(b), ga = angle(c);
	if (al == ga) return true;
	for (double* t : {&al, &be, &ga})
		if (*t <= -M_PI) *t += PI2;
	if (al > be) be += PI2;
	if (al > ga) ga += PI2;
	return be > al && ga > be;
}

void MoveSegLeft(Segment2 s, double dist, Segment2& out)
{
	const Vector2 n = unit(Vector2{-(s.p2.y - s.p1.y), s.p2.x - s.p1.x});
	out = {add(s.p1, mul(n, dist)), add(s.p2, mul(n, dist))};
}

double CalcMaxInset(const Polygon2& poly, double const* ratios, bool is_ring)
{
	const size_t n = poly.size();
	const size_t sides = is_ring ? n : (n > 0 ? n - 1 : 0);
	if (sides < 1) return 0;
	auto side_angle = [&](size_t i) { return angle(sub(poly[(i + 1) % n], poly[i])); };
	double best = 0;
	bool found = false;
	for (size_t i = 0; i < sides; ++i) {
		const double r = ratio_of(ratios, i);
		double k = 0;
		if (is_ring || i > 0) {
			const size_t prev = (i + n - 1) % n;
			const double t1 = turn_angle(side_angle(prev), side_angle(i));
			k += std::cos(t1) / std::sin(t1) * r + ratio_of(ratios, prev) / std::sin(t1);
		}
		if (is_ring || i + 1 < sides) {
			const size_t next = (i + 1) % n;
			const double t2 = turn_angle(side_angle(i), side_angle(next));
			k += std::cos(t2) / std::sin(t2) * r + ratio_of(ratios, next) / std::sin(t2);
		}
		if (k > 0) {
			const double allowed = len(sub(poly[(i + 1) % n], poly[i])) / k;
			if (!found || allowed < best) best = allowed;
			found = true;
		}
	}
	return best;
}

void ReducePolygon(Polygon2& poly, double max_dev2, double min_dot, double min_len, double merge_dist)
{
	const size_t k_min_points = 3;
	bool erased = true;
	while (erased) {
		erased = false;
		for (size_t i = 0; i < poly.size();) {
			if (poly.size() <= k_min_points) return;
			const size_t n = poly.size();
			const Point2 prev = poly[(i + n - 1) % n], v = poly[i], next = poly[(i + 1) % n];
			const double d_prev = len(sub(v, prev)), d_next = len(sub(next, v));
			bool drop = d_prev < merge_dist || d_next < merge_dist;
			if (!drop && d_prev > min_len && d_next > min_len) {
				const Vector2 base = sub(next, prev);
				const double base2 = dot(base, base);
				const double c = cross(base, sub(v, prev));
				const double dev2 = base2 != 0 ? c * c / base2 : d_prev * d_prev;
				drop = dev2 < max_dev2 && dot(unit(sub(v, prev)), unit(sub(next, v))) > min_dot;
			}
			if (drop) {
				poly.erase(poly.begin() + static_cast<std::ptrdiff_t>(i));
				erased = true;
			}
			// After an erase the point that moved into place is passed over until the
			// next pass.
			++i;
		}
	}
}

void InsetPolygon(const Polygon2& in, double const* ratios, double dist, bool is_ring, Polygon2& out,
                  void (*on_insert)(int, void*), void* ref)
{
	out.clear();
	const size_t n = in.size();
	if (n < 2) return;
	std::vector<Segment2> moved(n);
	for (size_t i = 0; i < n; ++i) MoveSegLeft({in[i], in[(i + 1) % n]}, dist * ratio_of(ratios, i), moved[i]);
	int caps = 0;
	for (size_t j = 0; j < n; ++j) {
		const size_t p = (j + n - 1) % n;
		if (!is_ring && j == 0) {
			out.push_back(moved[0].p1);
		} else if (!is_ring && j == n - 1) {
			out.push_back(moved[p].p2);
		} else if (same(in[p], in[(j + 1) % n])) {
			Segment2 cap;
			MoveSegLeft({moved[p].p2, moved[j].p1}, dist * ratio_of(ratios, j), cap);
			out.push_back(cap.p1);
			out.push_back(cap.p2);
			if (on_insert) on_insert(static_cast<int>(j) + caps, ref);
			++caps;
		} else {
			Point2 x;
			if (line_crossing(moved[p], moved[j], x)) out.push_back(x);
		}
	}
}

void MoveSegLeft(Segment3 s, double dist, Segment3& out, Vector3 up)
{
	const Vector3 n = unit(cross(sub(s.p2, s.p1), up));
	out = {add(s.p1, mul(n, dist)), add(s.p2, mul(n, dist))};
}

void InsetPolygon(const Polygon3& in, double const* ratios, double dist, bool is_ring, Vector3 up, Polygon3& out)
{
	out.clear();
	const size_t n = in.size();
	if (n < 2) return;
	std::vector<Segment3> moved(n);
	for (size_t i = 0; i < n; ++i)
		MoveSegLeft({in[i], in[(i + 1) % n]}, dist * ratio_of(ratios, i), moved[i], up);
	for (size_t j = 0; j < n; ++j) {
		const size_t p = (j + n - 1) % n;
		if (!is_ring && j == 0) {
			out.push_back(moved[0].p1);
		} else if (!is_ring && j == n - 1) {
			out.push_back(moved[p].p2);
		} else if (same(in[p], in[(j + 1) % n])) {
			Segment3 cap;
			MoveSegLeft({moved[p].p2, moved[j].p1}, dist * ratio_of(ratios, j), cap, up);
			out.push_back(cap.p1);
			out.push_back(cap.p2);
		} else {
			// The moved side j meets the upright plane that holds the moved side p.
			const Vector3 np = unit(cross(sub(moved[p].p2, moved[p].p1), up));
			Point3 x;
			if (line_plane(moved[j].p1, sub(moved[j].p2, moved[j].p1), np, dot(np, moved[p].p1), x))
				out.push_back(x);
		}
	}
}

bool PointInPolygon3(const Polygon3& poly, Point3 p)
{
	const size_t n = poly.size();
	if (n < 3) return false;
	const Vector3 normal = unit(cross(sub(poly[1], poly[0]), sub(poly[1], poly[2])));
	for (size_t i = 0; i < n; ++i) {
		const Point3 a = poly[i], b = poly[(i + 1) % n];
		const Vector3 m = unit(cross(normal, sub(b, a)));
		if (dot(m, p) - dot(m, a) > 0) return false;
	}
	return true;
}

void ClipToHalfPlane3(const Polygon3& in, Plane3 pl, Polygon3& out)
{
	out.clear();
	const size_t n = in.size();
	// Each point is judged by where it lies: a point on the plane is inside, so it is
	// kept once and a side that only touches the plane crosses nothing.
	auto inside = [&](Point3 q) { return dot(pl.n, q) <= pl.d; };
	for (size_t i = 0; i < n; ++i) {
		const Point3 a = in[i], b = in[(i + 1) % n];
		const bool a_in = inside(a), b_in = inside(b);
		if (a_in) out.push_back(a);
		if (a_in == b_in) continue;
		const double denom = dot(pl.n, sub(b, a));
		if (denom == 0) continue;
		const double t = (pl.d - dot(pl.n, a)) / denom;
		const Point3 x = add(mul(a, 1 - t), mul(b, t));
		if (!same(x, a) && !same(x, b)) out.push_back(x);
	}
}

bool IntersectLinesAroundJunction(Line3 l1, Line3 l2, Point3 junction, Point3& out)
{
	const Vector3 c = cross(l1.d, l2.d);
	if (is_zero(c)) return false;
	const Vector3 n = unit(c);
	const Vector3 m1 = unit(cross(n, l1.d)), m2 = unit(cross(n, l2.d));
	if (same(m1, m2)) return false;
	Point3 point;
	Vector3 dir;
	if (!plane_meet(m1, dot(m1, l1.p), m2, dot(m2, l2.p), point, dir)) return false;
	return line_plane(point, dir, n, dot(n, junction), out);
}

void BezierCurve(Point3 p1, Point3 p2, bool has_c1, bool has_c2, Point3 c1, Point3 c2, int steps, double skip1,
                 double skip2, std::vector<Point3>& out)
{
	out.clear();
	out.push_back(p1);
	const Point3 a = has_c1 ? c1 : p1, b = has_c2 ? c2 : p2;
	const Vector3 chord = sub(p2, p1);
	const bool straight = is_zero(cross(sub(a, p1), chord)) && is_zero(cross(sub(b, p1), chord));
	const int segments = (has_c1 || has_c2) && !straight ? std::max(steps, 1) : 1;
	for (int k = 1; k < segments; ++k) {
		const float t = static_cast<float>(k) / static_cast<float>(segments);
		const float s = 1.0f - t;
		const float w0 = s * s * s, w1 = 3 * s * s * t, w2 = 3 * s * t * t, w3 = t * t * t;
		const Point3 q = add(add(mul(p1, w0), mul(a, w1)), add(mul(b, w2), mul(p2, w3)));
		if (skip1 > 0 && len(sub(q, p1)) < skip1) continue;
		if (skip2 > 0 && len(sub(q, p2)) < skip2) continue;
		out.push_back(q);
	}
	out.push_back(p2);
}

namespace {
// The corner point of a mitred joint at chain point p, offset by off along both
// sideways vectors, in the plane through p across the up vector.
Point3 mitre_point(Point3 p, Vector3 side_in, Vector3 side_out, Vector3 up, double off)
{
	const Point3 q_in = add(p, mul(side_in, off)), q_out = add(p, mul(side_out, off));
	const Vector3 u = unit(up);
	Point3 point, x;
	Vector3 dir;
	if (!plane_meet(side_in, dot(side_in, q_in), side_out, dot(side_out, q_out), point, dir)) {
		point = q_in;
		dir = up;
	}
	return line_plane(point, dir, u, dot(u, p), x) ? x : q_in;
}
}  // namespace

void ChainToQuadStrip(const std::vector<Point3>& chain, const std::vector<Vector3>& ups,
                      const std::vector<double>& widths, std::vector<Point3>& strip)
{
	strip.clear();
	const size_t n = chain.size();
	if (n < 2 || ups.size() < n || widths.size() < n) return;
	auto side = [&](size_t seg, Vector3 up) { return unit(cross(unit(sub(chain[seg + 1], chain[seg])), up)); };
	auto pair = [&](Point3 p, Vector3 s, double h) {
		strip.push_back(add(p, mul(s, h)));
		strip.push_back(sub(p, mul(s, h)));
	};
	for (size_t i = 0; i < n; ++i) {
		const double h = 0.5 * widths[i];
		const Point3 p = chain[i];
		if (i == 0) {
			pair(p, side(0, ups[i]), h);
			continue;
		}
		if (i == n - 1) {
			pair(p, side(n - 2, ups[i]), h);
			continue;
		}
		const Vector3 s_in = side(i - 1, ups[i]), s_out = side(i, ups[i]);
		const double d = dot(s_in, s_out);
		if (d > k_straight_dot) {
			pair(p, s_in, h);
		} else if (d < -k_straight_dot) {
			pair(p, s_in, h);
			pair(p, s_out, h);
		} else {
			strip.push_back(mitre_point(p, s_in, s_out, ups[i], h));
			strip.push_back(mitre_point(p, s_in, s_out, ups[i], -h));
		}
	}
}

void ReverseQuadStrip(std::vector<Point3>& strip) { std::reverse(strip.begin(), strip.end()); }

double LongerSideOfQuad(const std::vector<Point3>& q)
{
	if (q.size() < 4) return 0;
	// A side of length 0 has its foot at its start.
	const Vector3 odd = sub(q[1], q[3]);
	const double t1 = len2(odd) != 0 ? dot(sub(q[0], q[3]), odd) / len2(odd) : 0;
	if (t1 < 1) return -len(sub(add(q[3], mul(odd, t1)), q[1]));
	const Vector3 even = sub(q[0], q[2]);
	const double t2 = len2(even) != 0 ? dot(sub(q[1], q[2]), even) / len2(even) : 0;
	return len(sub(add(q[2], mul(even, t2)), q[0]));
}

namespace {
// Walks one side of the strip (0 the even points, 1 the odd ones) to the point at
// distance cut; seg is the cross-section the cut follows. False when the side is
// shorter than cut.
bool find_cut(const std::vector<Point3>& strip, int side_index, double cut, Point3& at, size_t& seg)
{
	const size_t pairs = strip.size() / 2;
	double run = 0;
	for (size_t k = 0; k + 1 < pairs; ++k) {
		const Point3 a = strip[2 * k + side_index], b = strip[2 * k + 2 + side_index];
		const double l = len(sub(b, a));
		if (run + l >= cut) {
			const double frac = l > 0 ? (cut - run) / l : 1.0;
			at = frac >= 1 ? b : (frac <= 0 ? a : add(a, mul(sub(b, a), frac)));
			seg = k;
			return true;
		}
		run += l;
	}
	return false;
}
}  // namespace

void RemoveFromQuadStripFront(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed,
                              bool square_cut)
{
	removed.clear();
	const size_t k_min_points = 4;
	if (strip.size() < k_min_points || dist <= 0) return;
	double cut_even = dist, cut_odd = dist;
	if (square_cut) {
		const double l = LongerSideOfQuad(strip);
		if (l >= 0)
			cut_even += l;
		else
			cut_odd -= l;
	}
	Point3 at_even, at_odd;
	size_t seg_even = 0, seg_odd = 0;
	if (!find_cut(strip, 0, cut_even, at_even, seg_even) || !find_cut(strip, 1, cut_odd, at_odd, seg_odd)) return;
	// Where the two sides are cut in different sections, the strip restarts after the
	// later one, so that neither side runs backwards.
	const size_t gone = 2 * (std::max(seg_even, seg_odd) + 1);
	removed.assign(strip.begin(), strip.begin() + static_cast<std::ptrdiff_t>(gone));
	removed.push_back(at_even);
	removed.push_back(at_odd);
	const bool on_next_pair = same(at_even, strip[gone]) && same(at_odd, strip[gone + 1]);
	strip.erase(strip.begin(), strip.begin() + static_cast<std::ptrdiff_t>(gone));
	if (!on_next_pair) strip.insert(strip.begin(), {at_even, at_odd});
}

void RemoveFromQuadStripBack(std::vector<Point3>& strip, double dist, std::vector<Point3>& removed, bool square_cut)
{
	ReverseQuadStrip(strip);
	RemoveFromQuadStripFront(strip, dist, removed, square_cut);
	ReverseQuadStrip(strip);
	std::reverse(removed.begin(), removed.end());
}

void ExtendBoundingSphereToPt(Point3 p, Sphere3& s)
{
	if (len2(sub(p, s.c)) > s.r2) ExtendBoundingSphereToPt1(p, s);
}

void ExtendBoundingSphereToPt1(Point3 p, Sphere3& s)
{
	const Vector3 u = unit(sub(p, s.c));
	const Point3 far = sub(s.c, mul(u, std::sqrt(s.r2)));
	s.c = mid(far, p);
	s.r2 = len2(sub(p, s.c));
}

void ExtendBoundingSphereToSphere(Sphere3 a, Sphere3& s)
{
	if (a.r2 == 0) return;
	if (s.r2 == 0) {
		s = a;
		return;
	}
	const double ra = std::sqrt(a.r2), rs = std::sqrt(s.r2);
	const double d2 = len2(sub(a.c, s.c));
	if ((rs - ra) * (rs - ra) >= d2) {
		// One sphere holds the other: the larger one bounds both.
		if (ra > rs) s = a;
		return;
	}
	const Vector3 u = unit(sub(a.c, s.c));
	const Point3 p = sub(s.c, mul(u, rs)), q = add(a.c, mul(u, ra));
	s.c = mid(p, q);
	s.r2 = len2(sub(p, s.c));
}

void FastBoundingSphere(const std::vector<Point3>& pts, Sphere3& s)
{
	if (pts.empty()) return;
	std::vector<Point3> sorted = pts;
	std::sort(sorted.begin(), sorted.end(),
	          [](const Point3& a, const Point3& b) { return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z); });
	const Point3 first = sorted.front(), last = sorted.back();
	s.c = mid(first, last);
	s.r2 = std::max(len2(sub(first, s.c)), len2(sub(last, s.c)));
	for (size_t i = 1; i + 1 < sorted.size(); ++i) ExtendBoundingSphereToPt(sorted[i], s);
}
