#pragma once
// A scenery tree of its own for each test: the test runs inside a private folder (the
// library's paths are relative to it), the log goes to log.txt there and alerts are
// recorded.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "extras/io_locate.h"
#include "runtime/hl_globals.h"
#include "support/test_env.h"

class SceneryTest : public ::testing::Test {
protected:
	kx_test::TempEnv env;
	kx_test::AlertRecorder alerts;

	void SetUp() override
	{
		char buf[4096];
		ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
		old_cwd_ = buf;
		ASSERT_EQ(chdir(env.root().c_str()), 0);
		xer.open(env.path("log.txt"));
		dsf_library.clear();
		dsf_regions.clear();
		scenery_packages.clear();
		package_problems.clear();
		package_is_custom.clear();
		std::fill(std::begin(randrat), std::end(randrat), 0.0f);
	}

	void TearDown() override
	{
		xer.close();
		ASSERT_EQ(chdir(old_cwd_.c_str()), 0);
	}

	std::string log()
	{
		xer.flush();
		return kx_test::read_file(env.path("log.txt"));
	}

	// A folder (made with its parents).
	void folder(const std::string& rel) { ASSERT_TRUE(kx_test::write_file(env.path(rel + "/.keep"), "")); }
	void file(const std::string& rel, const std::string& data = "x")
	{
		ASSERT_TRUE(kx_test::write_file(env.path(rel), data));
	}
	// A library file with a good header.
	static std::string library(const std::string& body) { return "I\n800 version\nLIBRARY\n\n" + body; }
	void write_library(const std::string& package, const std::string& body) { file(package + "library.txt", library(body)); }

	// The "***Error with scenery file" entries of the log, in order: the scenery file
	// each names and its message. Each entry must have the whole form
	// ***Error with scenery file "<file>" (VAvered/Files/io_locate: <line>.)\n  <message>\n
	std::vector<std::pair<std::string, std::string>> problem_entries()
	{
		const std::string head = "***Error with scenery file \"";
		const std::string src = "\" (VAvered/Files/io_locate: ";
		std::vector<std::pair<std::string, std::string>> out;
		const std::string text = log();
		for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
			const size_t file_end = text.find(src, at + head.size());
			const size_t eol = text.find('\n', at);
			EXPECT_LT(file_end, eol);
			if (file_end >= eol) continue;
			const std::string where = text.substr(file_end + src.size(), eol - file_end - src.size());
			EXPECT_TRUE(where.size() > 2 && where.substr(where.size() - 2) == ".)" &&
			            where.find_first_not_of("0123456789") == where.size() - 2)
			    << where;
			EXPECT_EQ(text.compare(eol + 1, 2, "  "), 0);
			const size_t msg_end = text.find('\n', eol + 1);
			out.emplace_back(text.substr(at + head.size(), file_end - at - head.size()),
			                 text.substr(eol + 3, msg_end - eol - 3));
		}
		return out;
	}
	// The messages of the entries, each checked to name this scenery file.
	std::vector<std::string> problems(const std::string& scenery_file)
	{
		std::vector<std::string> out;
		for (const auto& [f, m] : problem_entries()) {
			EXPECT_EQ(f, scenery_file);
			out.push_back(m);
		}
		return out;
	}

	// An export registered by hand.
	static lib_entry* entry(int package, unsigned flags, unsigned ratio, const std::string& real,
	                        lib_region* region = nullptr)
	{
		lib_entry* e = new lib_entry;
		e->next = nullptr;
		e->region = region;
		e->package = package;
		e->ratio = ratio;
		e->flags = flags;
		e->real_path = real;
		owned_.push_back(e);
		return e;
	}

	static std::vector<std::string> chain_of(const std::string& vpath)
	{
		std::vector<std::string> out;
		auto it = dsf_library.find(vpath);
		if (it == dsf_library.end()) return out;
		for (lib_entry* e = it->second; e; e = e->next) out.push_back(e->real_path);
		return out;
	}

	static int cells_set(const lib_region* r)
	{
		return static_cast<int>(std::count(std::begin(r->cells), std::end(r->cells), true));
	}

	static void TearDownTestSuite()
	{
		for (lib_entry* e : owned_) delete e;
		owned_.clear();
	}

	// A grey PNG written through libpng, rows top first as the file keeps them.
	static bool write_grey_png(const std::string& path, int w, int h, const std::vector<unsigned char>& pixels)
	{
		png_image img;
		std::memset(&img, 0, sizeof img);
		img.version = PNG_IMAGE_VERSION;
		img.width = static_cast<png_uint_32>(w);
		img.height = static_cast<png_uint_32>(h);
		img.format = PNG_FORMAT_GRAY;
		return png_image_write_to_file(&img, path.c_str(), 0, pixels.data(), w, nullptr) != 0;
	}

private:
	std::string old_cwd_;
	static inline std::vector<lib_entry*> owned_;
};
