// The graphics library's framework globals. The camera is built before the texture
// manager; neither constructor reads another global, so it does not matter whether
// this unit starts before or after the runtime's globals unit.
#include <unordered_map>

#include "graphics/tman.h"
#include "graphics/xcam.h"

xcam_class xcam;
tman_class tman;
// 193 buckets: the first prime of the classic table not below 100.
std::unordered_map<std::string, int, tex_name_hash> tex_hash(193);
int maxtexdim = 0;

unsigned char* scratch_array = nullptr;
int scratch_dx = 0;
int scratch_dy = 0;
unsigned char scratch_array_storage[scratch_bytes];
unsigned char scratch_array_temp[scratch_bytes];

#include "graphics/colr.h"

colr_class colr;
