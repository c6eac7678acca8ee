#include <gtest/gtest.h>

#include "runtime/cmdline.h"
#include "runtime/hl_globals.h"
#include "runtime/translate.h"
#include "support/bounded_wait.h"
#include "support/test_env.h"

namespace {

const std::string kHeader = "I\n900 version\nTRANSLATION\n";

// A translation test: its own folder, the log in a file, and no language at the end.
struct TranslateEnv {
	kx_test::TempEnv env;
	std::string log = env.path("log.txt");
	TranslateEnv()
	{
		cmdline = UTL_cmdline();
		xer.open(log);
	}
	~TranslateEnv()
	{
		xer.close();
		cmdline = UTL_cmdline();
		UTL_translate_clear();
	}
	std::string load(const std::string& body)
	{
		const std::string path = env.path("lang.txt");
		kx_test::write_file(path, body);
		UTL_translate_load(path);
		return take_log();
	}
	std::string take_log()
	{
		xer.close();
		std::string text = kx_test::read_file(log);
		xer.open(log);
		return text;
	}
};

}  // namespace

TEST(Translate, EntriesAreLoadedAndBadLinesLogged)
{
	TranslateEnv t;
	const std::string log = t.load(kHeader +
	                               "STRING OK====D'accord\n"
	                               "\t STRING Install a new copy====Installer une nouvelle copie\r\n"
	                               "\n"
	                               "STRING Two\\nLines\\r====Deux\\nlignes\n"
	                               "STRING  lead====avec blanc \n"
	                               "STRING a====b====c\n"
	                               "STRING ====vide\n"
	                               "STRINGS x====yy\n"
	                               "# STRING x====yy\n"
	                               "STRING no splitter\n"
	                               "STRING one====1\n"
	                               "STRING two====22\n"
	                               "STRING OK====Encore");
	EXPECT_EQ(has_translation, 1);
	EXPECT_EQ(log_missing, 0);
	EXPECT_EQ(UTL_translate_string("OK"), "D'accord");
	EXPECT_EQ(UTL_translate_string("ok"), "ok");
	EXPECT_EQ(UTL_translate_string("Install a new copy"), "Installer une nouvelle copie");
	EXPECT_EQ(UTL_translate_string("Two\nLines\r"), "Deux\nlignes");
	EXPECT_EQ(UTL_translate_string(" lead"), "avec blanc ");
	EXPECT_EQ(UTL_translate_string("lead"), "lead");
	EXPECT_EQ(UTL_translate_string("a"), "b====c");
	EXPECT_EQ(UTL_translate_string(""), "vide");
	EXPECT_EQ(UTL_translate_string("one"), "one");
	EXPECT_EQ(UTL_translate_string("two"), "22");
	EXPECT_EQ(UTL_translate_string("x"), "x");
	EXPECT_EQ(dictionary.size(), 7u);
	EXPECT_EQ(log,
	          "ERROR: language file line no splitter missing ==== splitter.\n"
	          "ERROR: language file line one====1 missing right side translation.\n"
	          "ERROR: language line OK====Encore is a second translation of OK====D'accord\n");
}

TEST(Translate, MissingTextsAreLoggedOncePerLoad)
{
	TranslateEnv t;
	// Without a loaded file nothing is logged, even when asked to.
	const char* argv[] = {"kestrix-installer", "--missing_strings"};
	cmdline.init_unix(2, argv);
	t.take_log();
	EXPECT_EQ(UTL_translate_string("Quit"), "Quit");
	EXPECT_EQ(t.take_log(), "");

	t.load(kHeader + "STRING OK====D'accord\n");
	EXPECT_EQ(log_missing, 1);
	EXPECT_EQ(UTL_translate_string("Quit"), "Quit");
	EXPECT_EQ(UTL_translate_string("Quit"), "Quit");
	EXPECT_EQ(UTL_translate_string("Line one\r\nLine two"), "Line one\r\nLine two");
	EXPECT_EQ(UTL_translate_string("OK"), "D'accord");
	EXPECT_EQ(t.take_log(), "STRING Quit====Quit\nSTRING Line one\\r\\nLine two====Line one\\r\\nLine two\n");
	EXPECT_EQ(logged.count("Line one\r\nLine two"), 1u);

	// A new load starts afresh: the same text is reported again.
	t.load(kHeader);
	EXPECT_EQ(has_translation, 1);  // an empty file still counts as a language
	UTL_translate_string("Quit");
	EXPECT_EQ(t.take_log(), "STRING Quit====Quit\n");
}

TEST(Translate, EnglishAndBadFilesLeaveTextsAlone)
{
	TranslateEnv t;
	t.load(kHeader + "STRING OK====D'accord\n");
	UTL_translate_clear();
	EXPECT_TRUE(dictionary.empty());
	EXPECT_EQ(has_translation, 0);
	EXPECT_EQ(UTL_translate_string("OK"), "OK");

	for (const std::string& body : {std::string("I\n901 version\nTRANSLATION\nSTRING OK====D'accord\n"),
	                                std::string("I\n900 version\nMENU\nSTRING OK====D'accord\n"), std::string("")}) {
		t.load(kHeader + "STRING OK====D'accord\n");
		t.load(body);
		EXPECT_EQ(has_translation, 0) << body;
		EXPECT_TRUE(dictionary.empty());
		EXPECT_EQ(UTL_translate_string("OK"), "OK");
	}
	t.load(kHeader + "STRING OK====D'accord\n");
	UTL_translate_load(t.env.path("absent.txt"));
	EXPECT_EQ(has_translation, 0);
	EXPECT_EQ(UTL_translate_string("OK"), "OK");
}

TEST(Translate, ALongLineOfEscapesIsReadInOnePass)
{
	// Eight megabytes of escapes: read in one pass this takes a moment; rewritten
	// escape by escape it takes many minutes, and the bound ends the test.
	TranslateEnv t;
	constexpr size_t pairs = 1u << 21;
	std::string source;
	source.reserve(2 * pairs);
	for (size_t i = 0; i < pairs; ++i) source += i % 2 ? "\\n" : "\\r";
	kx_test::finishes_within("reading a translation line of 8 MB", [&] {
		t.load(kHeader + "STRING " + source + "====" + source + "\n");
	});
	std::string key;
	for (size_t i = 0; i < pairs; ++i) key += i % 2 ? '\n' : '\r';
	EXPECT_EQ(UTL_translate_string(key).size(), pairs);
}
