// The copy picker of the DVD flows, which the updater's Pick Destination screen draws,
// is not written yet. Until it lands this does the least that keeps the screen's own
// logic whole (no pick is drawn), and goes when the picker lands.
#include "wizard/main_web_shared.h"

void web_pick_copy() {}
