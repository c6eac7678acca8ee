// The engine's questions write their modal lines to the screen trace when they open.
#include <gtest/gtest.h>

#include "engine/install.h"
#include "support/test_env.h"

using kx_test::read_file;
using kx_test::ScopedEnvVar;
using kx_test::TempEnv;

namespace {
int answer_keep(std::string, int) { return 2; }
int answer_first(std::string, std::string, std::string, std::string, std::string) { return 1; }
}  // namespace

TEST(QuestionTrace, BothQuestionsWriteAModalLine)
{
	TempEnv env;
	const std::string file = env.path("trace.jsonl");
	ScopedEnvVar on("KESTRIX_SCREEN_TRACE", file.c_str());
	// No window to ask in: nothing opened, nothing written.
	const select_alert_fn old_select = ENG_set_select_alert_hook(nullptr);
	const abort_alert_fn old_abort = ENG_set_abort_alert_hook(nullptr);
	EXPECT_EQ(select_alert("/x/a.txt", 0), 3);
	EXPECT_EQ(read_file(file), "");

	ENG_set_select_alert_hook(answer_keep);
	ENG_set_abort_alert_hook(answer_first);
	// A path comes in UTF-8 and is shown in the font's letters: é kept, ü and a Japanese
	// letter one '?' each.
	EXPECT_EQ(select_alert("/x/caf\xC3\xA9 \xC3\xBC\xE3\x81\x82.txt", 1), 2);
	EXPECT_EQ(abort_alert("Are you sure?", "Cancel", "Stop it.", "Continue", "Go on."), 1);
	ENG_set_select_alert_hook(old_select);
	ENG_set_abort_alert_hook(old_abort);

	const std::string t = read_file(file);
	EXPECT_NE(t.find(", \"modal\": 996, \"texts\": [\"I am about to DELETE:\", \"/x/caf\xC3\xA9 ??.txt\", \"because we no "
	                 "longer use this file, but it appears you have modified it. What to do?\"], \"labels\": "
	                 "[\"DELETE THE OLD FILE\", \"KEEP THE OLD FILE\", \"DELETE EVERY OLD FILE IN THIS DIRECTORY\", "
	                 "\"KEEP EVERY OLD FILE IN THIS DIRECTORY\", \"CANCEL THE WHOLE INSTALLATION!\"]}\n"),
	          std::string::npos)
	    << t;
	EXPECT_NE(t.find(", \"modal\": 997, \"texts\": [\"Are you sure?\", \"Stop it.\", \"Go on.\"], \"labels\": "
	                 "[\"Cancel\", \"Continue\"]}\n"),
	          std::string::npos)
	    << t;
}
