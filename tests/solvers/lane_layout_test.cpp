// The lane layout holds only for systems whose terms it can hold: a medium with the
// stretches of a matched layer (complex density rho sx sy) runs on the scalar kernels
// even when the lanes are asked for, and gives their results bit for bit; the tables'
// media keep the lanes.

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <vector>

#include "materials/layered_materials.hpp"
#include "support/solver_run.hpp"

namespace {

using sw::Kernels;

TEST(LaneLayout, HoldsOnlyWhenEveryAssumptionDoes) {
  EXPECT_TRUE(sw::laneLayoutHolds(sw::LaneLayoutTerms{}));
  EXPECT_FALSE(sw::laneLayoutHolds(sw::LaneLayoutTerms{false, true, true}));
  EXPECT_FALSE(sw::laneLayoutHolds(sw::LaneLayoutTerms{true, false, true}));
  EXPECT_FALSE(sw::laneLayoutHolds(sw::LaneLayoutTerms{true, true, false}));
}

TEST(LaneLayout, TheTablesKeepTheLanesAStretchedMediumTakesTheScalarKernels) {
  const sw::test::LayeredModel model(9, 11, 2);
  EXPECT_TRUE(sw::laneLayoutHolds(sw::systemTerms(model.tabled)));
  EXPECT_EQ(sw::kernelsFor(Kernels::lanes, model.tabled), Kernels::lanes);
  EXPECT_EQ(sw::kernelsFor(Kernels::scalar, model.tabled), Kernels::scalar);

  const sw::MatchedLayer layer{3, true, 9, 11};
  const sw::LayeredMaterials stretched(model.tabled, layer, model.par.h);
  const sw::LaneLayoutTerms terms = sw::systemTerms(stretched);
  EXPECT_FALSE(terms.realDensity);
  EXPECT_FALSE(terms.imaginaryHorizontal);
  EXPECT_TRUE(terms.symmetricBlocks);
  EXPECT_EQ(sw::kernelsFor(Kernels::lanes, stretched), Kernels::scalar);

  const sw::StripGrid tabledGrid{9, 11, model.par.h};
  EXPECT_EQ(sw::StripIteration(tabledGrid, model.tabled,
                               sw::StripIterationSettings{1, Kernels::lanes})
                .kernels(),
            Kernels::lanes);
}

/// Every edge array of the fields after solving frequency indices 2 and 1 (the second
/// from the first's warm start) of the model's grid with a layer around it.
std::vector<sw::Cx> layeredFields(const sw::test::LayeredModel& model, Kernels requested,
                                  int threads, Kernels& ran, std::vector<int>& passes) {
  const sw::MatchedLayer layer{3, true, model.par.nx, model.par.ny};
  const sw::LayeredMaterials stretched(model.tabled, layer, model.par.h);
  sw::StripIteration it(sw::StripGrid{layer.extendedNx(), layer.extendedNy(), model.par.h},
                        stretched, sw::StripIterationSettings{threads, requested});
  ran = it.kernels();
  std::vector<sw::Cx> out;
  for (const int jw : {2, 1}) {
    sw::test::factorAt(it, model, jw);
    sw::PointSource src = sw::test::deckSource(model, jw);
    src.jsou += layer.left();
    src.ksou += layer.bottom();
    const sw::IterationLimits limits{40, 1e-30};
    sw::test::IgnorePasses quiet;
    sw::SolveOutcome o;
    it.solve(jw, std::span<const sw::PointSource>(&src, 1), limits, quiet,
             std::span<sw::SolveOutcome>(&o, 1));
    passes.push_back(o.passes);
    for (const sw::Grid<sw::Cx>* g : it.fields(0).arrays())
      out.insert(out.end(), g->data(), g->data() + g->size());
  }
  return out;
}

TEST(LaneLayout, AStretchedSystemAskedForTheLanesGivesTheScalarResultsBitForBit) {
  const sw::test::LayeredModel model(10, 9, 2);
  Kernels ranScalar{}, ranLanes{}, ranLanes2{};
  std::vector<int> pScalar, pLanes, pLanes2;
  const std::vector<sw::Cx> scalar = layeredFields(model, Kernels::scalar, 1, ranScalar, pScalar);
  const std::vector<sw::Cx> lanes = layeredFields(model, Kernels::lanes, 1, ranLanes, pLanes);
  const std::vector<sw::Cx> lanes2 = layeredFields(model, Kernels::lanes, 2, ranLanes2, pLanes2);
  EXPECT_EQ(ranScalar, Kernels::scalar);
  EXPECT_EQ(ranLanes, Kernels::scalar);
  EXPECT_EQ(ranLanes2, Kernels::scalar);
  EXPECT_EQ(pLanes, pScalar);
  EXPECT_EQ(pLanes2, pScalar);
  ASSERT_EQ(lanes.size(), scalar.size());
  ASSERT_EQ(lanes2.size(), scalar.size());
  EXPECT_EQ(std::memcmp(lanes.data(), scalar.data(), scalar.size() * sizeof(sw::Cx)), 0);
  EXPECT_EQ(std::memcmp(lanes2.data(), scalar.data(), scalar.size() * sizeof(sw::Cx)), 0);
  // The fields are those of a solve: not all zero.
  bool nonzero = false;
  for (const sw::Cx& v : scalar) nonzero = nonzero || v.re != 0.0 || v.im != 0.0;
  EXPECT_TRUE(nonzero);
}

}  // namespace
