// The repair and scenery flows draw the install flow's copy picker and world map.
#include "wizard/main_copies.h"
#include "wizard/main_map.h"
#include "wizard/main_repair.h"

void repair_pick_copy() { UTIL_pick_install(); }
void repair_world_map() { UTIL_world_map(); }
