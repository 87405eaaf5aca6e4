// Temporary files made ahead of their outputs.
#include "output/temporary_files_ahead.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace sorrelin {
namespace {
using namespace testing;

// Each file is made once, for one caller; one made ahead and never asked for is
// removed; a file that could not be made ahead is made when asked, or its fault told.
TEST(TemporaryFilesAhead, GiveEachFileOnceAndLeaveNoneBehind) {
  struct Case {
    std::set<int> failing;   // calls of the factory in the output folder that fail
    std::vector<bool> made;  // whether each of three asks there gets a file
  };
  const std::vector<Case> cases = {
      {{}, {true, true, true}},
      {{2}, {true, true, true}},      // the one made ahead: made again when asked
      {{2, 3}, {true, false, true}},  // and that fails too: the caller's errno says so
      {{1, 2, 3, 4, 5}, {false, false, false}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "out");
    std::filesystem::create_directory(folder / "scratch");
    std::mutex mutex;
    int calls = 0, elsewhere = 0;
    std::set<std::string> given;
    {
      TemporaryFilesAhead files([&](const std::filesystem::path& where) {
        std::lock_guard lock(mutex);
        if (where != folder / "out") return ++elsewhere, CreateNamedTemporaryFile(where);
        if (c.failing.contains(++calls)) return errno = EROFS, TemporaryFile{};
        return CreateNamedTemporaryFile(where);
      });
      for (std::size_t ask = 0; ask < c.made.size(); ++ask) {
        SCOPED_TRACE(ask);
        errno = 0;
        TemporaryFile file = files(folder / "out");
        ASSERT_EQ(file.file != nullptr, c.made[ask]);
        if (!file.file) {
          EXPECT_EQ(errno, EROFS);
          continue;
        }
        EXPECT_TRUE(given.insert(file.path.filename().string()).second);
        EXPECT_GE(std::fputs("x", file.file.get()), 0);
        EXPECT_TRUE(files(folder / "scratch").file);  // made when asked, not ahead
        EXPECT_EQ(elsewhere, static_cast<int>(given.size()));
      }
    }
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"out", "scratch"}));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "out"))
      left.push_back(entry.path().filename().string());
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()), given);
  }
}

}  // namespace
}  // namespace sorrelin
