#include "support/loop_run.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/files.hpp"
#include "support/numbers.hpp"

namespace sw::test {

namespace {

template <class T>
bool sameVectorBits(const std::vector<T>& a, const std::vector<T>& b) {
  // Empty vectors may hold no storage at all: memcmp must not see their null data.
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace

LoopOutcome runLoop(const LayeredModel& model, int threads, Kernels kernels,
                    Acceleration acceleration) {
  TempDir dir;
  LoopOutcome out;
  {
    FrequencyLoop loop(model.par, model.tabled, model.sour, threads, kernels, acceleration);
    rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
    out.fields = loop.fields();
    out.acc = loop.accumulators();
  }
  out.log = readBytes(dir.file("output"));
  return out;
}

void expectSameResults(const LoopOutcome& got, const LoopOutcome& want, const std::string& what) {
  EXPECT_EQ(got.log, want.log) << what;
  const auto g = got.fields.arrays();
  const auto w = want.fields.arrays();
  for (std::size_t a = 0; a < w.size(); ++a)
    EXPECT_TRUE(sameBits(*g[a], *w[a])) << what << ", edge array " << a;
  EXPECT_TRUE(sameVectorBits(got.acc.tpic1, want.acc.tpic1)) << what;
  EXPECT_TRUE(sameVectorBits(got.acc.tpic2, want.acc.tpic2)) << what;
  EXPECT_TRUE(sameVectorBits(got.acc.fu1, want.acc.fu1)) << what;
  EXPECT_TRUE(sameVectorBits(got.acc.fu2, want.acc.fu2)) << what;
}

}  // namespace sw::test
