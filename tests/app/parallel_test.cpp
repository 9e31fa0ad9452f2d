// Strips of one parity, blocks of rows of the interface parameters, rows of the
// relaxation and the snapshot sums run on several threads; the results must be those of
// one thread, bit for bit.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "app/frequency_loop.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"
#include "support/numbers.hpp"

namespace {

struct Outcome {
  sw::EdgeFields fields;
  sw::Accumulators acc;
  std::string log;
};

Outcome runWithThreads(int threads) {
  // Rows enough for three blocks of the interface parameters.
  sw::test::LayeredModel model(9, 2 * sw::kRowBlock + 5, 4);
  model.par.nsnapt = 2;
  model.par.itsnap(1) = 3;
  model.par.itsnap(2) = 17;
  model.par.nrec = 2;
  model.par.irx(1) = 2;
  model.par.iry(1) = 6;
  model.par.irx(2) = 8;
  model.par.iry(2) = 1;
  model.par.dt = 1e-3;
  model.par.maxiter = 60;
  model.par.maxlow = 25;
  model.par.jwlow = 2;

  sw::test::TempDir dir;
  Outcome out;
  {
    sw::FrequencyLoop loop(model.par, model.mat, model.sour, threads);
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
    out.fields = loop.fields();
    out.acc = loop.accumulators();
  }
  out.log = sw::test::readBytes(dir.file("output"));
  return out;
}

TEST(Parallel, AnyThreadCountGivesTheSerialResultsBitForBit) {
  const Outcome serial = runWithThreads(1);
  for (const int threads : {2, 3, 5}) {
    const Outcome parallel = runWithThreads(threads);
    EXPECT_EQ(parallel.log, serial.log) << threads << " threads";
    const auto s = serial.fields.arrays();
    const auto p = parallel.fields.arrays();
    for (std::size_t a = 0; a < s.size(); ++a)
      EXPECT_TRUE(sw::test::sameBits(*s[a], *p[a])) << threads << " threads, array " << a;
    EXPECT_EQ(std::memcmp(serial.acc.tpic1.data(), parallel.acc.tpic1.data(),
                          serial.acc.tpic1.size() * sizeof(double)),
              0);
    EXPECT_EQ(std::memcmp(serial.acc.tpic2.data(), parallel.acc.tpic2.data(),
                          serial.acc.tpic2.size() * sizeof(double)),
              0);
    EXPECT_EQ(std::memcmp(serial.acc.fu1.data(), parallel.acc.fu1.data(),
                          serial.acc.fu1.size() * sizeof(sw::Cx)),
              0);
    EXPECT_EQ(std::memcmp(serial.acc.fu2.data(), parallel.acc.fu2.data(),
                          serial.acc.fu2.size() * sizeof(sw::Cx)),
              0);
  }
}

}  // namespace
