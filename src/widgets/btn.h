#pragma once
// The immediate-mode widget calls that the shell, the engine's questions and the frame
// clock use. Every call draws, hit-tests and returns its result within one frame;
// positions are interface units relative to the current dialog origin. Labels are label
// markup.
#include <string>

// Keyboard focus ring.
void BTN_begin_focus_ring();
void BTN_unfocus_any();
// Offers one key event (flags: 1 shift, 2 option, 4 control, 8 key down, 16 key up);
// returns 1 when it was consumed.
int BTN_dispatch_to_focus(int character, int vkey, int flags);

// Label parts and chrome.
void BTN_expand_label(const std::string& label, std::string* text, std::string* mid, std::string* tail);
// align 0: the text ends at x; 1: centred on x; 2: starts at x.
void BTN_util_draw_label(float x, float y, int align, const std::string& text, int highlight);
void BTN_frame0(int style, float x, float y, float length);

// Frames and panels.
void BTN_fillwin(int flag, int kind);
void BTN_frame1(int style, float x, float y, float width, int colour);
void BTN_frame2(int style, float x, float y, float width, float height, std::string title);
void BTN_subwin(float reserve, int style, float x, float y, float width, float height, std::string title,
                float* next_x, float* next_y);
void BTN_util_element(float x, float y, float s, float t, float half_w, float half_h, int colour);
int BTN_zap_boxes(int state);

// Buttons.
int BTN_action(float x, float y, float width, int down, int mode, std::string label, std::string side_text);
int BTN_bool(float x, float y, int* value, std::string label, int radio);
int BTN_is_int(float x, float y, int* value, int option, std::string label);
int BTN_xbol(float x, float y, bool* value, std::string label);
int BTN_xchr(float x, float y, char* value, std::string label);
int BTN_xbyt(float x, float y, unsigned char* value, std::string label);

// The one-line text field; 1 when the text changed in this call. The character-array
// form works on an array of at least 500 bytes.
int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label, float width,
                    int take_focus);
int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float width, int take_focus);

// Sliders. The vertical one edits an int, min at the top; index is its slot (0..3) in
// `slider_grabbed`, 1 while its thumb is held. The horizontal one edits a float.
constexpr int btn_slider_count = 4;
extern int slider_grabbed[btn_slider_count];
int BTN_vert_slider(int index, float x, float bottom, float top, int min, int max, int* value);
int BTN_horz_slider(float x, float y, float width, int colour, float min, float max, float* value, int enabled,
                    std::string label, std::string caption);
// The horizontal slider's fill length for a fill of f units.
int BTN_horz_fill_width(float f);

// Digit-wheel numeric fields; 1 when a key or click changed the value this frame.
int BTN_flt_range(float x, float y, float* value, int digits, int decimals, float min, float max, std::string label);
int BTN_flt(float x, float y, float* value, int digits, int decimals, int allow_negative, std::string label);
int BTN_dob_range(float x, float y, double* value, int digits, int decimals, float min, float max, std::string label);
int BTN_int_range(float x, float y, int* value, int digits, float min, float max, std::string label);
int BTN_int(float x, float y, int* value, int digits, int allow_negative, std::string label);
int BTN_fltij(int col, int row, float* value, int digits, int decimals, int allow_negative, std::string label);
int BTN_flt_rangeij(int col, int row, float* value, int digits, int decimals, float min, float max,
                    std::string label);
void BTN_display_number(float x, float y, float value, int digits, int decimals, std::string label);
void BTN_chars(float x, float y, char* chars, int count, std::string label);
// The largest value a field of this many digits shows.
float BTN_digits_max(int digits, int decimals);

// Tabs, the compass dial, the browser's side panels, latitude and longitude rows.
extern float io_cx, io_cy, io_dx, io_dy;
int BTN_tab(int column, int row, int* selected, int id, std::string label);
void plot_dir(float x, float y, float* heading, int style);
// The dial's heading for the mouse dx, dy from its centre: 0 up, clockwise.
float BTN_dial_heading(float dx, float dy);
void stand_io_dialog(int open_save, int file_type, std::string path);
int enter_lat_lon(float* x, float* y, float* lon, float* lat);

// The scrolling list with type-ahead; 1 when a row was double-clicked this frame.
using BTN_name_fn = std::string (*)(int index, void* ref);
using BTN_type_fn = int (*)(int index, void* ref);
int BTN_list_and_search(int slider_index, float x, float y, float width, float height, int* scroll, int* selection,
                        int first, int last, std::string* search_text, std::string label, BTN_name_fn name_fn,
                        void* name_ref, BTN_name_fn name2_fn, void* name2_ref, BTN_type_fn type_fn, void* type_ref);
std::string BTN_name_from_vector(int index, void* ref);
int BTN_type_from_vector(int index, void* ref);

// Path fields with the desktop's folder chooser; 1 in the frame a chosen path arrived.
int BTN_select_path_stl(float x, float y, int open_save, int file_type, std::string* path, int max_len,
                        std::string label, float width, int take_focus);
int BTN_select_file_chr(float x, float y, int open_save, int file_type, char* name, std::string* folder,
                        int max_len, std::string label, float width);
int BTN_select_path_chr(float x, float y, int open_save, int file_type, char* path, int max_len, std::string label,
                        float width, int take_focus);

// The modal open (998) or save (999) dialog; 1 with *path set on a pick or a name.
int BTN_opensave(int open_save, int file_type, std::string* path);

// The pop-up list: opens menu slot 1519 of `menu` with its items.
int BTN_textlist(float x, float y, int* selection, std::string items, std::string label);
