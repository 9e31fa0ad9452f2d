// How an output file takes its place: never through what stands at its name, complete or
// not at all, every write and close checked.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::ioErrorOf;
using sw::rec::Layout;
using sw::rec::OutFile;

const Layout& pairs() {
  static const Layout l("(2e20.8)");
  return l;
}

/// Writes one record to `out`, opened in the way the case says, and puts it in place.
void writeAndPlace(OutFile& out, const std::string& path, bool live) {
  if (live)
    out.open(path);
  else
    out.openForCommit(path);
  out.writeReals(pairs(), std::vector<double>{1.0, 2.0});
  out.commit();
}

const char* const kRecord = "      0.10000000E+01      0.20000000E+01\n";

class BothKinds : public testing::TestWithParam<bool> {};

TEST_P(BothKinds, LinkAtTheNameIsReplacedNotWrittenThrough) {
  sw::test::TempDir dir;
  sw::test::writeBytes(dir.file("victim"), "precious\n");
  fs::create_symlink("victim", dir.file("fort.70"));
  OutFile out;
  writeAndPlace(out, dir.file("fort.70"), GetParam());
  EXPECT_EQ(sw::test::readBytes(dir.file("victim")), "precious\n");
  EXPECT_FALSE(fs::is_symlink(dir.file("fort.70")));
  EXPECT_EQ(sw::test::readBytes(dir.file("fort.70")), kRecord);
}

TEST_P(BothKinds, DanglingLinkDoesNotCreateItsTarget) {
  sw::test::TempDir dir;
  fs::create_symlink("elsewhere", dir.file("output"));
  OutFile out;
  writeAndPlace(out, dir.file("output"), GetParam());
  EXPECT_FALSE(fs::exists(dir.file("elsewhere")));
  EXPECT_EQ(sw::test::readBytes(dir.file("output")), kRecord);
}

TEST_P(BothKinds, DirectoryOrReadOnlyFileIsRefusedWhenOpened) {
  sw::test::TempDir dir;
  fs::create_directory(dir.file("fort.601"));
  sw::test::writeBytes(dir.file("fort.60"), "kept\n");
  fs::permissions(dir.file("fort.60"), fs::perms::owner_read | fs::perms::group_read);
  OutFile out;
  const auto open = [&](const std::string& path) {
    if (GetParam())
      out.open(path);
    else
      out.openForCommit(path);
  };
  EXPECT_EQ(ioErrorOf([&] { open(dir.file("fort.601")); }),
            "cannot create " + dir.file("fort.601") + ": Is a directory");
  EXPECT_EQ(ioErrorOf([&] { open(dir.file("fort.60")); }),
            "cannot create " + dir.file("fort.60") +
                ": the file there is read-only; make it writable or remove it");
  EXPECT_EQ(sw::test::readBytes(dir.file("fort.60")), "kept\n");
}

TEST_P(BothKinds, ReplacedFileKeepsItsPermissions) {
  sw::test::TempDir dir;
  sw::test::writeBytes(dir.file("fort.501"), "old\n");
  chmod(dir.file("fort.501").c_str(), 0640);
  OutFile out;
  writeAndPlace(out, dir.file("fort.501"), GetParam());
  struct stat st {};
  ASSERT_EQ(stat(dir.file("fort.501").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(sw::test::readBytes(dir.file("fort.501")), kRecord);
}

INSTANTIATE_TEST_SUITE_P(LiveAndCommitted, BothKinds, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Live" : "Committed";
                         });

TEST(OutFilePlacement, EarlierContentStaysUntilCommitAndWithoutIt) {
  sw::test::TempDir dir;
  const std::string path = dir.file("fuente_sin_filtrar");
  sw::test::writeBytes(path, "earlier run\n");
  {
    OutFile out;
    out.openForCommit(path);
    for (int k = 0; k < 5000; ++k) out.writeReals(pairs(), std::vector<double>{1.0 * k, 2.0});
    out.flush();
    EXPECT_EQ(sw::test::readBytes(path), "earlier run\n");
  }  // abandoned: never committed
  EXPECT_EQ(sw::test::readBytes(path), "earlier run\n");
  EXPECT_EQ(sw::test::readDir(dir.path()).size(), 1u) << "the temporary file is removed";
}

TEST(OutFilePlacement, LiveFileIsInPlaceFromTheStart) {
  sw::test::TempDir dir;
  const std::string path = dir.file("output");
  sw::test::writeBytes(path, "earlier log\n");
  OutFile log;
  log.open(path);
  EXPECT_EQ(sw::test::readBytes(path), "");
  log.writeList({"de unit 1, mat=", 1});
  log.flush();
  EXPECT_EQ(sw::test::readBytes(path), " de unit 1, mat=           1\n");
  EXPECT_EQ(sw::test::readDir(dir.path()).size(), 1u);
}

TEST(OutFilePlacement, FullDeviceIsAWriteErrorNamingTheFile) {
  // A special file at the name is written in place; the device refuses the records.
  OutFile out;
  out.openForCommit("/dev/full");
  out.writeReals(pairs(), std::vector<double>{1.0, 2.0});
  EXPECT_EQ(ioErrorOf([&] { out.commit(); }), "cannot write /dev/full: No space left on device");
}

TEST(OutFilePlacement, FullDiskLeavesTheEarlierFileAndNoTemporary) {
  sw::test::TempDir dir;
  const std::string path = dir.file("espectro_filtrado");
  sw::test::writeBytes(path, "earlier run\n");
  // A file size limit makes the disk "full" after 4096 bytes.
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::string error;
  {
    OutFile out;
    out.openForCommit(path);
    error = ioErrorOf([&] {
      for (int k = 0; k < 200; ++k) out.writeReals(pairs(), std::vector<double>{1.0 * k, 2.0});
      out.commit();
    });
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(error, "cannot write " + path + ": File too large");
  EXPECT_EQ(sw::test::readBytes(path), "earlier run\n");
  EXPECT_EQ(sw::test::readDir(dir.path()).size(), 1u);
}

TEST(OutFilePlacement, TemporaryNamesAreRecognised) {
  struct Case {
    const char* name;
    bool temporary;
  };
  const Case cases[] = {
      {".fort.70.stripwave-1234-0", true},
      {".output.stripwave-7-12", true},
      {"fort.70.stripwave-1234-0", false},
      {".fort.70.stripwave-12a-0", false},
      {".fort.70.stripwave-1234-", false},
      {".stripwave-1-2", false},
      {".fort.70", false},
      {"output", false},
  };
  for (const Case& c : cases) EXPECT_EQ(sw::rec::isTemporaryName(c.name), c.temporary) << c.name;
  // What OutFile leaves while it writes is such a name.
  sw::test::TempDir dir;
  OutFile out;
  out.openForCommit(dir.file("fort.60"));
  out.writeReals(pairs(), std::vector<double>{1.0, 2.0});
  out.flush();
  const auto files = sw::test::readDir(dir.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(sw::rec::isTemporaryName(files.begin()->first)) << files.begin()->first;
}

TEST(OutFilePlacement, PlaceholderIsCreatedOnlyWhereNothingIs) {
  sw::test::TempDir dir;
  sw::rec::createIfMissing(dir.file("fuente_filtrada"));
  EXPECT_EQ(sw::test::readBytes(dir.file("fuente_filtrada")), "");
  sw::test::writeBytes(dir.file("espectro_filtrado"), "earlier\n");
  sw::rec::createIfMissing(dir.file("espectro_filtrado"));
  EXPECT_EQ(sw::test::readBytes(dir.file("espectro_filtrado")), "earlier\n");
  fs::create_symlink("nowhere", dir.file("fuente_sin_filtrar"));
  sw::rec::createIfMissing(dir.file("fuente_sin_filtrar"));
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
}

}  // namespace
