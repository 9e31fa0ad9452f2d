// Runs with a model file: the same files as the regions and tables of the same materials,
// the one line the log adds, refusals that leave nothing but the log, and the memory the
// moduli take against the estimate.

#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/memory.hpp"
#include "materials/grid_materials.hpp"
#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/model_file.hpp"
#include "support/run.hpp"

namespace sw::test {
namespace {

namespace fs = std::filesystem;

/// Two materials whose moduli are exact in the tables' twelve digits: M = rho vp^2 and
/// G = rho vs^2 in the deck's units (velocities of 3000 and 2000 with these 5 m elements).
const IsoMaterial kRock{Cx{2.25e7, 0.0}, Cx{7.225e6, 0.0}, 2.5};
const IsoMaterial kSoft{Cx{8.0e6, 0.0}, Cx{2.0e6, 0.0}, 2.0};

/// The deck's default grid with the soft material in its lower half.
TestDeck layeredDeck() {
  TestDeck d;
  d.nmat = 3;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {0.0, 50.0, 0.0, 20.0, 2}};
  return d;
}

/// The properties of layeredDeck as a property grid (velocities in the deck's units).
PropertyGrid layeredGrid(const TestDeck& d) {
  PropertyGrid g(d.nx, d.ny);
  g.referenceFrequency = d.freq;
  for (int row = 0; row < d.ny; ++row)
    for (int c = 0; c < d.nx; ++c) {
      const bool soft = row >= d.ny / 2;  // iy = ny - row <= ny / 2
      g.vp.push_back(soft ? 2000.0 : 3000.0);
      g.vs.push_back(soft ? 1000.0 : 1700.0);
      g.rho.push_back(soft ? 2.0 : 2.5);
    }
  return g;
}

/// The model file of a grid with velocities in km/s (the deck's m/ms).
void writeGridFile(const fs::path& path, const PropertyGrid& g) {
  ModelFileContents contents = modelFileOf(g);
  for (const char* name : {"vp", "vs"}) {
    ModelDataset& d = datasetOf(contents, name);
    for (double& v : d.values) v = v / 1000.0;
    d.units = "km/s";
  }
  writeModelFile(path.string(), contents);
}

TEST(ModelRun, AGridOfTheTablesMaterialsWritesTheirFilesBitForBit) {
  const TestDeck deck = layeredDeck();
  TempDir tabled, gridded;
  {
    ScratchDir here;
    deck.write();
    writeIsoTables({kRock, kSoft}, deck.npf);
    // Material 3, which no region uses, counts in the velocities: the rock again.
    AnisoMaterial rock3;
    rock3.p11 = rock3.p33 = kRock.m;
    rock3.p13 = kRock.m - 2.0 * kRock.g;
    rock3.p55 = rock3.p66 = kRock.g;
    rock3.rho = kRock.rho;
    writeAnisoTables({rock3}, deck.npf);
    copyFiles(here.path(), tabled.path());
  }
  {
    ScratchDir here;
    TestDeck withoutRegions = deck;
    withoutRegions.regions.clear();  // not read with a model file
    withoutRegions.terminator = false;
    withoutRegions.write();
    writeGridFile(here.path() / "earth.h5", layeredGrid(deck));
    copyFiles(here.path(), gridded.path());
  }
  const RunResult a = runProgram(tabled.path());
  const RunResult b = runProgram(gridded.path(), {"--model", "earth.h5"});
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;

  std::map<std::string, std::string> want = readDir(tabled.path());
  std::map<std::string, std::string> got = readDir(gridded.path());
  for (const char* input : {"inp_A", "p_modulus.freq", "s_modulus.freq", "bulk_density.mat",
                            "p11_interp.freq", "p13_interp.freq", "p33_interp.freq",
                            "p55_interp.freq", "p66_interp.freq"})
    want.erase(input);
  for (const char* input : {"inp_A", "earth.h5"}) {
    EXPECT_TRUE(got.count(input)) << input;
    got.erase(input);
  }
  const std::string logWant = withoutCpuTime(want["output"]), logGot = withoutCpuTime(got["output"]);
  want.erase("output");
  got.erase("output");
  ASSERT_EQ(fileNames(gridded.path()).size(), got.size() + 3);
  EXPECT_GE(got.size(), 4u);  // traces, snapshots, wavelet files
  for (const auto& [name, bytes] : want) {
    ASSERT_TRUE(got.count(name)) << name;
    EXPECT_TRUE(got[name] == bytes) << name << " differs";
  }
  EXPECT_EQ(got.size(), want.size());

  // The log: the tables' lines give way to one line, and the regions are not echoed.
  const std::string line =
      " material model: the model file earth.h5 (the material count, regions and tables of the "
      "deck are not used)\n";
  EXPECT_EQ(countOf(logGot, line), 1);
  EXPECT_EQ(countOf(logGot, "de unit"), 0);
  EXPECT_EQ(countOf(logGot, "material type number"), 0);
  EXPECT_GT(countOf(logWant, "material type number"), 0);
  const std::string velocities = "minimum  phase pp velocity";
  EXPECT_EQ(logGot.substr(logGot.find(velocities)).substr(0, 400),
            logWant.substr(logWant.find(velocities)).substr(0, 400));
}

TEST(ModelRun, ARefusedModelFileLeavesTheLogAloneAndEarlierResultsIntact) {
  TempDir run;
  {
    ScratchDir here;
    layeredDeck().write();
    ModelFileContents contents = modelFileOf(layeredGrid(layeredDeck()));
    datasetOf(contents, "rho").dims = {10, 8};  // the deck's (nx, ny), not (ny, nx)
    writeModelFile("model.h5", contents);
    writeBytes("fort.60", "an earlier result\n");
    copyFiles(here.path(), run.path());
  }
  const std::vector<std::string> before = fileNames(run.path());
  const RunResult r = runProgram(run.path(), {"--model", "model.h5"});
  EXPECT_EQ(r.status, 3);
  const std::string message =
      "model.h5: rho: shape (10, 8), expected (ny, nx) = (8, 10) of the deck";
  EXPECT_NE(r.err.find("stripwave: input error: " + message), std::string::npos) << r.err;
  std::vector<std::string> after = fileNames(run.path());
  std::erase(after, std::string("output"));
  EXPECT_EQ(after, before);
  EXPECT_EQ(readBytes(run.path() / "fort.60"), "an earlier result\n");
  EXPECT_EQ(lastLines(readBytes(run.path() / "output"), 1).front(), " input error: " + message);

  // Moduli that lose the edge roots within the band are refused before any work, the
  // frequency and the element named.
  {
    PropertyGrid g = layeredGrid(layeredDeck());
    g.epsilon.assign(g.elements(), -0.4);
    g.delta.assign(g.elements(), -0.068);
    g.tilt.assign(g.elements(), -145.5);
    g.qp.assign(g.elements(), 148.0);
    g.qs.assign(g.elements(), 148.0);
    g.qs[g.index(4, 3)] = 1.0;
    ModelFileContents contents = modelFileOf(g);
    writeModelFile((run.path() / "lossy.h5").string(), contents);
  }
  const RunResult lossy = runProgram(run.path(), {"--model", "lossy.h5"});
  EXPECT_EQ(lossy.status, 3);
  EXPECT_NE(lossy.err.find("Hz element (ix, iy) = (4, 3) [row 5, column 3] (qp = 148, qs = 1) "
                           "has moduli whose edge stiffness is not positive definite"),
            std::string::npos)
      << lossy.err;
  EXPECT_EQ(readBytes(run.path() / "fort.60"), "an earlier result\n");
  fs::remove(run.path() / "lossy.h5");

  // A missing model file is input the run cannot use, not a missing run file.
  const RunResult missing = runProgram(run.path(), {"--model", "none.h5"});
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.err.find("none.h5: cannot open the model file: no such file"),
            std::string::npos)
      << missing.err;
}

TEST(ModelRun, TheHelpNamesTheOption) {
  TempDir run;
  const RunResult r = runProgram(run.path(), {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--model FILE"), std::string::npos) << r.out;
  const RunResult bad = runProgram(run.path(), {"--model"});
  EXPECT_EQ(bad.status, 64);
}

TEST(ModelRun, TheMemoryEstimateCountsTheModelsStorage) {
  RunShape s;
  s.nx = 600;
  s.ny = 600;
  s.nfreq = 600;
  s.tableFreqs = 600;
  const double tabled = estimateMemory(s).grid;
  s.gridModel = true;
  const double gridded = estimateMemory(s).grid;
  // The moduli of a tilted attenuating grid with the quality factors kept while they are
  // formed: at most 60 MB at 600 x 600.
  EXPECT_EQ(gridded - tabled,
            600.0 * 600.0 * static_cast<double>(GridMaterials::peakBytesPerElement(true, true)));
  EXPECT_LE(gridded - tabled, 60e6);
}

/// A line "<label>: <n> kB" of /proc/self/status in bytes, or -1.
double statusBytes(const std::string& label) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(label + ":", 0) == 0) return 1024.0 * std::stod(line.substr(label.size() + 1));
  return -1.0;
}

TEST(ModelRun, FormingTheModuliOfAGridNeedsNoMoreThanTheEstimateCounts) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory hides the model's";
#endif
  // Every array of the grid and of its moduli in memory of its own, resident once
  // written, and given back when freed.
  ASSERT_EQ(mallopt(M_MMAP_THRESHOLD, 128 * 1024), 1);
  // A tilted attenuating grid with all eight datasets, as the model file's reading leaves
  // it; its elements anisotropic so that every part is formed.
  const int nx = 400, ny = 300;
  PropertyGrid g(nx, ny);
  g.referenceFrequency = 0.03;
  const std::size_t n = g.elements();
  g.vp.assign(n, 3.0);
  g.vs.assign(n, 1.5);
  g.rho.assign(n, 2.2);
  g.qp.assign(n, 80.0);
  g.qs.assign(n, 40.0);
  g.epsilon.assign(n, 0.1);
  g.delta.assign(n, 0.05);
  g.tilt.assign(n, 30.0);
  const double datasets = static_cast<double>(g.bytes());
  ASSERT_EQ(datasets, 64.0 * static_cast<double>(n));
  // A small grid first: the code the forming runs is resident before the peak is reset.
  {
    PropertyGrid small(2, 2);
    small.referenceFrequency = g.referenceFrequency;
    for (auto v : {&PropertyGrid::vp, &PropertyGrid::vs, &PropertyGrid::rho, &PropertyGrid::qp,
                   &PropertyGrid::qs, &PropertyGrid::epsilon, &PropertyGrid::delta,
                   &PropertyGrid::tilt})
      small.*v = std::vector<double>((g.*v).begin(), (g.*v).begin() + 4);
    const GridMaterials warm(std::move(small));
    EXPECT_EQ(warm.bytes(), 4u * GridMaterials::bytesPerElement(true, true));
  }

  // The peak from here on (clear_refs 5 resets it to the resident size).
  const double before = statusBytes("VmRSS");
  {
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
    reset.flush();
    if (!reset || before < 0.0 || statusBytes("VmHWM") > before + 1e6)
      GTEST_SKIP() << "the peak resident size cannot be reset here";
  }
  const GridMaterials materials(std::move(g));
  const double peak = statusBytes("VmHWM");
  // The model's storage at its most: the datasets as read were resident before.
  const double formed = peak - before + datasets;

  RunShape s;
  s.nx = nx;
  s.ny = ny;
  const double tabled = estimateMemory(s).grid;
  s.gridModel = true;
  const double counted = estimateMemory(s).grid - tabled;
  EXPECT_LE(formed, counted + 256.0 * 1024.0)
      << "formed " << bytesText(formed) << ", counted " << bytesText(counted);
  // What is held stays: the moduli and the grid's quality factors.
  EXPECT_GE(formed,
            0.98 * (static_cast<double>(materials.bytes()) + 16.0 * static_cast<double>(n)))
      << "formed " << bytesText(formed);
}

}  // namespace
}  // namespace sw::test
