// Whole runs with the lane kernels give the scalar kernels' results bit for bit: every
// edge array after the run, the snapshot and trace accumulators and the log, on grids
// that fill the lanes exactly, leave lanes empty, or hold a single strip or element.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/frequency_loop.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"

namespace {

struct Outcome {
  sw::EdgeFields fields;
  sw::Accumulators acc;
  std::string log;
};

struct GridCase {
  int nx, ny, nfreq, threads;
  int jsou, ksou, kdel;
};

Outcome runCase(const GridCase& c, sw::Kernels kernels) {
  sw::test::LayeredModel model(c.nx, c.ny, c.nfreq);
  model.par.jsou = c.jsou;
  model.par.ksou = c.ksou;
  model.par.kdel = c.kdel;
  model.par.nsnapt = 2;
  model.par.itsnap(1) = 3;
  model.par.itsnap(2) = 17;
  model.par.nrec = 2;
  model.par.irx(1) = 1;
  model.par.iry(1) = c.ny;
  model.par.irx(2) = c.nx;
  model.par.iry(2) = 1;
  model.par.dt = 1e-3;
  model.par.maxiter = 130;  // passes 100 and beyond log their global error
  model.par.maxlow = 30;
  model.par.jwlow = 1;

  sw::test::TempDir dir;
  Outcome out;
  {
    sw::FrequencyLoop loop(model.par, model.mat, model.sour, c.threads, kernels);
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
    out.fields = loop.fields();
    out.acc = loop.accumulators();
  }
  out.log = sw::test::readBytes(dir.file("output"));
  return out;
}

template <class T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

class LaneKernelsTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(LaneKernelsTest, WholeRunMatchesTheScalarKernelsBitForBit) {
  const GridCase c = GetParam();
  const Outcome scalar = runCase(c, sw::Kernels::scalar);
  const Outcome lanes = runCase(c, sw::Kernels::lanes);
  EXPECT_EQ(lanes.log, scalar.log);
  const auto s = scalar.fields.arrays();
  const auto l = lanes.fields.arrays();
  for (std::size_t a = 0; a < s.size(); ++a)
    EXPECT_EQ(std::memcmp(s[a]->data(), l[a]->data(), s[a]->size() * sizeof(sw::Cx)), 0)
        << "array " << a;
  EXPECT_TRUE(sameBits(scalar.acc.tpic1, lanes.acc.tpic1));
  EXPECT_TRUE(sameBits(scalar.acc.tpic2, lanes.acc.tpic2));
  EXPECT_TRUE(sameBits(scalar.acc.fu1, lanes.acc.fu1));
  EXPECT_TRUE(sameBits(scalar.acc.fu2, lanes.acc.fu2));
}

INSTANTIATE_TEST_SUITE_P(
    Grids, LaneKernelsTest,
    ::testing::Values(GridCase{9, 7, 3, 1, 3, 3, 1},    // lanes left empty in both parities
                      GridCase{12, 16, 2, 2, 5, 8, 2},  // lanes filled exactly (up to 8)
                      GridCase{6, 19, 2, 3, 6, 19, 3},  // source in the top strip, last element
                      GridCase{5, 1, 2, 1, 1, 1, 1},    // a single strip
                      GridCase{1, 6, 2, 2, 1, 2, 1},    // strips of one element
                      GridCase{4, 2, 2, 5, 2, 1, 0}));  // no source pattern: zero fields

}  // namespace
