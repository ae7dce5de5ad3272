// Write failures that only POSIX lets a test provoke on demand.
#include <gtest/gtest.h>

#include "FileSizeLimitPosix.h"
#include "QxExceptions.h"
#include "QxSysUtils.h"
#include "TestKit.h"

namespace qx {
namespace {

TEST(WholeFiles, FailedWriteRemovesTheIncompleteFile) {
  test::TempDir dir;
  const ByteBuffer data(64 * 1024, 0xAB);
  {
    test::FileSizeLimit limit(4096);
    EXPECT_THROW(SaveWholeFile(dir / "cut.bin", data), EOSError);
  }
  EXPECT_FALSE(test::FileExists(dir / "cut.bin"));
}

}  // namespace
}  // namespace qx
