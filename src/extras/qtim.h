#pragma once
// The movie recorder `qtim`. Once started it captures the window frame by frame and
// writes it as a QuickTime movie (Photo-JPEG samples) into the base folder `app_path`,
// compressing on a thread of its own. The frame loop offers it every frame; while idle
// it returns 0 and the frame loop swaps the buffers itself, while recording it swaps
// them itself and returns 1.
//
// Two threads share the recorder: the main (drawing) thread runs everything except
// QT_Thread. Frame records pass between them only through the two queues, so a record
// is touched by one side at a time; the plain words below change only while the thread
// is idle (before the first frame of a recording, or after the stop's echo).
#include <atomic>
#include <list>
#include <string>

#include "runtime/hl_thread.h"

class qt_movie_file;

class qtim_class {
public:
	qtim_class();
	~qtim_class();
	qtim_class(const qtim_class&) = delete;
	qtim_class& operator=(const qtim_class&) = delete;

	// 1 when this frame was swapped by the recorder, 0 when the frame loop must swap.
	int mov_per_frame();
	// Starts a recording in `mode` (1 into a movie file, 2 a run without a file) while
	// idle; stops a running one (a movie file only once three frames came back).
	void mov_toggle(int mode);
	int mov_add_frame();
	void draw_record_lgt();
	// The recorder's settings window, drawn once per pass of its modal loop.
	void qtim_wind();
	// Stops a recording and ends the compression thread.
	void stop_thread();

	int qt_usable;    // 1 when the JPEG compressor and the QuickTime muxer exist
	int state;        // 0 idle, 1 recording into a movie file, 2 a run without a file
	int width;        // movie width in pixels
	int height;       // movie height in pixels, from the window's aspect at each start
	float fps;        // frames per second
	int frame_count;  // frames handed back by the compression thread since the last start
};

extern qtim_class qtim;

// One frame on its way to the compression thread and back.
struct movie_frame_buf {
	float duration;        // seconds this frame stands for
	unsigned char* block;  // width x height BGRA pixels, top row first
	int size;              // bytes of block
};

void mov_startrecord();
void mov_stoprecord();
void* QT_Thread(void*);
// Quitting alert with three lines and the error code (signed) as the fourth.
void mov_alert(std::string line1, std::string line2, const char* line3, int err);

// How long a frame taken `elapsed` seconds after the previous one stands for: none (0)
// before one period has passed, exactly one period when it is a little late, else the
// whole gap.
float mov_frame_dt(float elapsed, float fps);
// A frame's sample duration in time-scale units, 1 to 60.
int mov_sample_units(float duration);

// The module's state. The recorder owns it; it is visible so that the frames' road can
// be followed from outside.
extern int qt_thread_made;
extern UTL_thread_handle qt_thread, qt_thread_id, qt_thread_join;
extern UTL_message_queue* q_to_thread;    // main to compression thread
extern UTL_message_queue* q_from_thread;  // back
// Read by the thread on a stop message: 0 ends the thread, anything else keeps it.
extern int control_value;
extern std::list<movie_frame_buf*> usable_buffers;  // records the main thread may fill
extern unsigned char* qt_array;                     // the compressor's pixel store
extern unsigned int pbo_id;                         // the pixel-pack buffer, 0 when none
extern int pbo_has_data;                            // it holds a frame not yet fetched
extern float start_mov_time, prev_frame_time;       // simulation seconds
extern qt_movie_file* gCurrentMovie;                // the open movie, null when none
extern int movie_take;                              // the take counter; only grows in a run
// 1 from the thread's start until it has ended, however it ended.
extern std::atomic<int> qt_thread_alive;
// What the thread sends back for every stop message (a null item cannot be told from a
// read that timed out).
extern void* const qt_stop_echo;
