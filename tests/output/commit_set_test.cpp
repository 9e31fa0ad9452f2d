// The result files are put in place as one set: a rename that fails part way leaves the
// earlier set whole.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace {

/// Renames still allowed before one fails with EIO; negative: none fails.
std::atomic<int> gRenamesBeforeFailure{-1};

}  // namespace

// Every rename of this test program passes here first (the library's calls included), so
// that one in the middle of a commit can fail as a disk would.
extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const Rename next = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  if (gRenamesBeforeFailure.load() >= 0 && gRenamesBeforeFailure.fetch_sub(1) == 0) {
    errno = EIO;
    return -1;
  }
  return next(from, to);
}

namespace {

using sw::rec::OutFile;

TEST(CommitTogether, AFailedRenameLeavesTheEarlierSetWhole) {
  static const sw::rec::Layout kValue("(g15.4)");
  const std::vector<std::string> names = {"fort.601", "fort.602", "fort.501", "fort.502",
                                          "fort.60",  "fort.70",  "fort.603"};
  for (const int failing : {0, 3, 6, -1}) {
    SCOPED_TRACE("rename " + std::to_string(failing) + " fails");
    sw::test::TempDir dir;
    // The last name had no file before this run.
    for (std::size_t k = 0; k + 1 < names.size(); ++k)
      sw::test::writeBytes(dir.file(names[k]), "earlier " + names[k] + "\n");
    std::string error = "no error";
    {
      std::vector<OutFile> files(names.size());
      std::vector<OutFile*> set;
      for (std::size_t k = 0; k < names.size(); ++k) {
        files[k].openForCommit(dir.file(names[k]));
        files[k].writeReals(kValue, std::vector<double>{1.0 * static_cast<double>(k)});
        set.push_back(&files[k]);
      }
      gRenamesBeforeFailure = failing;
      error = sw::test::ioErrorOf([&] { sw::rec::commitTogether(set); });
      gRenamesBeforeFailure = -1;
    }
    const auto after = sw::test::readDir(dir.path());
    if (failing < 0) {
      EXPECT_EQ(error, "no error");
      ASSERT_EQ(after.size(), names.size());
      for (const std::string& n : names) EXPECT_EQ(after.at(n).rfind("earlier", 0), std::string::npos);
      continue;
    }
    EXPECT_EQ(error, "cannot create " + dir.file(names[static_cast<std::size_t>(failing)]) +
                         ": Input/output error; the files of the earlier run were put back");
    // Exactly the earlier files, no new one, no backup and no temporary.
    ASSERT_EQ(after.size(), names.size() - 1) << "files left: " << after.size();
    for (std::size_t k = 0; k + 1 < names.size(); ++k)
      EXPECT_EQ(after.at(names[k]), "earlier " + names[k] + "\n");
  }
}

}  // namespace
