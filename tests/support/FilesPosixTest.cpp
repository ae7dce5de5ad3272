// Write failures that only POSIX lets a test provoke on demand.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <map>

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

struct Listed {
  std::uint32_t attributes;
  bool sizeKnown;
  std::uint64_t size;
  std::uint64_t index;
};

std::map<std::string, Listed> ListAll(const std::string& folder) {
  std::map<std::string, Listed> listed;
  TQxFindFile find(folder + "/*");
  while (find.FindAttributes(0, 0)) {
    const os::FindData& d = find.FindData();
    listed[d.name] = {d.attributes, d.sizeKnown, d.size, d.index};
    find.FindNext();
  }
  return listed;
}

std::uint64_t InodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return static_cast<std::uint64_t>(info.st_ino);
}

// Links are followed; whatever is not a regular file or a folder after
// following them is left out. Every listed entry carries the index of the
// file it reaches, and a size only where one was asked for.
TEST(Listing, KindsAfterFollowingLinksAndTheIndexOfEachEntry) {
  test::TempDir dir;
  test::WriteFile(dir / "plain", "12345");
  test::MakeDir(dir / "sub");
  ASSERT_EQ(symlink("plain", (dir / "to-plain").c_str()), 0);
  ASSERT_EQ(symlink("sub", (dir / "to-sub").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir / "broken").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("fifo", (dir / "to-fifo").c_str()), 0);
  const std::string socketPath = dir / "sock";
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address {};
  address.sun_family = AF_UNIX;
  const bool bound = socketPath.size() < sizeof address.sun_path &&
                     (std::copy(socketPath.begin(), socketPath.end(), address.sun_path),
                      bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  close(sock);

  const std::map<std::string, Listed> listed = ListAll(dir.Path());
  std::vector<std::string> names;
  for (const auto& [name, entry] : listed) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"plain", "sub", "to-plain", "to-sub"}))
      << (bound ? "" : "(no socket could be made)");

  const struct {
    const char* name;
    std::uint32_t attributes;
    const char* reaches;
  } cases[] = {
      {"plain", os::AttributeNormal, "plain"},
      {"to-plain", os::AttributeNormal, "plain"},
      {"sub", os::AttributeDirectory, "sub"},
      {"to-sub", os::AttributeDirectory, "sub"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(listed.count(c.name));
    const Listed& entry = listed.at(c.name);
    EXPECT_EQ(entry.attributes, c.attributes);
    EXPECT_EQ(entry.index, InodeOf(dir / c.reaches));
    if (entry.sizeKnown && c.attributes == os::AttributeNormal) {
      EXPECT_EQ(entry.size, 5u);
    }
  }
}

}  // namespace
}  // namespace qx
