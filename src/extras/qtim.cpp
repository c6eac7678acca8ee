#include "extras/qtim.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

#include "extras/qtim_writer.h"
#include "graphics/ogl_draw.h"
#include "graphics/tman.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_utils.h"
#include "runtime/rec_glext.h"
#include "runtime/xtim.h"

qtim_class qtim;

int qt_thread_made = 0;
UTL_thread_handle qt_thread, qt_thread_id, qt_thread_join;
UTL_message_queue* q_to_thread = nullptr;
UTL_message_queue* q_from_thread = nullptr;
int control_value = 0;
std::list<movie_frame_buf*> usable_buffers;
unsigned char* qt_array = nullptr;
unsigned int pbo_id = 0;
int pbo_has_data = 0;
float start_mov_time = 0.0f, prev_frame_time = 0.0f;
qt_movie_file* gCurrentMovie = nullptr;
int movie_take = 0;
std::atomic<int> qt_thread_alive{0};

namespace {

char stop_echo_marker;

constexpr int kDefaultWidth = 320;
constexpr float kDefaultFps = 20.0f;
// The scratch texture is 2048 x 2048, which bounds the window that can be recorded.
constexpr int kMaxResolution = 2048;
constexpr float kScratchSize = 2048.0f;
constexpr int kBytesPerPixel = 4;
// Frame records that circulate, so the main thread captures while the thread compresses.
constexpr int kMinBuffers = 3;
// A recording stops only once this many frames came back from the thread. A run without
// a file counts no frames of its own: it keeps the count of the recording before it.
constexpr int kMinFrames = 3;
// The compressor gets a moment to settle before the first frame.
constexpr int kStartWaitMs = 1000;
// The stop looks at posted alerts between waits for the thread's echo.
constexpr int kStopSliceMs = 100;
constexpr int kMinSampleUnits = 1;
constexpr int kMaxSampleUnits = 60;

// The movie scratch texture: RGB from the scratch image, full resolution.
constexpr int kMovieTexFlags = 0x401;
const char* const kMovieTexName = "scratch_array-t_QT_movie";

// Recording label.
constexpr float kLabelX = 10.0f, kLabelY = 10.0f;
constexpr int kLabelColour = 57;
constexpr float kOneLine = 9999.0f;

const char* const kTakePrefix = "Kestrix movie take-";
const char* const kTakeSuffix = ".mov";

enum qtim_text {
	tx_label,
	tx_oops,
	tx_too_big,
	tx_vram,
	tx_exists,
	tx_cannot_finish,
	tx_create,
	tx_create_failed,
	tx_begin_media,
	tx_begin_media_failed,
	tx_begin_compress,
	tx_begin_compress_failed,
	tx_max_size,
	tx_max_size_failed,
	tx_compress,
	tx_compress_vendor,
	tx_add_sample,
	tx_add_sample_failed,
	tx_end_media,
	tx_end_media_failed,
	tx_insert_media,
	tx_insert_media_failed,
	tx_add_resource,
	tx_add_resource_failed,
	tx_assert,
	tx_assert_what,
	tx_assert_where,
	tx_assert_report,
};

const char* const kTexts[] = {
	"Quicktime Movie Recording...",
	"Oops!",
	"You can NOT record movies in Kestrix at any Kestrix resolution higher that 2048 x 2048!",
	"This limit is to keep the VRAM requirements of Kestrix down.",
	"Trying to create a movie but one already exists",
	"Cannot finish record of a movie that was not started!",
	"Could not CreateMovieFile to file: ",
	"(CreateMovieFile failed)",
	"Could not BeginMediaEdits.",
	"(BeginMediaEdits failed)",
	"Could not CompressSequenceBegin.",
	"(CompressSequenceBegin failed.)",
	"Could not GetMaxCompressionSize.",
	"(GetMaxCompressionSize failed.)",
	"Could not CompressSequenceFrame.",
	// The movie codecs here come from FFmpeg.
	"YOU HAVE TO INSTALL THE LATEST QUICKTIME WITH AUTHORING MODULE FROM https://ffmpeg.org/download.html!",
	"Could not AddMediaSample.",
	"AddMediaSample failed.",
	"Could not EndMediaEdits.",
	"(EndMediaEdits failed.)",
	"Could not InsertMediaIntoTrack.",
	"(InsertMediaIntoTrack failed.)",
	"Could not AddMovieResource.",
	"(AddMovieResource failed.)",
	"rel_assert Error! Possibly an out of range vector! Attach the debugger and see who called this!",
	"gCompressBuffer",
	"QT_Thread",
	"Please report this to Corvane Labs.",
};

const char* tx(qtim_text t) { return kTexts[t]; }

void alert(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4, int type)
{
	__DIDIVI_alert(0, l1, l2, l3, l4, type, "qtim", __LINE__);
}

int frame_bytes() { return qtim.width * qtim.height * kBytesPerPixel; }

// Clears the thread's flag however it ends, a quitting alert's unwind included.
struct thread_alive_mark {
	~thread_alive_mark() { qt_thread_alive.store(0); }
};

// What every way out of a stop (and an undone start) leaves: no pixel store, no
// pixel-pack buffer, idle.
void release_store()
{
	delete[] qt_array;
	qt_array = nullptr;
	if (pbo_id) {
		glExt.glDeleteBuffersARB(1, &pbo_id);
		pbo_id = 0;
	}
	pbo_has_data = 0;
	qtim.state = 0;
}

void take_back(void* item)
{
	if (item && item != qt_stop_echo) usable_buffers.push_back(static_cast<movie_frame_buf*>(item));
}

// The thread ended without its echo (a quitting alert ended it): every record it still
// held in its queues comes back, and the next start makes a new thread.
void reap_thread()
{
	UTL_thread_join(&qt_thread, &qt_thread_join);
	while (void* item = UTL_message_queue_read(q_to_thread, 0)) take_back(item);
	while (void* item = UTL_message_queue_read(q_from_thread, 0)) take_back(item);
	UTL_message_queue_destroy(q_to_thread);
	UTL_message_queue_destroy(q_from_thread);
	q_to_thread = q_from_thread = nullptr;
	qt_thread_made = 0;
}

// Sends the stop message and collects every record until the thread's echo. Waits in
// slices: between them the alerts the thread posted are shown (a quitting one ends the
// program), and a thread that has ended is not waited for.
void wait_for_thread()
{
	UTL_message_queue_write(q_to_thread, nullptr);
	for (;;) {
		void* item = UTL_message_queue_read(q_from_thread, kStopSliceMs);
		if (item == qt_stop_echo) return;
		if (item) {
			take_back(item);
			continue;
		}
		THREAD_check_exception(1);
		if (!qt_thread_alive.load()) {
			reap_thread();
			return;
		}
	}
}

void draw_movie_quad(float w_tex, float h_tex)
{
	// The copied window, flipped so that the read-back comes out top row first.
	const float x0 = mnw.dialog_x, y0 = mnw.dialog_y;
	const float x1 = x0 + qtim.width, y1 = y0 + qtim.height;
	glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
	glBegin(GL_QUADS);
	glTexCoord2f(0.0f, h_tex);
	glVertex2f(x0, y0);
	glTexCoord2f(0.0f, 0.0f);
	glVertex2f(x0, y1);
	glTexCoord2f(w_tex, 0.0f);
	glVertex2f(x1, y1);
	glTexCoord2f(w_tex, h_tex);
	glVertex2f(x1, y0);
	glEnd();
}

void compress_record(movie_frame_buf* rec)
{
	qt_movie_file* movie = gCurrentMovie;
	if (!movie || !movie->has_compress_buffer()) {
		alert(tx(tx_assert), tx(tx_assert_what), tx(tx_assert_where), tx(tx_assert_report), t_exit);
		return;
	}
	if (int err = movie->compress_frame(qt_array)) {
		mov_alert(tx(tx_compress), tx(tx_compress_vendor), tx(tx_begin_compress_failed), err);
		return;
	}
	if (int err = movie->add_sample(mov_sample_units(rec->duration)))
		mov_alert(tx(tx_add_sample), "", tx(tx_add_sample_failed), err);
}

}  // namespace

void* const qt_stop_echo = &stop_echo_marker;

qtim_class::qtim_class()
	: qt_usable(qt_movie_file::usable()), state(0), width(kDefaultWidth), height(0), fps(kDefaultFps),
	  frame_count(0)
{
}

qtim_class::~qtim_class() {}

float mov_frame_dt(float elapsed, float fps)
{
	const float period = 1.0f / fps;
	if (elapsed < period) return 0.0f;
	if (elapsed < 2.0f / fps) return period;
	return elapsed;
}

int mov_sample_units(float duration)
{
	const int units = static_cast<int>(duration * qt_time_scale);
	return std::clamp(units, kMinSampleUnits, kMaxSampleUnits);
}

void mov_alert(std::string line1, std::string line2, const char* line3, int err)
{
	char num[16];
	int_to_str(err, num, 1, 1);
	alert(line1, line2, line3 ? line3 : "", num, t_exit);
}

int qtim_class::mov_per_frame()
{
	if (state == 1) return mov_add_frame();
	if (state == 2) mov_toggle(0);
	return 0;
}

void qtim_class::mov_toggle(int mode)
{
	if (!qt_usable) return;
	OGL_setstate(fog_fals, 1, lit_fals, al_none, deR_fals, deW_fals);
	if (state == 0) {
		// Idle, a stop request has nothing to stop: starting "nothing" would only leave
		// a pixel store behind.
		if (mode == 0) return;
		state = mode;
		scratch_dx = scratch_dy = kMaxResolution;
		tman.load_texture(tex_fail_fatal, t_movie, kMovieTexFlags, tex_loaded, kMovieTexName);
		mov_startrecord();
		if (state == 0) tman.unload_texture(t_movie);
		return;
	}
	if (frame_count < kMinFrames) return;
	mov_stoprecord();
	tman.unload_texture(t_movie);
}

void mov_startrecord()
{
	if (!qt_thread_made) {
		qt_thread_made = 1;
		UTL_message_queue_create(&q_to_thread);
		UTL_message_queue_create(&q_from_thread);
		qt_thread_alive.store(1);
		THREAD_create(QT_Thread, nullptr, &qt_thread, &qt_thread_id, &qt_thread_join, 1);
	}
	if (mnw.res_x > kMaxResolution || mnw.res_y > kMaxResolution) {
		alert(tx(tx_oops), tx(tx_too_big), tx(tx_vram), "", t_alert);
		qtim.state = 0;
		return;
	}
	// The read-back takes the movie's rectangle from the window: it must fit in it.
	qtim.width = std::min(qtim.width, mnw.res_x);
	qtim.height = mnw.res_y * qtim.width / mnw.res_x;
	const int bytes = frame_bytes();
	delete[] qt_array;
	qt_array = new unsigned char[bytes];

	if (qtim.state == 1) {
		std::string name;
		do {
			++movie_take;
			name = kTakePrefix + std::to_string(movie_take) + kTakeSuffix;
		} while (file_exists(name));
		const std::string path = app_path + name;
		if (gCurrentMovie) {
			alert(tx(tx_exists), path, "", "", t_alert);
			release_store();
			return;
		}
		auto* movie = new qt_movie_file;
		int err = movie->create(path);
		if (!err) {
			err = movie->begin_media(qtim.width, qtim.height);
			if (err) {
				delete movie;
				release_store();
				mov_alert(tx(tx_begin_media), path, tx(tx_begin_media_failed), err);
				return;
			}
		} else {
			delete movie;
			release_store();
			mov_alert(tx(tx_create) + name, path, tx(tx_create_failed), err);
			return;
		}
		gCurrentMovie = movie;
		if (int e = movie->begin_compress(qtim.width, qtim.height))
			mov_alert(tx(tx_begin_compress), "", tx(tx_begin_compress_failed), e);
		if (int e = movie->make_compress_buffer(qtim.width, qtim.height))
			mov_alert(tx(tx_max_size), "", tx(tx_max_size_failed), e);
		UTL_sleep(kStartWaitMs);
		qtim.frame_count = 0;
	}

	start_mov_time = prev_frame_time = xtim.sim_time;
	while (usable_buffers.size() < kMinBuffers) usable_buffers.push_back(new movie_frame_buf{0.0f, nullptr, 0});
	for (movie_frame_buf* b : usable_buffers) {
		if (b->size == bytes) continue;
		delete[] b->block;
		b->block = new unsigned char[bytes];
		b->size = bytes;
	}
	if (glExt.pbo_avail && mnw.pixel_format_level == 0) {
		glExt.glGenBuffersARB(1, &pbo_id);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		glExt.glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, bytes, nullptr, GL_STREAM_READ_ARB);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	}
}

int qtim_class::mov_add_frame()
{
	const float now = xtim.sim_time;
	if (now == start_mov_time) return 0;
	while (void* item = UTL_message_queue_read(q_from_thread, 0)) {
		take_back(item);
		++frame_count;
	}
	const float dt = mov_frame_dt(now - prev_frame_time, fps);
	if (usable_buffers.empty() || dt == 0.0f) {
		draw_record_lgt();
		OGL_sbuff();
		return 1;
	}
	prev_frame_time += dt;
	movie_frame_buf* rec = usable_buffers.front();
	const int bytes = frame_bytes();
	const bool use_pbo = pbo_id != 0;

	// The pixel-pack buffer holds the previous frame: fetch it before reading this one.
	if (use_pbo && pbo_has_data) {
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		glExt.glGetBufferSubDataARB(GL_PIXEL_PACK_BUFFER_ARB, 0, bytes, rec->block);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	}

	OGL_setstate(fog_fals, 1, lit_fals, al_none, deR_fals, deW_fals);
	tman.bind_ref(t_movie, 0, 0);
	const int w = std::clamp(mnw.res_x, 0, kMaxResolution);
	const int h = std::clamp(mnw.res_y, 0, kMaxResolution);
	glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);

	// The displayed frame carries the label, the recorded one does not.
	draw_record_lgt();
	OGL_sbuff();

	// The label bound the font and changed the state: the same state and ref 409 again.
	OGL_setstate(fog_fals, 1, lit_fals, al_none, deR_fals, deW_fals);
	tman.bind_ref(t_movie, 0, 0);
	draw_movie_quad(w / kScratchSize, h / kScratchSize);
	glPixelStorei(GL_PACK_ALIGNMENT, kBytesPerPixel);
	if (use_pbo) {
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, pbo_id);
		glReadPixels(0, 0, qtim.width, qtim.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
		glExt.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
	} else {
		glReadPixels(0, 0, qtim.width, qtim.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rec->block);
	}

	rec->duration = dt;
	// The first frame of the pixel-pack path is only read; it goes out with the next.
	if (!use_pbo || pbo_has_data) {
		usable_buffers.pop_front();
		UTL_message_queue_write(q_to_thread, rec);
	}
	pbo_has_data = 1;
	return 1;
}

void qtim_class::draw_record_lgt()
{
	OGL_string(kLabelColour, kLabelX, kLabelY, tx(tx_label), kOneLine, charset_UI_diff_space, 0);
}

void* QT_Thread(void*)
{
	thread_alive_mark alive;
	for (;;) {
		void* item = UTL_message_queue_read(q_to_thread, -1);
		if (!item) {
			// Every stop message is answered, whatever the state and whether a frame
			// came first: the stop waits for it. The word is read before the echo, after
			// which the main thread may change it.
			const int keep = control_value;
			UTL_message_queue_write(q_from_thread, qt_stop_echo);
			if (keep == 0) return nullptr;
			continue;
		}
		auto* rec = static_cast<movie_frame_buf*>(item);
		std::memcpy(qt_array, rec->block, frame_bytes());
		if (qtim.state == 1) compress_record(rec);
		UTL_message_queue_write(q_from_thread, rec);
	}
}

void mov_stoprecord()
{
	control_value = 1;
	if (qt_thread_made) wait_for_thread();
	if (qtim.state == 1) {
		if (!gCurrentMovie) {
			release_store();
			alert(tx(tx_cannot_finish), "", "", "", t_alert);
			return;
		}
		qt_movie_file* movie = gCurrentMovie;
		gCurrentMovie = nullptr;
		movie->end_compress();
		// The movie is finished step by step; the first step that fails is the one told.
		struct finish_step {
			int (qt_movie_file::*run)();
			qtim_text what, failed;
		};
		static const finish_step steps[] = {
			{&qt_movie_file::end_media, tx_end_media, tx_end_media_failed},
			{&qt_movie_file::insert_media, tx_insert_media, tx_insert_media_failed},
			{&qt_movie_file::finish, tx_add_resource, tx_add_resource_failed},
		};
		for (const finish_step& step : steps) {
			if (int err = (movie->*step.run)()) {
				delete movie;
				release_store();
				mov_alert(tx(step.what), "", tx(step.failed), err);
				return;
			}
		}
		delete movie;
	}
	release_store();
}

void qtim_class::stop_thread()
{
	if (state != 0) mov_stoprecord();
	if (!qt_thread_made) return;
	control_value = 0;
	UTL_message_queue_write(q_to_thread, nullptr);
	UTL_thread_join(&qt_thread, &qt_thread_join);
	UTL_message_queue_destroy(q_to_thread);
	UTL_message_queue_destroy(q_from_thread);
	q_to_thread = q_from_thread = nullptr;
	qt_thread_made = 0;
}
