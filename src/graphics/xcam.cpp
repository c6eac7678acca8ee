#include "graphics/xcam.h"

#include <cstring>

const double gIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

xcam_class::xcam_class()
	: is_ortho(true), near_z(0), far_z(0), fake_far_z(0), top_plane{}, left_plane{}, right_plane{},
	  bottom_plane{}, ortho_top(0), ortho_left(0), ortho_right(0), ortho_bottom(0), changed(true),
	  read_back(true)
{
	std::memcpy(projection, gIdentity, sizeof(projection));
	std::memcpy(modelview, gIdentity, sizeof(modelview));
}

xcam_class::xcam_class(xcam_class* other) : xcam_class()
{
	if (other) *this = *other;
}
