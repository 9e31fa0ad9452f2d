#include "output/outime.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/fourier.hpp"

namespace sw {
namespace {

namespace fs = std::filesystem;

/// A fresh scratch directory made the working directory for the lifetime of the object.
class ScratchDir {
 public:
  ScratchDir() : old_(fs::current_path()) {
    std::string tmpl = (fs::temp_directory_path() / "outime-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    fs::current_path(dir_);
  }
  ~ScratchDir() {
    fs::current_path(old_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  /// Names of the files in the directory, sorted.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path old_, dir_;
};

std::string slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// Lines of g15.4 output for values that print in fixed point with one decimal.
std::string lines(std::initializer_list<const char*> fixed) {
  std::string out;
  for (const char* v : fixed) {
    std::string field(v);
    out += std::string(11 - field.size(), ' ') + field + "    \n";
  }
  return out;
}

/// g15.4 of zero: 0.000 right-justified in 11 columns, then 4 blanks (15 columns).
const std::string kZero = "      0.000    \n";

TEST(Outime, TwoSnapshotsOnAThreeByTwoGrid) {
  ScratchDir dir;
  const int nx = 3, ny = 2;
  Accumulators acc(nx, ny, 2, 1, 0);
  for (int k = 1; k <= 2; ++k)
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i <= nx; ++i) {
        acc.tpic(2, i, j, k) = 100.0 * k + 10.0 * j + i;
        acc.tpic(1, i, j, k) = -(100.0 * k + 10.0 * j + i);
      }
  // delw = pi: the scaling (value * delw) / pi returns the value to four digits.
  outime(nx, ny, 2, acc, 5, 0.1, kPi, 1, 0, 0);
  EXPECT_EQ(dir.files(),
            (std::vector<std::string>{"fort.501", "fort.502", "fort.601", "fort.602"}));
  EXPECT_EQ(slurp("fort.601"), lines({"111.0", "112.0", "113.0", "121.0", "122.0", "123.0"}));
  EXPECT_EQ(slurp("fort.602"), lines({"211.0", "212.0", "213.0", "221.0", "222.0", "223.0"}));
  EXPECT_EQ(slurp("fort.501"), lines({"-111.0", "-112.0", "-113.0", "-121.0", "-122.0", "-123.0"}));
  EXPECT_EQ(slurp("fort.502"), lines({"-211.0", "-212.0", "-213.0", "-221.0", "-222.0", "-223.0"}));
}

TEST(Outime, SnapshotsAreScaledByDelwOverPi) {
  ScratchDir dir;
  Accumulators acc(1, 1, 1, 1, 0);
  acc.tpic(2, 1, 1, 1) = kPi;
  acc.tpic(1, 1, 1, 1) = 3.0 * kPi;
  outime(1, 1, 1, acc, 0, 0.1, 0.5, 1, 0, 0);
  EXPECT_EQ(slurp("fort.601"), lines({"0.5000"}));
  EXPECT_EQ(slurp("fort.501"), lines({"1.500"}));
}

TEST(Outime, ZeroPrintsInFixedPoint) {
  ScratchDir dir;
  Accumulators acc(1, 1, 1, 1, 0);
  outime(1, 1, 1, acc, 0, 0.1, 0.3, 1, 1, 0);
  EXPECT_EQ(slurp("fort.601"), kZero);
  EXPECT_EQ(slurp("fort.501"), kZero);
}

TEST(Outime, NothingRequestedCreatesNoFile) {
  ScratchDir dir;
  Accumulators acc(2, 2, 0, 3, 0);
  outime(2, 2, 0, acc, 10, 0.1, 0.3, 1, 3, 0);
  EXPECT_TRUE(dir.files().empty());
}

TEST(Outime, ExistingFilesAreReplacedAndUnwrittenUnitsLeftAlone) {
  ScratchDir dir;
  std::ofstream("fort.601") << "old contents\nmore\n";
  std::ofstream("fort.60") << "old trace\n";
  Accumulators acc(1, 1, 1, 1, 0);
  outime(1, 1, 1, acc, 3, 0.1, 0.3, 1, 1, 0);
  EXPECT_EQ(slurp("fort.601"), kZero);
  EXPECT_EQ(slurp("fort.60"), "old trace\n");
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"fort.501", "fort.60", "fort.601"}));
}

TEST(Outime, NoTimeSamplesGiveOneEmptyLinePerReceiver) {
  ScratchDir dir;
  Accumulators acc(1, 1, 0, 2, 3);
  acc.fu(1, 1, 1) = Cx{1.0, 0.0};
  outime(1, 1, 0, acc, 0, 0.1, 0.3, 1, 2, 3);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"fort.60", "fort.70"}));
  EXPECT_EQ(slurp("fort.60"), "\n\n\n");
  EXPECT_EQ(slurp("fort.70"), "\n\n\n");
}

TEST(Outime, EmptyBandWritesZeros) {
  ScratchDir dir;
  const int nx = 2, ny = 1, nrec = 2, nt = 3;
  Accumulators acc(nx, ny, 1, 1, nrec);
  outime(nx, ny, 1, acc, nt, 0.1, 0.3, 1, 0, nrec);
  EXPECT_EQ(slurp("fort.601"), kZero + kZero);
  EXPECT_EQ(slurp("fort.501"), kZero + kZero);
  std::string six;
  for (int k = 0; k < nrec * nt; ++k) six += kZero;
  EXPECT_EQ(slurp("fort.60"), six);
  EXPECT_EQ(slurp("fort.70"), six);
}

TEST(Outime, TracesAreReceiverBlocksOfTheirComponent) {
  ScratchDir dir;
  const int nrec = 2, nt = 3;
  Accumulators acc(1, 1, 0, 1, nrec);
  for (int r = 1; r <= nrec; ++r) {
    acc.fu(1, 1, r) = Cx{1.0 * r, 0.0};
    acc.fu(2, 1, r) = Cx{10.0 * r, 0.0};
  }
  // delw = pi, dt = 2: the one frequency 0.5 pi gives cos(pi (i - 1)) = 1, -1, 1.
  outime(1, 1, 0, acc, nt, 2.0, kPi, 1, 1, nrec);
  EXPECT_EQ(slurp("fort.60"), lines({"1.000", "-1.000", "1.000", "2.000", "-2.000", "2.000"}));
  EXPECT_EQ(slurp("fort.70"), lines({"10.00", "-10.00", "10.00", "20.00", "-20.00", "20.00"}));
}

TEST(Outime, TraceSynthesisIgnoresIndicesBelowTheBand) {
  ScratchDir dir;
  Accumulators acc(1, 1, 0, 2, 1);
  acc.fu(1, 1, 1) = Cx{1000.0, 0.0};
  acc.fu(1, 2, 1) = Cx{1.0, 0.0};
  // Index 2 alone, at 1.5 pi with dt = 2: cos(3 pi (i - 1)) = 1, -1.
  outime(1, 1, 0, acc, 2, 2.0, kPi, 2, 2, 1);
  EXPECT_EQ(slurp("fort.60"), lines({"1.000", "-1.000"}));
  EXPECT_EQ(slurp("fort.70"), kZero + kZero);
}

TEST(Outime, TraceSamplesAreTheInverseTransformOfTheSpectrum) {
  ScratchDir dir;
  const int nw = 4, nt = 5;
  const double dt = 0.3, delw = 0.7;
  Accumulators acc(1, 1, 0, nw, 1);
  std::vector<Cx> spectrum(nw + 1);
  for (int jw = 1; jw <= nw; ++jw) spectrum[jw] = acc.fu(1, jw, 1) = Cx{0.5 * jw, -0.25 * jw};
  outime(1, 1, 0, acc, nt, dt, delw, 1, nw, 1);
  std::vector<double> f(nt + 1);
  finvu2(spectrum.data(), nw, f.data(), nt, dt, delw);
  std::istringstream got(slurp("fort.60"));
  std::string line;
  for (int i = 1; i <= nt; ++i) {
    ASSERT_TRUE(std::getline(got, line));
    ASSERT_EQ(line.size(), 15u);
    EXPECT_NEAR(std::stod(line), f[i], 5e-4 * std::abs(f[i])) << i;
  }
  EXPECT_FALSE(std::getline(got, line));
}

}  // namespace
}  // namespace sw
