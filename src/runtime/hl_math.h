#pragma once
// The shared header block. Every unit that includes this header gets its own private
// copy of these variables, set by that unit's static initialiser; a change to one
// unit's copy changes no other. The installer reads only build_name, no_install_name,
// degtorad and radtodeg; the rest serve the simulator side of the framework.
// All floats are 32-bit; the conversion names read from-unit "to" to-unit.
#include <string>

[[maybe_unused]] static float littogal = 0.264172018f;
[[maybe_unused]] static float kgstolbs = 2.20462203f;
[[maybe_unused]] static float mtrstoft = 3.28083992f;
[[maybe_unused]] static float watttohp = 0.00134102185f;
[[maybe_unused]] static float radtodeg = 57.2957764f;
[[maybe_unused]] static float degtorad = 0.0174532942f;
[[maybe_unused]] static float fpstokts = 0.592483819f;
[[maybe_unused]] static float ktstomsc = 0.51444447f;
[[maybe_unused]] static float msctokts = 1.94384444f;
[[maybe_unused]] static float rpmtorsc = 0.104719765f;
[[maybe_unused]] static float rsctorpm = 9.54929543f;
[[maybe_unused]] static float fpmtomsc = 0.00508000003f;
[[maybe_unused]] static float msctofpm = 196.850388f;
[[maybe_unused]] static float nmtomtrs = 1852.0f;
[[maybe_unused]] static float mtrstonm = 0.000539956789f;
[[maybe_unused]] static float smtomtrs = 1609.34399f;
[[maybe_unused]] static float mtrstosm = 0.000621371204f;
[[maybe_unused]] static float lbhtokgs = 0.000125997918f;
[[maybe_unused]] static float pastopsi = 0.000145032638f;
[[maybe_unused]] static float mphtomsc = 0.447039992f;
[[maybe_unused]] static float scn_vis_ele = 30480.0f;
[[maybe_unused]] static float gls_deg_per_dot = 0.28f;
[[maybe_unused]] static float sftosmtr = 0.0929030403f;
[[maybe_unused]] static float smtrtosf = 10.7639103f;
[[maybe_unused]] static float lbstontn = 4.44442654f;
[[maybe_unused]] static float ntntolbs = 0.225000903f;
[[maybe_unused]] static float ftlbtonm = 1.35466123f;
[[maybe_unused]] static float nmtoftlb = 0.738191962f;
[[maybe_unused]] static float endtomed = 514.939087f;
[[maybe_unused]] static float medtoend = 0.0019419773f;
[[maybe_unused]] static float enptomep = 47.8394089f;
[[maybe_unused]] static float meptoenp = 0.0209032688f;
[[maybe_unused]] static float enItomtI = 0.0421401225f;
[[maybe_unused]] static float mtltoenl = 23.7303543f;
[[maybe_unused]] static float pasto_hg = 0.000295287435f;
[[maybe_unused]] static float hg_topas = 3386.53076f;
[[maybe_unused]] static float milto_hg = 0.0295287427f;
[[maybe_unused]] static float hg_tomil = 33.8653107f;
[[maybe_unused]] static float sm_to_nm = 0.868976235f;
[[maybe_unused]] static float kgstolbh = 7936.63916f;
[[maybe_unused]] static float msctomph = 2.23693633f;
[[maybe_unused]] static float kgstopph = 7936.63916f;  // the same value as kgstolbh
[[maybe_unused]] static float loc_deg_per_dot = 1.2f;
[[maybe_unused]] static float prd_min = 0.000990099041f;  // 1/1010

[[maybe_unused]] static std::string afl_path = "Airfoils/";
[[maybe_unused]] static std::string wpn_path = "Weapons/";
[[maybe_unused]] static std::string apt_path_def = "LOWI";  // default airport identifier
[[maybe_unused]] static std::string acf_path = "Aircraft/";
[[maybe_unused]] static std::string acf_path_def = acf_path + "General Aviation/Kestrel 172/K172.acf";
[[maybe_unused]] static std::string no_install_name = "Not Yet Scanned";
[[maybe_unused]] static std::string data_path = "Resources/default data/";
// The first entry is the product build name; the HTTP client's User-agent ends with its
// last four characters.
[[maybe_unused]] static std::string build_name[3] = {"Kestrix 9.10r1", "Zira", "Devu"};
