#pragma once
// Shared set-up of the web families' headless tests: the wizard's globals at their start
// values, a loopback HTTP server reached as the maker's host and the update servers
// through the proxy setting, a frame clock driven by hand, and alerts and the log
// recorded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/utils_net.h"
#include "runtime/hl_product.h"
#include "runtime/http.h"
#include "runtime/xtim.h"
#include "support/archive_tools.h"
#include "support/gl_world.h"
#include "support/loopback_http.h"
#include "wizard/main_web.h"
#include "../wizard_fixture.h"

namespace kx_web_test {

using kx_wizard_test::kProduct;

inline int g_url_calls = 0;
inline std::string g_url;
inline int recording_url(std::string url)
{
	++g_url_calls;
	g_url = url;
	return 0;
}

// A server list in the maker's format.
inline std::string server_list(const std::string& body, int version = 820)
{
	return "I\n" + std::to_string(version) + " version\nSERVERS\n\n" + body;
}

// One SERVER entry.
inline std::string server_entry(const std::string& host, const std::string& path, const std::string& desc)
{
	return "SERVER " + host + "\n" + path + "\n" + desc + "\n";
}

// The platforms a Linux copy holds: every platform, Linux, Linux of the shared tree.
inline bool installed_here(int platform) { return platform == 0 || platform == 3 || platform == 6; }

// Every file of the list read last is on disk in `copy` as that list wants it: present
// with its digest, or absent when the list dropped it or it belongs to another platform.
inline void expect_copy_matches_list(const std::string& copy)
{
	int checked = 0;
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& w = h.back();
		std::string rel = w.path;
		trim_dest_folder(rel);
		if (w.sig == "GONE" || !installed_here(w.platform)) {
			EXPECT_FALSE(kx_test::path_exists(copy + rel)) << rel;
			continue;
		}
		std::string digest;
		ASSERT_EQ(calc_file_md5(copy + rel, digest), 0) << rel;
		EXPECT_EQ(digest, w.sig) << rel;
		++checked;
	}
	EXPECT_GT(checked, 10);
}

class WebTest : public kx_wizard_test::WizardTest {
protected:
	WebTest() : log(env.path("log.txt"))
	{
		http.proxy_host = "127.0.0.1";
		http.proxy_port_int = server.port();
		xtim.elapsed = 1000.0f;
		old_url = ENG_set_go_to_URL_hook(recording_url);
		g_url_calls = 0;
		g_url.clear();
		install_name = "unset";
		stg.server_count = -1;
		stg.dir_state = 0;
		next = next_struct{};
		accept_eula_demo = 0;
		demo_install_is_running = 0;
	}
	~WebTest() override
	{
		for (int s = 0; s < http_slot_count; ++s) http.cancel(s);
		http.proxy_host.clear();
		http.proxy_port_int = 0;
		ENG_set_go_to_URL_hook(old_url);
		next = next_struct{};
		for (auto& d : server_desc) d.clear();
		for (auto& n : server_name) n.clear();
		for (auto& p : server_path) p.clear();
		demo_install_is_running = 0;
		accept_eula_demo = 0;
	}

	void serve_list(const std::string& text) { server.route(maker_web_host, web_server_list_path, reply(text)); }
	static kx_test::HttpReply reply(const std::string& body, int status = 200)
	{
		kx_test::HttpReply r;
		r.body = body;
		r.status = status;
		if (status != 200) r.reason = "Not Found";
		return r;
	}
	// A zipped file list made by our own writer, served at host + path.
	void serve_dir(const std::string& host, const std::string& path, const std::string& list_text)
	{
		const std::string work = env.path("zipwork/");
		kx_test::remove_tree(work);
		kx_test::write_file(work + "directory.txt", list_text);
		ASSERT_EQ(file_to_zip(work + "directory.txt", work + "directory.txt.zip"), 0);
		kx_test::HttpReply r;
		r.file = env.path("served_") + std::to_string(served++) + ".zip";
		ASSERT_EQ(::rename((work + "directory.txt.zip").c_str(), r.file.c_str()), 0);
		server.route(host, path, r);
	}
	// A good file list of one file.
	static std::string good_list()
	{
		return kx_engine_test::file_list("DIR All/\nDISK 0\n" +
		                                 kx_engine_test::file_line(0, kx_engine_test::md5_of("x"), "a.txt"));
	}

	// Calls UTL_download_directory once per frame, the clock moving `dt` a frame, until
	// `done` holds; false when ten seconds of real time were not enough.
	template <class Pred>
	bool step_until(Pred done, float dt = 0.02f)
	{
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
		while (!done()) {
			if (std::chrono::steady_clock::now() > until) return false;
			UTL_download_directory();
			xtim.elapsed += dt;
			std::this_thread::sleep_for(std::chrono::microseconds(300));
		}
		return true;
	}

	// The screens draw with the real widgets and text, which need a context.
	std::unique_ptr<GlTestContext> world = open_gl_world(800, 600);
	kx_test::LogCapture log;
	kx_test::AlertRecorder alerts;
	kx_test::LoopbackHttp server;
	ENG_url_fn old_url = nullptr;
	int served = 0;
};

}  // namespace kx_web_test
