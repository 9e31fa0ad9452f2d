#include "output/time_domain_files.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "core/fourier.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace sw::test {
namespace {

/// Lines of g15.4 output for values that print in fixed point with one decimal.
std::string g154Lines(std::initializer_list<const char*> fixed) {
  std::string out;
  for (const char* v : fixed) {
    std::string field(v);
    out += std::string(11 - field.size(), ' ') + field + "    \n";
  }
  return out;
}

/// The run parameters the time-domain files read.
struct Run {
  int nx = 1, ny = 1, nsnapt = 0, nt = 0;
  double dt = 0.1, delw = 0.3;
  int jw1 = 1, jw2 = 0, nrec = 0;
};

RunParams params(const Run& r) {
  RunParams par;
  par.nx = r.nx;
  par.ny = r.ny;
  par.nsnapt = r.nsnapt;
  par.nt = r.nt;
  par.dt = r.dt;
  par.delw = r.delw;
  par.jw1 = r.jw1;
  par.jw2 = r.jw2;
  par.nrec = r.nrec;
  return par;
}

/// g15.4 of zero: 0.000 right-justified in 11 columns, then 4 blanks (15 columns).
const std::string kZero = "      0.000    \n";

/// Six g15.4 zeros: an empty band's traces of two receivers of three samples.
const std::string kSixZeros = kZero + kZero + kZero + kZero + kZero + kZero;

struct Case {
  const char* what;
  Run run;
  std::function<void(Accumulators&)> fill;
  std::map<std::string, std::string> files;  ///< the directory afterwards
  std::map<std::string, std::string> before = {};
};

const Case kCases[] = {
    // delw = pi: the scaling (value * delw) / pi returns the value to four digits.
    {"two snapshots on a three by two grid",
     {.nx = 3, .ny = 2, .nsnapt = 2, .nt = 5, .delw = kPi},
     [](Accumulators& acc) {
       for (int k = 1; k <= 2; ++k)
         for (int j = 1; j <= 2; ++j)
           for (int i = 1; i <= 3; ++i) {
             acc.tpic(2, i, j, k) = 100.0 * k + 10.0 * j + i;
             acc.tpic(1, i, j, k) = -(100.0 * k + 10.0 * j + i);
           }
     },
     {{"fort.601", g154Lines({"111.0", "112.0", "113.0", "121.0", "122.0", "123.0"})},
      {"fort.602", g154Lines({"211.0", "212.0", "213.0", "221.0", "222.0", "223.0"})},
      {"fort.501", g154Lines({"-111.0", "-112.0", "-113.0", "-121.0", "-122.0", "-123.0"})},
      {"fort.502", g154Lines({"-211.0", "-212.0", "-213.0", "-221.0", "-222.0", "-223.0"})}}},
    {"snapshots scaled by delw / pi",
     {.nsnapt = 1, .delw = 0.5},
     [](Accumulators& acc) {
       acc.tpic(2, 1, 1, 1) = kPi;
       acc.tpic(1, 1, 1, 1) = 3.0 * kPi;
     },
     {{"fort.601", g154Lines({"0.5000"})}, {"fort.501", g154Lines({"1.500"})}}},
    {"nothing requested: no file", {.nx = 2, .ny = 2, .nt = 10, .jw2 = 3}, {}, {}},
    {"existing files replaced, units not written left alone",
     {.nsnapt = 1, .nt = 3, .jw2 = 1},
     {},
     {{"fort.601", kZero}, {"fort.501", kZero}, {"fort.60", "old trace\n"}},
     {{"fort.601", "old contents\nmore\n"}, {"fort.60", "old trace\n"}}},
    {"no time samples: one empty line per receiver",
     {.jw2 = 2, .nrec = 3},
     [](Accumulators& acc) {
       acc.fu(1, 1, 1) = Cx{1.0, 0.0};
     },
     {{"fort.60", "\n\n\n"}, {"fort.70", "\n\n\n"}}},
    {"empty band: zeros",
     {.nx = 2, .ny = 1, .nsnapt = 1, .nt = 3, .nrec = 2},
     {},
     {{"fort.601", kZero + kZero},
      {"fort.501", kZero + kZero},
      {"fort.60", kSixZeros},
      {"fort.70", kSixZeros}}},
    // delw = pi, dt = 2: the one frequency 0.5 pi gives cos(pi (i - 1)) = 1, -1, 1.
    {"traces are receiver blocks of their component",
     {.nt = 3, .dt = 2.0, .delw = kPi, .jw2 = 1, .nrec = 2},
     [](Accumulators& acc) {
       for (int r = 1; r <= 2; ++r) {
         acc.fu(1, 1, r) = Cx{1.0 * r, 0.0};
         acc.fu(2, 1, r) = Cx{10.0 * r, 0.0};
       }
     },
     {{"fort.60", g154Lines({"1.000", "-1.000", "1.000", "2.000", "-2.000", "2.000"})},
      {"fort.70", g154Lines({"10.00", "-10.00", "10.00", "20.00", "-20.00", "20.00"})}}},
    // Index 2 alone, at 1.5 pi with dt = 2: cos(3 pi (i - 1)) = 1, -1.
    {"trace synthesis ignores indices below the band",
     {.nt = 2, .dt = 2.0, .delw = kPi, .jw1 = 2, .jw2 = 2, .nrec = 1},
     [](Accumulators& acc) {
       acc.fu(1, 1, 1) = Cx{1000.0, 0.0};
       acc.fu(1, 2, 1) = Cx{1.0, 0.0};
     },
     {{"fort.60", g154Lines({"1.000", "-1.000"})}, {"fort.70", kZero + kZero}}},
};

TEST(TimeDomainFiles, WriteTheRequestedSnapshotsAndTraces) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    for (const auto& [name, text] : c.before) writeBytes(name, text);
    const RunParams par = params(c.run);
    Accumulators acc(par);
    if (c.fill) c.fill(acc);
    writeTimeDomainFiles(par, acc);
    EXPECT_EQ(readDir(dir.path()), c.files);
  }
}

TEST(TimeDomainFiles, TraceSamplesAreTheInverseTransformOfTheSpectrum) {
  ScratchDir dir;
  const int nw = 4, nt = 5;
  const double dt = 0.3, delw = 0.7;
  const RunParams par = params({.nt = nt, .dt = dt, .delw = delw, .jw2 = nw, .nrec = 1});
  Accumulators acc(par);
  std::vector<Cx> spectrum(nw + 1);
  for (int jw = 1; jw <= nw; ++jw) spectrum[jw] = acc.fu(1, jw, 1) = Cx{0.5 * jw, -0.25 * jw};
  writeTimeDomainFiles(par, acc);
  std::vector<double> f(nt + 1);
  inverseFourier(spectrum.data(), nw, f.data(), nt, dt, delw);
  std::istringstream got(readBytes("fort.60"));
  std::string line;
  for (int i = 1; i <= nt; ++i) {
    ASSERT_TRUE(std::getline(got, line));
    ASSERT_EQ(line.size(), 15u);
    EXPECT_NEAR(std::stod(line), f[i], 5e-4 * std::abs(f[i])) << i;
  }
  EXPECT_FALSE(std::getline(got, line));
}

}  // namespace
}  // namespace sw::test
