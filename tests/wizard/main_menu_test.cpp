// The main menu past the DVD: what it offers once the set's list has been read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizard/main_copies.h"
#include "wizard/main_screens.h"
#include "wizard_fixture.h"

namespace {

using kx_wizard_test::kProduct;
using kx_wizard_test::WizardTest;
using Labels = std::vector<std::string>;

class MainMenu : public WizardTest {
protected:
	MainMenu()
	{
		xer.open(env.path("log.txt"));
		make_dvd("DVD1", identity(), two_file_list(0));
	}
	~MainMenu() override { xer.close(); }
	void frame(int first)
	{
		s = wizard_screen{};
		EXPECT_EQ(dvd_start(first, s), 0);
		kx_wizard_test::expect_named_targets(s);
	}
	void register_copy(const std::string& rel)
	{
		dest_dir_path = env.path(rel);
		kx_wizard_test::make_copy_folders(dest_dir_path);
		register_new_kestrix();
		dest_dir_path.clear();
	}
	wizard_screen s;
};

TEST_F(MainMenu, ARegisteredCopyOffersWhatTheSetAllows)
{
	register_copy("C1/");
	frame(1);  // the first frame reads the registration file
	ASSERT_EQ(all_orvalas.size(), 1u);
	EXPECT_EQ(s.text, "You already have Kestrix 9 installed on this computer.  What would you like to do?");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_EQ(s.choice_labels, (Labels{"Run Kestrix Now", "Repair Kestrix", "Install A Second Copy of Kestrix"}));
	EXPECT_EQ(s.choice_targets, (std::vector<screen_fn>{dvd_pick_run_sim, dvd_pick_repair, dvd_pick_install}));
	stg.has_scenery = 1;
	frame(0);
	EXPECT_EQ(s.choice_labels,
	          (Labels{"Run Kestrix Now", "Add Or Remove Scenery", "Repair Kestrix", "Install A Second Copy of Kestrix"}));
	EXPECT_EQ(s.choice_targets[1], dvd_pick_scenery);
	stg.has_sim_files = 0;
	frame(0);
	EXPECT_EQ(s.choice_labels, (Labels{"Run Kestrix Now", "Add Or Remove Scenery"}));
}

TEST_F(MainMenu, ScenerySetsWithoutACopyAskForTheSimFirst)
{
	frame(1);
	EXPECT_EQ(s.next_screen, dvd_pick_install);
	stg.has_sim_files = 0;
	stg.has_scenery = 1;
	frame(0);
	EXPECT_EQ(s.text, std::string("This DVD (") + kProduct +
	                      ") contains global scenery.  You must install the sim before you install the global scenery.");
	EXPECT_EQ(s.next_screen, nullptr);
	EXPECT_TRUE(s.choice_labels.empty());
}

TEST_F(MainMenu, AVanishedCopyIsNotOffered)
{
	register_copy("C1/");
	kx_test::remove_tree(env.path("C1"));
	frame(1);
	EXPECT_TRUE(all_orvalas.empty());
	EXPECT_EQ(s.next_screen, dvd_pick_install);
}

}  // namespace
