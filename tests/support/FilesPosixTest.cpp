// Write failures that only POSIX lets a test provoke on demand: a file size
// limit makes the system refuse the rest of a write.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "QxExceptions.h"
#include "QxSysUtils.h"
#include "TestKit.h"

namespace qx {
namespace {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST(WholeFiles, FailedWriteRemovesTheIncompleteFile) {
  test::TempDir dir;
  const ByteBuffer data(64 * 1024, 0xAB);
  {
    FileSizeLimit limit(4096);
    EXPECT_THROW(SaveWholeFile(dir / "cut.bin", data), EOSError);
  }
  EXPECT_FALSE(test::FileExists(dir / "cut.bin"));
}

}  // namespace
}  // namespace qx
