#pragma once
// The palette `colr`: the single colour authority of the interface. Drawing calls name a
// colour by its index; the drawing layer looks it up here. The frame clock writes the
// pulsing entries 79..84 and `pulse` every frame; start-up fills the interface colours
// 34..47 from the interface atlas.

constexpr int colr_palette_size = 105;
constexpr int colr_spectrum_size = 1000;

class colr_class {
public:
	colr_class();

	// Stores palette entry i (each channel 0..1); an index outside 0..104 is ignored.
	void assign(int i, float r, float g, float b);
	void set_lites_for_interface();
	void spectrum_init(int mode);
	void spectrum_plotscale(float x, float y, float lo, float hi, int decimals);

	double image_gamma;    // gamma assumed for image files that carry none
	double display_gamma;  // screen gamma handed to the PNG loader
	int gamma_on;          // 1 when display_gamma differs from 1.8
	unsigned char gamma_table[256];
	float palette[colr_palette_size][3];
	float lites[3];  // light levels for red, green, blue; scale entries 0..45 when drawn
	float pulse;     // current pulse brightness, written by the frame clock
	float spec_lo;
	float spec_hi;
	float spec_range;
	float spectrum[colr_spectrum_size][3];
};

extern colr_class colr;

// Sets the pulsing highlight colours 79..84 and `pulse` from the pulse brightness p;
// start-up hands it to the frame clock (xtim_set_pulse_hook), which calls it each frame.
void colr_pulse(float p);

// The spectrum entry of value v on a scale from lo over range: the quotient
// (v - lo) / range x 1000 cut to 0..999; a quotient that is not finite or is below 0
// gives entry 0.
int spectrum_index(float v, float lo, float range);
