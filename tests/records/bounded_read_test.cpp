// Input files are read as far as the reads go and no further, and a stream far beyond its
// bound is refused instead of filling the memory.  An endless record and a huge regular
// file are refused in the deck and the tables (bounded_input_test).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "records/in_file.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;
using sw::rec::InFile;
using sw::rec::Layout;
using sw::test::ioErrorOf;

const Layout& i5() {
  static const Layout l("(i5)");
  return l;
}

TEST(BoundedRead, EndlessStreamIsRefusedOnceItPassesTheBound) {
  sw::test::TempDir dir;
  const std::string path = dir.file("p_modulus.freq");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    const std::string line = "    1\n";
    while (::write(fd, line.data(), line.size()) > 0) {
    }
    ::close(fd);
  });
  std::string error;
  {
    InFile in;
    in.open(path);
    in.limitSize(600, "a table of 20 materials with 1 record each");
    int n = 0;
    error = ioErrorOf([&] {
      for (;;) in.read(i5(), {n});
    });
  }
  writer.join();
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(error, path +
                       ": more than 600 bytes, far more than a table of 20 materials with 1 record "
                       "each can need (at most 600 bytes); refused");
}

TEST(BoundedRead, RecordsBeyondTheLastReadAreNotWaitedFor) {
  // A pipe whose writer stays open: two records can be read although more may come.
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  int release[2];
  ASSERT_EQ(pipe(release), 0);
  std::thread writer([&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    const std::string lines = "    4\n    7\n";
    EXPECT_EQ(::write(fd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    char c;
    EXPECT_EQ(::read(release[0], &c, 1), 1);  // held open until the reads are done
    ::close(fd);
  });
  InFile in;
  in.open(path);
  int a = 0, b = 0;
  in.read(i5(), {a});
  in.read(i5(), {b});
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(::write(release[1], "x", 1), 1);
  writer.join();
  ::close(release[0]);
  ::close(release[1]);
}

TEST(BoundedRead, LinkToNothingReadsAsAnEmptyTableAndCreatesNothing) {
  sw::test::TempDir dir;
  const std::string path = dir.file("p11_interp.freq");
  fs::create_symlink("nowhere", path);
  InFile in;
  in.openOrCreate(path);
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
  int n = 0;
  EXPECT_EQ(ioErrorOf([&] { in.read(i5(), {n}); }),
            path + ", record 1: end of file while reading 1 value with (i5)");
}

}  // namespace
