// Output and input files: creation, buffering and the messages of their failures.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/in_file.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "records/render.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::rec::InFile;
using sw::rec::Layout;
using sw::rec::OutFile;
using sw::test::ioErrorOf;

TEST(OutFile, FileWithoutRecordsIsNotCreated) {
  sw::test::TempDir dir;
  const std::string path = dir.file("fort.501");
  {
    OutFile out;
    out.openForCommit(path);
    out.flush();
    out.commit();
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(OutFile, OpenTruncatesInPlaceAndFlushWritesTheRecords) {
  sw::test::TempDir dir;
  const std::string path = dir.file("output");
  sw::test::writeBytes(path, "old content\n");
  OutFile out;
  out.open(path);
  EXPECT_EQ(sw::test::readBytes(path), "");
  out.write(Layout("(/1x,' number of materials (nmat) = ',i5)"), {3});
  out.writeList({"de unit 1, mat=", 1});
  out.flush();
  EXPECT_EQ(sw::test::readBytes(path),
            "\n  number of materials (nmat) =     3\n de unit 1, mat=           1\n");
  EXPECT_EQ(sw::test::readDir(dir.path()).size(), 1u) << "no temporary file is left";
}

TEST(OutFile, ManyRecordsArriveInOrder) {
  sw::test::TempDir dir;
  const std::string path = dir.file("fort.60");
  std::string expected;
  {
    OutFile out;
    out.open(path);
    static const Layout e208("(e20.8)");
    for (int k = 0; k < 20000; ++k) {
      out.writeReals(e208, std::vector<double>{k * 0.5});
      sw::rec::putExp(expected, 20, 8, k * 0.5);
      expected += '\n';
    }
  }
  EXPECT_EQ(sw::test::readBytes(path), expected);
}

TEST(OutFile, MovedFileKeepsItsRecords) {
  sw::test::TempDir dir;
  const std::string path = dir.file("espectro_filtrado");
  {
    OutFile a;
    a.open(path);
    a.write(Layout("(i5)"), {7});
    OutFile b(std::move(a));
    b.write(Layout("(i5)"), {8});
  }
  EXPECT_EQ(sw::test::readBytes(path), "    7\n    8\n");
}

TEST(OutFile, MismatchedValueLeavesNoPartialRecord) {
  sw::test::TempDir dir;
  const std::string path = dir.file("output");
  OutFile out;
  out.open(path);
  EXPECT_THROW(out.write(Layout("(i5,e20.8)"), {1, 2}), std::invalid_argument);
  out.write(Layout("(i5)"), {3});
  out.flush();
  EXPECT_EQ(sw::test::readBytes(path), "    3\n");
}

TEST(InFile, MissingFileNamesTheFile) {
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  InFile in;
  EXPECT_EQ(ioErrorOf([&] { in.open(path); }),
            "cannot open " + path + ": No such file or directory");
}

TEST(InFile, OpenOrCreateMakesAnEmptyFileAndKeepsAnExistingOne) {
  sw::test::TempDir dir;
  const std::string path = dir.file("p66_interp.freq");
  InFile in;
  in.openOrCreate(path);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  int n = 0;
  EXPECT_NE(ioErrorOf([&] { in.readList({n}); }).find("end of file"), std::string::npos);
  sw::test::writeBytes(path, "  3\n");
  in.openOrCreate(path);
  in.readList({n});
  EXPECT_EQ(n, 3);
}

TEST(InFile, RecordsEndAtNewlinesWithoutTheirCarriageReturn) {
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  sw::test::writeBytes(path, "1\r\n\n 2 \r\n3");  // a blank record reads as 0
  InFile in;
  in.open(path);
  for (const int want : {1, 0, 2, 3}) {
    int n = -1;
    in.read(Layout("(i5)"), {n});
    EXPECT_EQ(n, want);
  }
  EXPECT_EQ(ioErrorOf([&] { in.read(Layout("(i5)"), std::span<const sw::rec::Target>{}); }),
            path + ", record 5: end of file while skipping a record");
}

TEST(InFile, EndOfFileNamesTheFileRecordAndRead) {
  sw::test::TempDir dir;
  const std::string path = dir.file("s_modulus.freq");
  std::string content;
  for (int k = 0; k < 11; ++k) content += "  0.100000000000E+01  0.200000000000E+01\n";
  sw::test::writeBytes(path, content);
  InFile in;
  in.open(path);
  double v[3];
  for (int k = 0; k < 11; ++k) in.read(Layout("(3e20.12)"), {v[0], v[1], v[2]});
  EXPECT_EQ(ioErrorOf([&] {
              in.read(Layout("(3e20.12)"), {v[0], v[1], v[2]});
            }),
            path + ", record 12: end of file while reading 3 values with (3e20.12)");
  int n = 0;
  EXPECT_EQ(ioErrorOf([&] { in.readList({n}); }),
            path + ", record 12: end of file while reading 1 value free-form");
}

TEST(InFile, BadFieldNamesColumnsAndText) {
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  sw::test::writeBytes(path, "    1\n    2\n    3\n   x8\n");
  InFile in;
  in.open(path);
  int n = 0;
  for (int k = 0; k < 3; ++k) in.read(Layout("(i5)"), {n});
  EXPECT_EQ(ioErrorOf([&] { in.read(Layout("(i5)"), {n}); }),
            path + ", record 4: expected an integer in columns 1-5, found \"   x8\"");
  EXPECT_EQ(n, 3);
}

TEST(InFile, QuotedTextHasItsControlBytesEscaped) {
  // A terminal escape (clear the screen) and a byte above ASCII in a field and in a
  // free-form value reach the message as \xNN, never as the bytes themselves.
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  sw::test::writeBytes(path, "\x1b[2J\n1.0 \x9b\\x 2.0\n");
  InFile in;
  in.open(path);
  int n = 0;
  EXPECT_EQ(ioErrorOf([&] { in.read(Layout("(i5)"), {n}); }),
            path + ", record 1: expected an integer in columns 1-5, found \"\\x1b[2J\"");
  double a = 0.0, b = 0.0;
  const std::string error = ioErrorOf([&] { in.readList({a, b}); });
  EXPECT_NE(error.find("found \"\\x9b\\x5cx\""), std::string::npos) << error;
  for (const char c : error) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << error;
}

TEST(InFile, BadFreeFormValueNamesTheItem) {
  sw::test::TempDir dir;
  const std::string path = dir.file("inp_A");
  sw::test::writeBytes(path, "10.0\n3 1.5\n2147483648\n");
  InFile in;
  in.open(path);
  double x = 0;
  int i = 0, j = 0;
  in.readList({x});
  EXPECT_EQ(ioErrorOf([&] {
              in.readList({i, j});
            }),
            path + ", record 2: expected an integer for item 2, found \"1.5\"");
  EXPECT_EQ(i, 3);
  EXPECT_EQ(ioErrorOf([&] { in.readList({i}); }),
            path + ", record 3: integer out of range for item 1, found \"2147483648\"");
}

TEST(InFile, FreeFormReadOfThreeValuesOverTwoRecords) {
  sw::test::TempDir dir;
  const std::string path = dir.file("deck");
  sw::test::writeBytes(path, "1 2\n3 4\n5 6\n");
  InFile in;
  in.open(path);
  int a = 0, b = 0, c = 0;
  in.readList({a, b, c});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  int d = 0;  // the rest of the second record was skipped
  in.readList({d});
  EXPECT_EQ(d, 5);
}

TEST(InFile, FormattedReadWithImpliedPoint) {
  sw::test::TempDir dir;
  const std::string path = dir.file("table");
  sw::test::writeBytes(path, "    5\n5\n");
  InFile in;
  in.open(path);
  int n = 0;
  double x = 0;
  in.read(Layout("(i5)"), {n});
  in.read(Layout("(e20.12)"), {x});
  EXPECT_EQ(n, 5);
  EXPECT_EQ(x, 5e-12);
}

}  // namespace
