#pragma once
// The movie recorder `qtim`. The frame loop offers it every frame; it swaps the buffers
// itself only while recording. Recording needs the system's movie toolbox, which this
// platform does not have, so `qt_usable` is 0, `mov_toggle` does nothing and the
// recorder stays idle.

class qtim_class {
public:
	qtim_class();

	// 0 while idle (the frame loop then swaps the buffers itself).
	int mov_per_frame();
	void mov_toggle(int mode);

	int qt_usable;    // 1 when the movie toolbox could be entered
	int state;        // 0 idle, 1 recording into a movie file, 2 a run without a file
	int width;        // movie width in pixels
	int height;       // movie height in pixels
	float fps;        // frames per second
	int frame_count;  // frames handed back by the compression thread since the start
};

extern qtim_class qtim;
