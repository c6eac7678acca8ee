#pragma once
// The camera `xcam`: the projection and modelview matrices the drawing layer loads into
// OpenGL, with what culling needs to know about the view. Matrices are 16 doubles in
// OpenGL's column-major order (row r, column c at 4c + r).

class UTL_stat;

class xcam_class {
public:
	xcam_class();
	explicit xcam_class(xcam_class* other);
	xcam_class(const xcam_class&) = default;
	xcam_class& operator=(const xcam_class&) = default;

	void SetupOrtho(double left, double right, double bottom, double top, double near_d, double far_d);
	void SetupFrustum(double left, double right, double bottom, double top, double near_d, double far_d);
	void SetupPerspective(double fov_y, double aspect, double near_d, double far_d);
	void SetFakeFarClippingPlane(double distance);
	void ResetFakeFarClippingPlane();
	void LookAtPtFromPt(double eye_x, double eye_y, double eye_z, double at_x, double at_y, double at_z,
	                    double up_x, double up_y, double up_z);
	void LookAtPtFromDir(double at_x, double at_y, double at_z, double heading, double pitch, double distance);
	void Identity();
	void Translate(double x, double y, double z);
	void Rotate(double angle, double x, double y, double z);
	bool GetFOVHalfCosines(float* horizontal, float* vertical);
	void CalcUp(double out[3]);
	void CalcDirection(double out[3]);
	void CalcRight(double out[3]);
	void CalcBillboardGround(float right[3], float up[3]);
	void CalcBillboardCamera(float right[3], float up[3]);
	void LookAtCamera(const xcam_class& other, const double light_dir[3], double distance, double& near_out,
	                  double& far_out);
	bool GetFrustumBounds(double depth_limit, double low_y, double high_y, double min_out[3], double max_out[3]);
	void mtr_to_pix(const double point[3], double out[2]);

	bool is_ortho;      // true orthographic, false perspective
	double near_z;      // eye-space z of the near plane (minus the near distance)
	double far_z;       // eye-space z of the far plane
	double fake_far_z;  // a far plane that can be pulled nearer; the camera never reads it
	// Inward normals of the planes through the eye and the window's edges.
	double top_plane[3];
	double left_plane[3];
	double right_plane[3];
	double bottom_plane[3];
	double ortho_top;
	double ortho_left;
	double ortho_right;
	double ortho_bottom;
	bool changed;    // set by every operation that changes a matrix
	bool read_back;  // the modelview may be out of date with OpenGL's
	double projection[16];
	double modelview[16];

private:
	// Copies OpenGL's modelview in when the read-back flag says it may be newer.
	void read_back_modelview();
};

extern const double gIdentity[16];
extern xcam_class xcam;

// Debug switches of the camera; nothing in this program turns them on.
extern UTL_stat gKillClip;   // "perf/kill_clip": project only the middle tenth of the window
extern UTL_stat gKillCull;   // "perf/kill_cull": side planes of the middle tenth only
extern UTL_stat gExtraNear;  // "shadow/extra_near": pull a fitted shadow box's near side out

// 4x4 matrix functions.
void setIdentityMatrix(double m[16]);
void copyMatrix(double dst[16], const double src[16]);
void transposeMatrix(double out[16], const double in[16]);
void addMatrices(double out[16], const double a[16], const double b[16]);
// out = a x b; out must be distinct from a and b.
void multMatrices(double out[16], const double a[16], const double b[16]);
// 1 with out = the inverse; 0 when `in` is singular.
int invertMatrix(double out[16], const double in[16]);
void buildFrustumMatrix(double m[16], double left, double right, double bottom, double top, double near_d,
                        double far_d);
void buildPerspectiveMatrix(double m[16], double fov_y, double aspect, double near_d, double far_d);
void buildOrthoMatrix(double m[16], double left, double right, double bottom, double top, double near_d,
                      double far_d);
void buildLookAtMatrix(double m[16], double eye_x, double eye_y, double eye_z, double centre_x, double centre_y,
                       double centre_z, double up_x, double up_y, double up_z);
void buildRotation(double m[16], double angle, double x, double y, double z);
void applyTranslation(double m[16], double x, double y, double z);
void applyRotation(double m[16], double angle, double x, double y, double z);
void vec3_assign(double v[3], double x, double y, double z);
void printMatrix(const char* title, const double m[16]);
// Widens the box [mn, mx] by the part of the edge a-b whose height (y) lies in lo..hi.
void accum_segment(double lo, double hi, const double a[3], const double b[3], double mn[3], double mx[3]);
