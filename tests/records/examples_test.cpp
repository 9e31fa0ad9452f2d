// Worked examples of the record notation, compared as whole strings.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/in_file.hpp"
#include "records/layout.hpp"
#include "records/render.hpp"
#include "support/files.hpp"

namespace {

using sw::rec::Layout;
using sw::rec::Value;

std::string written(const char* layout, std::initializer_list<Value> values) {
  std::string out;
  sw::rec::render(out, Layout(layout), std::span<const Value>(values.begin(), values.size()));
  return out;
}

TEST(RecordExamples, IntegerTooWideIsAsterisks) {
  std::string out;
  sw::rec::putInt(out, 5, 123456);
  EXPECT_EQ(out, "*****");
  EXPECT_EQ(written("(i5)", {123456}), "*****\n");
  EXPECT_EQ(written("(i5)", {-1234}), "-1234\n");
  EXPECT_EQ(written("(i5)", {-12345}), "*****\n");
}

TEST(RecordExamples, ExponentialForm) {
  std::string out;
  sw::rec::putExp(out, 20, 8, 123.456);
  EXPECT_EQ(out, "      0.12345600E+03");
  out.clear();
  sw::rec::putExp(out, 20, 8, -0.001);
  EXPECT_EQ(out, "     -0.10000000E-02");
  out.clear();
  sw::rec::putExp(out, 20, 8, 0.0);
  EXPECT_EQ(out, "      0.00000000E+00");
  out.clear();
  sw::rec::putExp(out, 20, 8, 1.2345678e100);
  EXPECT_EQ(out, "      0.12345678+101");
}

TEST(RecordExamples, GeneralForm) {
  std::string out;
  sw::rec::putGen(out, 15, 4, 1.5);
  EXPECT_EQ(out, "      1.500    ");
  out.clear();
  sw::rec::putGen(out, 15, 4, 12345.6);
  EXPECT_EQ(out, "     0.1235E+05");
  out.clear();
  sw::rec::putGen(out, 15, 4, 0.0);
  EXPECT_EQ(out, "      0.000    ");
}

TEST(RecordExamples, LogLinesWithLiteralsAndSlashes) {
  EXPECT_EQ(written("(/1x,' mesh size h= ',e20.8,' m')", {5.0}),
            "\n  mesh size h=       0.50000000E+01 m\n");
  EXPECT_EQ(written("(/1x,' jw1 , jw2  in main = ',i5,4x,i5)", {3}),
            "\n  jw1 , jw2  in main =     3\n");
  EXPECT_EQ(written("(i5,3x)", {5}), "    5\n");
}

TEST(RecordExamples, LayoutReuse) {
  std::vector<double> v{1, 2, 3, 4, 5, 6, 7};
  std::string out;
  sw::rec::renderReals(out, Layout("(3e20.12)"), v);
  EXPECT_EQ(out,
            "  0.100000000000E+01  0.200000000000E+01  0.300000000000E+01\n"
            "  0.400000000000E+01  0.500000000000E+01  0.600000000000E+01\n"
            "  0.700000000000E+01\n");
}

TEST(RecordExamples, FreeFormEchoLine) {
  std::string out;
  const std::vector<Value> items{"de unit 7, i,rhob(i)=", 1, 2.3};
  sw::rec::renderList(out, items);
  EXPECT_EQ(out, " de unit 7, i,rhob(i)=           1   2.2999999999999998     \n");
}

TEST(RecordExamples, FreeFormReadOfThreeValuesOverTwoRecords) {
  sw::test::TempDir dir;
  const std::string path = dir.file("deck");
  sw::test::writeBytes(path, "1 2\n3 4\n5 6\n");
  sw::rec::InFile in;
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

TEST(RecordExamples, FormattedReadWithImpliedPoint) {
  sw::test::TempDir dir;
  const std::string path = dir.file("table");
  sw::test::writeBytes(path, "    5\n5\n");
  sw::rec::InFile in;
  in.open(path);
  int n = 0;
  double x = 0;
  in.read(Layout("(i5)"), {n});
  in.read(Layout("(e20.12)"), {x});
  EXPECT_EQ(n, 5);
  EXPECT_EQ(x, 5e-12);
}

}  // namespace
