// The pane text: its limits, what a refresh shows, and the dump file that tests read the window by.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output_pane.h"
#include "probe_test_support.h"

namespace {

class RecordingDisplay : public PaneDisplay {
 public:
  void ShowText(const char* text) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

TEST(OutputPaneTest, AppendClearAndNullText) {
  OutputPane pane;
  pane.Append("COMM PORTS");
  pane.Append(" found\n");
  EXPECT_STREQ(pane.Text(), "COMM PORTS found\n");
  EXPECT_EQ(pane.Length(), 17u);
  pane.Append(nullptr);
  EXPECT_STREQ(pane.Text(), "");
  pane.AppendFormat("%s=%d,%c", "Cores", 4, '*');
  pane.Clear();
  pane.Append("x");
  EXPECT_STREQ(pane.Text(), "x");
}

TEST(OutputPaneTest, TextIsCutAtItsCapacity) {
  OutputPane pane;
  pane.Append(std::string(OutputPane::Capacity - 3, 'a').c_str());
  pane.Append("bcdef");
  pane.Append("more");
  pane.AppendFormat("%d", 12345);
  std::string expected = std::string(OutputPane::Capacity - 3, 'a') + "bcd";
  EXPECT_EQ(pane.Length(), OutputPane::Capacity);
  EXPECT_EQ(std::string(pane.Text()), expected);
  pane.Append(nullptr);
  pane.Append("fresh");
  EXPECT_STREQ(pane.Text(), "fresh");
}

TEST(OutputPaneTest, FormattedPieceIsCutAt299Characters) {
  OutputPane pane;
  std::string wide(500, 'w');
  pane.AppendFormat("[%s]", wide.c_str());
  EXPECT_EQ(std::string(pane.Text()), "[" + std::string(298, 'w'));
  pane.AppendFormat("\n%-5s|%3d", "ab", 7);
  EXPECT_EQ(std::string(pane.Text()).substr(299), "\nab   |  7");
}

TEST(OutputPaneTest, RefreshShowsTheWholeTextEachTime) {
  OutputPane pane;
  RecordingDisplay display;
  pane.Refresh();  // no display attached: nothing to show, no harm
  pane.AttachDisplay(&display);
  pane.Append("first\n");
  pane.Refresh();
  pane.Append("second\n");
  pane.Refresh();
  pane.Clear();
  pane.Refresh();
  EXPECT_EQ(display.shown, (std::vector<std::string>{"first\n", "first\nsecond\n", ""}));
}

TEST(OutputPaneTest, EveryRefreshReplacesTheDumpFile) {
  ScratchTree tree;
  const std::string dump = tree.Path("pane.txt");
  ScopedEnv env("TAVIK_PANE_DUMP", dump);
  OutputPane pane;
  pane.Append("COMM PORTS found(NONE)\n");
  pane.Refresh();
  EXPECT_EQ(ReadWholeFile(dump), "COMM PORTS found(NONE)\n");
  pane.Clear();
  pane.Append("short");
  pane.Refresh();
  EXPECT_EQ(ReadWholeFile(dump), "short");
  EXPECT_FALSE(std::filesystem::exists(dump + ".tmp"));
}

TEST(OutputPaneTest, UnwritableDumpPlaceIsIgnored) {
  ScratchTree tree;
  ScopedEnv env("TAVIK_PANE_DUMP", tree.Path("no/such/folder/pane.txt"));
  OutputPane pane;
  RecordingDisplay display;
  pane.AttachDisplay(&display);
  pane.Append("still shown");
  pane.Refresh();
  EXPECT_EQ(display.shown, std::vector<std::string>{"still shown"});
}

}  // namespace
