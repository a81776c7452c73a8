// Exclusive creation of record files: a name that exists is never opened again, and what is written
// lands byte for byte, line feeds included.
#include "link_newfile.h"
#include "link_test_support.h"

#include <cerrno>

namespace {

class NewFileTest : public LinkDirectoryTest {};

TEST_F(NewFileTest, CreatesOnlyWhatDoesNotExistAndWritesBinary) {
  std::FILE* file = LinkCreateNewFile("cmlCRX10.bin");
  ASSERT_NE(file, nullptr);
  const unsigned char bytes[] = {0x0a, 0x00, 0x0d, 0x0a, 0x1a, 0xff};
  ASSERT_EQ(std::fwrite(bytes, 1, sizeof bytes, file), sizeof bytes);
  std::fclose(file);

  errno = 0;
  EXPECT_EQ(LinkCreateNewFile("cmlCRX10.bin"), nullptr) << "an earlier file is never opened again";
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFile("cmlCRX10.bin"), std::vector<std::uint8_t>(bytes, bytes + sizeof bytes));
  EXPECT_EQ(LinkCreateNewFile("no-such-folder/cmlCRX11.bin"), nullptr);
}

}  // namespace
