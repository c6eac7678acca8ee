#pragma once
// Shared set-up of the engine tests: a private folder, the engine's globals back at
// their start values, and small builders for file lists and file models.
#include <gtest/gtest.h>
#include <md5.h>
#include <sys/stat.h>

#include <string>

#include "engine/engine.h"
#include "runtime/rec_stg.h"
#include "support/test_env.h"

namespace kx_engine_test {

inline std::string md5_of(const std::string& bytes)
{
	char hex[MD5_DIGEST_STRING_LENGTH];
	MD5Data(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), hex);
	return hex;
}

// The header the builder writes, then the body.
inline std::string file_list(const std::string& body, int version = 900)
{
	return "I\n" + std::to_string(version) + " version\nINSTALLER\n\n" + body;
}

// One FILE line as the builder writes it.
inline std::string file_line(int platform, const std::string& sig, const std::string& name, int zip = 1,
                             int size = 2, int version = 91001)
{
	return "FILE 0 " + std::to_string(platform) + " " + std::to_string(version) + " " + std::to_string(zip) +
	       " " + std::to_string(size) + " " + sig + " " + name + "\n";
}

inline file_version_struct version_of(const std::string& path, const std::string& sig, int platform = 0)
{
	file_version_struct v;
	v.path = path;
	v.sig = sig;
	v.platform = platform;
	return v;
}

// The copy at dest_dir_path as its scan leaves it for a run into it: the folder is
// there and is the one the scan looked at. The file model stays the test's own.
inline void as_scanned()
{
	::mkdir(dest_dir_path.c_str(), 0755);
	ENG_note_scanned_copy();
}

inline void reset_engine_globals()
{
	sim_info.clear();
	deleted_files.clear();
	dest_dir_path.clear();
	g_want_sim = 1;
	g_want_global = 1;
	stg = stg_struct{};
	stg.target_os = 3;
}

// Every engine test starts from the start values and a private folder.
class EngineTest : public ::testing::Test {
protected:
	EngineTest() { reset_engine_globals(); }
	~EngineTest() override
	{
		checksum_directory_kill();
		reset_engine_globals();
	}
	kx_test::TempEnv env;
};

}  // namespace kx_engine_test
