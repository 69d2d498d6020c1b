// The last guard below the command line: what writes or reads a file never replaces, nor waits
// on, a node that is not a regular file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/file_ptr.h"
#include "platform/utf8_path.h"
#include "tests/support/temp_dir.h"
#include "tools/atomic_file.h"

namespace tarvex {
namespace {

TEST(FileKind, AFifoIsNeitherReplacedNorWaitedOn) {
  test::TempDir dir;
  const auto fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  AtomicFile out(fifo);
  EXPECT_FALSE(out.IsOpen());
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(out.error(), "not a regular file (a FIFO)");

  errno = 0;
  const FilePtr in{OpenForReading(fifo)};
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(errno, EINVAL);

  EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(fifo)));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file left";
}

}  // namespace
}  // namespace tarvex
