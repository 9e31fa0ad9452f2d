// Input files are regular files, read as far as the reads go and no further.  An endless record and a huge regular
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

TEST(BoundedRead, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
  // A FIFO without a writer would block the open; a device delivers what it likes.
  sw::test::TempDir dir;
  const std::string fifo = dir.file("inp_A");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  InFile in;
  EXPECT_EQ(ioErrorOf([&] { in.open(fifo); }),
            "cannot open " + fifo + ": a FIFO (named pipe) stands there, not a regular file");
  const std::string device = dir.file("p_modulus.freq");
  fs::create_symlink("/dev/zero", device);
  EXPECT_EQ(ioErrorOf([&] { in.open(device); }),
            "cannot open " + device + ": a character device stands there, not a regular file");
  EXPECT_EQ(ioErrorOf([&] { in.openOrCreate(device); }),
            "cannot open " + device + ": a character device stands there, not a regular file");
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
