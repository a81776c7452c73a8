// Moving a finished file over another in one step, as the text dumps do: an existing file is replaced,
// a folder or a missing source is refused and nothing is lost. Whole files written that way, in text
// mode with the system's line ends (the status file) or byte for byte (the dumps).
#include "file_replace.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "appbase/whole_file.h"
#include "read_file.h"
#include "scratch_tree.h"

namespace {

TEST(FileReplaceWin32, ExistingTargetIsReplacedAndMissingTargetIsCreated) {
  ScratchTree tree("tavik_replace");
  tree.Write("new.txt", "new");
  tree.Write("dump.txt", "old");
  ASSERT_TRUE(ReplaceFileWith(tree.Path("new.txt").c_str(), tree.Path("dump.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "new");
  EXPECT_FALSE(std::ifstream(tree.Path("new.txt")).good());

  tree.Write("next.txt", "next");
  ASSERT_TRUE(ReplaceFileWith(tree.Path("next.txt").c_str(), tree.Path("fresh.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("fresh.txt")), "next");
}

TEST(FileReplaceWin32, RefusalsLoseNothing) {
  ScratchTree tree("tavik_replace");
  tree.Write("dump.txt", "kept");
  EXPECT_FALSE(ReplaceFileWith(tree.Path("missing.txt").c_str(), tree.Path("dump.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "kept");

  tree.Write("folder/inside.txt", "inside");
  tree.Write("new.txt", "new");
  EXPECT_FALSE(ReplaceFileWith(tree.Path("new.txt").c_str(), tree.Path("folder").c_str()));
  EXPECT_EQ(ReadWholeFile(tree.Path("folder/inside.txt")), "inside");
  EXPECT_EQ(ReadWholeFile(tree.Path("new.txt")), "new");
}

TEST(FileReplaceWin32, WholeFilesTakeTheirPlaceInTextOrBinaryMode) {
  ScratchTree tree("tavik_replace");
  tree.Write("ampstatus.txt", "from an earlier start\n");
  ASSERT_TRUE(WriteWholeFile(tree.Path("ampstatus.txt"), "\nDone\n", FileTextMode::Text));
  EXPECT_EQ(ReadWholeFile(tree.Path("ampstatus.txt")), "\r\nDone\r\n");
  ASSERT_TRUE(WriteWholeFile(tree.Path("dump.txt"), "a\nb", FileTextMode::Binary));
  EXPECT_EQ(ReadWholeFile(tree.Path("dump.txt")), "a\nb");
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(tree.Path("*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "no new file is left behind";
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace
