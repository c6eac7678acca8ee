#pragma once
// OGLE: the editing engine behind the text field. It keeps a selection, the wrapped
// line starts and the caret's preferred column for one block of text, and does every
// edit, click, drag, wrap, scroll and draw through thirteen callbacks of its owner: it
// owns no text and draws nothing itself, so any text store and any renderer can use it.
//
// Positions are character offsets (0 .. length). Coordinates are the callbacks', y
// upwards; line 0 is the top line and line i fills the band from
// top - (i + 1) * line height to top - i * line height of the logical bounds.
#include <vector>

struct OGLE_Rec;

// Left, bottom, right, top.
typedef void (*OGLE_GetVisibleBounds_f)(OGLE_Rec* rec, float bounds[4]);
typedef void (*OGLE_GetLogicalBounds_f)(OGLE_Rec* rec, float bounds[4]);
typedef void (*OGLE_SetLogicalHeight_f)(OGLE_Rec* rec, float height);
// Moves the logical area so that it lies by these x and y offsets from the visible one.
typedef void (*OGLE_ScrollTo_f)(OGLE_Rec* rec, float point[2]);
typedef void (*OGLE_GetText_f)(OGLE_Rec* rec, const char** begin, const char** end);
typedef void (*OGLE_ReplaceText_f)(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end);
typedef float (*OGLE_GetLineHeight_f)(OGLE_Rec* rec);
typedef float (*OGLE_MeasureString_f)(OGLE_Rec* rec, const char* begin, const char* end);
typedef int (*OGLE_FitStringFwd_f)(OGLE_Rec* rec, const char* begin, const char* end, float width);
typedef int (*OGLE_FitStringRev_f)(OGLE_Rec* rec, const char* begin, const char* end, float width);
typedef void (*OGLE_DrawString_f)(OGLE_Rec* rec, const char* begin, const char* end, float x, float y);
// A rectangle of zero width is the caret.
typedef void (*OGLE_DrawSelection_f)(OGLE_Rec* rec, float rect[4]);
// The end of the next word: white space, then the word.
typedef const char* (*OGLE_WordBreak_f)(OGLE_Rec* rec, const char* begin, const char* end);

// The callbacks in record order, as OGLE_Create takes them.
struct OGLE_Callbacks {
	OGLE_GetVisibleBounds_f GetVisibleBounds;
	OGLE_GetLogicalBounds_f GetLogicalBounds;
	OGLE_SetLogicalHeight_f SetLogicalHeight;
	OGLE_ScrollTo_f ScrollTo;
	OGLE_GetText_f GetText;
	OGLE_ReplaceText_f ReplaceText;
	OGLE_GetLineHeight_f GetLineHeight;
	OGLE_MeasureString_f MeasureString;
	OGLE_FitStringFwd_f FitStringFwd;
	OGLE_FitStringRev_f FitStringRev;
	OGLE_DrawString_f DrawString;
	OGLE_DrawSelection_f DrawSelection;
	OGLE_WordBreak_f WordBreak;
};

// The record: the owner's callbacks first, then the engine's own state.
struct OGLE_Rec : OGLE_Callbacks {
	void* refcon;
	std::vector<int> line_starts;  // entry 0 is 0 once wrapped
	int sel_start;
	int sel_end;                   // sel_start <= sel_end after every operation
	int active_end;                // 1: the end moves when extending, 0: the start
	float preferred_x;             // the caret's column for up and down; -1 none
};

// Editing keys OGLE_Key understands; every other code is typed.
enum {
	ogle_key_backspace = 8,
	ogle_key_left = 28,
	ogle_key_right = 29,
	ogle_key_up = 30,
	ogle_key_down = 31,
};

OGLE_Rec* OGLE_Create(const OGLE_Callbacks& callbacks, void* refcon);
void OGLE_Destroy(OGLE_Rec* rec);
void* OGLE_GetRef(OGLE_Rec* rec);

void OGLE_GetSelection(OGLE_Rec* rec, int* start, int* end);
void OGLE_SetSelection(OGLE_Rec* rec, int start, int end);

void OGLE_Click(OGLE_Rec* rec, float x, float y, int extend);
void OGLE_Drag(OGLE_Rec* rec, float x, float y);
void OGLE_Key(OGLE_Rec* rec, char code, int extend);
void OGLE_ReplaceText(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end);
void OGLE_Repaginate(OGLE_Rec* rec);
void OGLE_RevealSelection(OGLE_Rec* rec);
void OGLE_Draw(OGLE_Rec* rec, int draw_caret);

// The geometry queries the operations are built from, open for their tests.
int OGLE_CharPosToLine(OGLE_Rec* rec, int pos);
int OGLE_CoordToCharPos(OGLE_Rec* rec, float x, float y);
int OGLE_CharPosVerticalAdjust(OGLE_Rec* rec, int pos, int delta, float* preferred_x);

// The same engine as an object: the callbacks become pure virtual operations.
class OGLE {
public:
	OGLE();
	virtual ~OGLE();
	OGLE(const OGLE&) = delete;
	OGLE& operator=(const OGLE&) = delete;

	virtual void GetVisibleBounds(float bounds[4]) = 0;
	virtual void GetLogicalBounds(float bounds[4]) = 0;
	virtual void SetLogicalHeight(float height) = 0;
	virtual void ScrollTo(float point[2]) = 0;
	virtual void GetText(const char** begin, const char** end) = 0;
	virtual void ReplaceText(int start, int end, const char* new_begin, const char* new_end) = 0;
	virtual float GetLineHeight() = 0;
	virtual float MeasureString(const char* begin, const char* end) = 0;
	virtual int FitStringFwd(const char* begin, const char* end, float width) = 0;
	virtual int FitStringRev(const char* begin, const char* end, float width) = 0;
	virtual void DrawString(const char* begin, const char* end, float x, float y) = 0;
	virtual void DrawSelection(float rect[4]) = 0;
	virtual const char* WordBreak(const char* begin, const char* end) = 0;
	// A slot nothing in the program calls; owners need not give it a meaning.
	virtual void Reserved() {}

	void Key(char code, int extend);
	void Repaginate();
	void RevealSelection();
	void Draw(int draw_caret);
	void Click(float x, float y, int extend);
	void Drag(float x, float y);
	void GetSelection(int* start, int* end);
	void SetSelection(int start, int end);
	void DoReplaceText(int start, int end, const char* new_begin, const char* new_end);

	static void GetVisibleBoundsCB(OGLE_Rec* rec, float bounds[4]);
	static void GetLogicalBoundsCB(OGLE_Rec* rec, float bounds[4]);
	static void SetLogicalHeightCB(OGLE_Rec* rec, float height);
	static void ScrollToCB(OGLE_Rec* rec, float point[2]);
	static void GetTextCB(OGLE_Rec* rec, const char** begin, const char** end);
	static void ReplaceTextCB(OGLE_Rec* rec, int start, int end, const char* new_begin, const char* new_end);
	static float GetLineHeightCB(OGLE_Rec* rec);
	static float MeasureStringCB(OGLE_Rec* rec, const char* begin, const char* end);
	static int FitStringFwdCB(OGLE_Rec* rec, const char* begin, const char* end, float width);
	static int FitStringRevCB(OGLE_Rec* rec, const char* begin, const char* end, float width);
	static void DrawStringCB(OGLE_Rec* rec, const char* begin, const char* end, float x, float y);
	static void DrawSelectionCB(OGLE_Rec* rec, float rect[4]);
	static const char* WordBreakCB(OGLE_Rec* rec, const char* begin, const char* end);

private:
	OGLE_Rec* rec_;
};
