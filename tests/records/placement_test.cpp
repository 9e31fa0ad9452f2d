// How an output file takes its place: never through what stands at its name, complete or
// not at all, every write and close checked.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "records/render.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::rec::Layout;
using sw::rec::OutFile;
using sw::test::ioErrorOf;

const Layout& pairs() {
  static const Layout l("(2e20.8)");
  return l;
}

const char* const kRecord = "      0.10000000E+01      0.20000000E+01\n";

/// Where putting one record at a name fails: nowhere, or at one of its steps.
enum class Step { None, Open, Write, Commit };

/// Something standing at an output name, and how each kind of file meets it.
struct Obstacle {
  const char* what;
  const char* name;  ///< in the scratch directory, or an absolute path
  void (*place)(const sw::test::TempDir&);
  Step live, committed;  ///< where the open() and the openForCommit() file fail
  const char* error;     ///< the message, % standing for the path, when it fails
};

// clang-format off
const Obstacle kObstacles[] = {
    {"link to a file: replaced, not written through", "fort.70", [](const sw::test::TempDir& d) {
       sw::test::writeBytes(d.file("victim"), "precious\n");
       fs::create_symlink("victim", d.file("fort.70"));
     }, Step::None, Step::None, ""},
    {"dangling link: its target not created", "output", [](const sw::test::TempDir& d) {
       fs::create_symlink("elsewhere", d.file("output"));
     }, Step::None, Step::None, ""},
    {"file: replaced keeping its permissions", "fort.501", [](const sw::test::TempDir& d) {
       sw::test::writeBytes(d.file("fort.501"), "old\n");
       chmod(d.file("fort.501").c_str(), 0640);
     }, Step::None, Step::None, ""},
    {"directory", "fort.601", [](const sw::test::TempDir& d) {
       fs::create_directory(d.file("fort.601"));
     }, Step::Open, Step::Open, "cannot create %: Is a directory"},
    {"read-only file", "fort.60", [](const sw::test::TempDir& d) {
       sw::test::writeBytes(d.file("fort.60"), "kept\n");
       fs::permissions(d.file("fort.60"), fs::perms::owner_read | fs::perms::group_read);
     }, Step::Open, Step::Open,
     "cannot create %: the file there is read-only; make it writable or remove it"},
    // The committed file looks at its directory only when its first record comes.
    {"missing directory", "missing-dir/output", [](const sw::test::TempDir&) {},
     Step::Open, Step::Write, "cannot create %: No such file or directory"},
    // A special file at the name is refused: a pipe would block, a device is no file.
    {"device", "/dev/full", [](const sw::test::TempDir&) {},
     Step::Open, Step::Open, "cannot create %: a character device stands there, not a regular file; remove it or run elsewhere"},
    {"FIFO", "fifo", [](const sw::test::TempDir& d) {
       ASSERT_EQ(mkfifo(d.file("fifo").c_str(), 0600), 0);
     }, Step::Open, Step::Open,
     "cannot create %: a FIFO (named pipe) stands there, not a regular file; remove it or run "
     "elsewhere"},
};
// clang-format on

TEST(OutFilePlacement, WhatStandsAtTheNameIsReplacedOrRefused) {
  for (const bool live : {true, false}) {
    for (const Obstacle& c : kObstacles) {
      SCOPED_TRACE(std::string(c.what) + (live ? ", live" : ", committed"));
      sw::test::TempDir dir;
      c.place(dir);
      const std::string path = dir.file(c.name);  // an absolute name stays as it is
      struct stat before {};
      const bool wasFile = lstat(path.c_str(), &before) == 0 && S_ISREG(before.st_mode);
      const auto type = fs::symlink_status(path).type();
      auto files = sw::test::readDir(dir.path());

      OutFile out;
      Step failed = Step::None;
      std::string error = "no error";
      const auto attempt = [&](Step step, const std::function<void()>& f) {
        if (failed == Step::None && (error = ioErrorOf(f)) != "no error") failed = step;
      };
      attempt(Step::Open, [&] { live ? out.open(path) : out.openForCommit(path); });
      attempt(Step::Write, [&] { out.writeReals(pairs(), std::vector<double>{1.0, 2.0}); });
      attempt(Step::Commit, [&] { out.commit(); });
      out = OutFile();  // a failed file gives up its temporary

      const Step expected = live ? c.live : c.committed;
      ASSERT_EQ(failed, expected) << error;
      if (expected == Step::None) {
        files[c.name] = kRecord;
        EXPECT_FALSE(fs::is_symlink(path));
        struct stat after {};
        if (wasFile) EXPECT_EQ(stat(path.c_str(), &after) == 0 ? after.st_mode : 0, before.st_mode);
      } else {
        std::string message = c.error;
        EXPECT_EQ(error, message.replace(message.find('%'), 1, path));
        EXPECT_EQ(fs::symlink_status(path).type(), type) << "what stood there is left";
      }
      // Nothing else is written or created, and no temporary is left.
      EXPECT_EQ(sw::test::readDir(dir.path()), files);
    }
  }
}

TEST(OutFilePlacement, ReadOnlyFileSystemIsNamedAsSuch) {
  sw::test::TempDir dir;
  const std::string at = dir.file("ro");
  fs::create_directory(at);
  if (mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no file system can be mounted here";
  sw::test::writeBytes(at + "/fort.70", "earlier\n");
  const bool readOnly =
      mount("tmpfs", at.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
  if (readOnly) {
    // A writable file on a read-only file system: not "the file there is read-only".
    OutFile out;
    EXPECT_EQ(ioErrorOf([&] { out.openForCommit(at + "/fort.70"); }),
              "cannot create " + at + "/fort.70: the file system is read-only");
    EXPECT_EQ(ioErrorOf([&] { out.open(at + "/output"); }),
              "cannot create " + at + "/output: Read-only file system");
  }
  umount(at.c_str());
  if (!readOnly) GTEST_SKIP() << "the file system cannot be made read-only";
}

TEST(OutFilePlacement, CommittedFileReplacesTheEarlierOneOnlyWhenCommitted) {
  // Far more than the buffer holds, so that records reach the disk before the commit.
  std::string records;
  for (int k = 0; k < 5000; ++k) {
    sw::rec::putExp(records, 20, 8, 1.0 * k);
    sw::rec::putExp(records, 20, 8, 2.0);
    records += '\n';
  }
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "committed" : "abandoned");
    sw::test::TempDir dir;
    const std::string path = dir.file("fuente_sin_filtrar");
    sw::test::writeBytes(path, "earlier run\n");
    {
      OutFile out;
      out.openForCommit(path);
      for (int k = 0; k < 5000; ++k) out.writeReals(pairs(), std::vector<double>{1.0 * k, 2.0});
      out.flush();
      EXPECT_EQ(sw::test::readBytes(path), "earlier run\n");
      if (commit) out.commit();
    }
    EXPECT_TRUE(sw::test::readBytes(path) == (commit ? records : "earlier run\n"));
    EXPECT_EQ(sw::test::readDir(dir.path()).size(), 1u) << "no temporary file is left";
  }
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
