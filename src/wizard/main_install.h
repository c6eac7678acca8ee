#pragma once
// What the install flow's screens keep between frames, for a test that starts a new
// program run.

// Pick Destination forgets its folder, name and desktop and what the flow last left in
// the engine, as at program start.
void dvd_pick_install_forget();
