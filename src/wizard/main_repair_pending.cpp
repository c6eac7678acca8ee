// The copy picker and the world map's drawing belong to the install flow, which is not
// written yet. Until they land these do the least that keeps the repair and scenery
// screens' own logic whole (no picker or map is drawn: a single registered copy is
// still chosen, and the tiles on disk stay selected), and go when they land.
#include "wizard/main_repair.h"

void repair_pick_copy() {}
void repair_world_map() {}
