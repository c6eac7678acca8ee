#include "extras/qtim.h"

qtim_class qtim;

qtim_class::qtim_class() : qt_usable(0), state(0), width(320), height(0), fps(20.0f), frame_count(0)
{
	// No movie toolbox exists here to enter, so the recorder is never usable.
}

int qtim_class::mov_per_frame()
{
	// Only a started recording takes frames, and a recording starts only when the
	// toolbox is usable; a run without a file (state 2) is stopped at once.
	if (state == 2) mov_toggle(0);
	return 0;
}

void qtim_class::mov_toggle(int /*mode*/)
{
	// Starting and stopping a recording both go through the movie toolbox; without it
	// (qt_usable 0) toggling does nothing.
}
