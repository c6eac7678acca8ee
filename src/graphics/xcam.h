#pragma once
// The camera `xcam`: the projection and modelview matrices the drawing layer loads into
// OpenGL, with what culling needs to know about the view. Matrices are 16 doubles in
// OpenGL's column-major order (row r, column c at 4c + r).

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
};

extern const double gIdentity[16];
extern xcam_class xcam;
