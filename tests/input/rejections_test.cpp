// Every stop and every rejection of the input step, one row each: the deck that causes
// it, the outcome, and the last lines of the log at that point.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "input/run_files.hpp"
#include "support/input_harness.hpp"

namespace sw::test {
namespace {

using Kind = Outcome::Kind;

/// The log line of a rejection.
std::string rejected(const std::string& message) { return " input error: " + message; }

/// Where a case ends: the flags of a row.
enum : int {
  kSlow = 1,          ///< the deck runs with writeSlowRun instead of writeRun
  kWholeLog = 2,      ///< `tail` is the whole log
  kAfterWavelet = 4,  ///< the wavelet files have been written
};

struct Case {
  const char* name;
  void (*change)(TestDeck&);
  Kind kind;
  std::optional<int> code;        ///< stop code; none for a plain stop
  std::string message;            ///< reason of a stop, message of a rejection or file error
  std::vector<std::string> tail;  ///< last lines of the log (before a rejection's line)
  int flags = 0;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::string kNx = " Global # elements  in x-direction nx = ";
const std::string kNy = " Global # elements  in y-direction ny = ";
const std::string kKey = "       key==2 for type 2 source(gaussian derivative)             ;    ";
const std::string kRoundedY = " rounded ysize =       0.40000000E+02 m ";
const std::string kMute = " mute in samples   ntmute =     3";
const std::string kWrong = "  wrong material ";
const std::string kUnits =
    "; shorten stime, or check the units: with lengths in m and times in ms the velocities are "
    "in m/ms, and velocities in m/s make dt 1000 times too small";
const std::string kNoTables =
    ", which is treated as isotropic but has no isotropic tables (they "
    "hold materials 1 .. nmat-1 = ";

// clang-format off
const Case kCases[] = {
  {"Nx601", [](TestDeck& d) { d.nx = 601; }, Kind::Stopped, 77,
   "nx = 601 elements along x is above the limit of 600",
   {"", kNx + "  601", kNy + "    8"}, kWholeLog},
  {"Ny601", [](TestDeck& d) { d.nx = 600; d.ny = 601; }, Kind::Stopped, 77,
   "ny = 601 elements along y is above the limit of 600",
   {"", kNx + "  600", kNy + "  601"}, kWholeLog},
  {"NxZero", [](TestDeck& d) { d.nx = 0; }, Kind::InputRejected, {},
   "inp_A: nx = 0, the number of elements along x must be at least 1",
   {"", kNx + "    0", kNy + "    8"}, kWholeLog},
  {"NyNegative", [](TestDeck& d) { d.ny = -3; }, Kind::InputRejected, {},
   "inp_A: ny = -3, the number of elements along y must be at least 1", {kNy + "   -3"}},
  {"XsizeZero", [](TestDeck& d) { d.xsize = 0.0; }, Kind::InputRejected, {},
   "inp_A: xsize = 0, the domain size must be positive",
   {"  domain size xsize =       0.00000000E+00 m"}},
  {"YsizeNegative", [](TestDeck& d) { d.ysize = -40.0; }, Kind::InputRejected, {},
   "inp_A: ysize = -40, the domain size must be positive",
   {"  domain size ysize =      -0.40000000E+02 m"}},
  {"FourFrequencySnapshots", [](TestDeck& d) { d.nsnapf = 4; d.fsnap = {10, 20, 30, 40}; },
   Kind::Stopped, 5183,
   "nsnapf = 4 frequency snapshots is above the limit of 3",
   {"  rounded xsize =       0.50000000E+02 m ; ", kRoundedY, ""}},
  {"TwentySixTimeSnapshots", [](TestDeck& d) { d.nsnapt = 26; d.tsnap.assign(26, 0.01); },
   Kind::Stopped, 6183, "nsnapt = 26 time snapshots is above the limit of 25", {kRoundedY, ""}},
  {"NpfZero", [](TestDeck& d) { d.npf = 0; }, Kind::InputRejected, {},
   "inp_A: npf = 0, the frequency axis needs at least 1 point",
   {" in the frequency domain    npf  =     0"}},
  {"KeyZero", [](TestDeck& d) { d.key = 0; }, Kind::InputRejected, {},
   "inp_A: key = 0, the wavelet type must be 1, 2, 3 or 4", {kKey + "0", "", ""}},
  {"KeyFive", [](TestDeck& d) { d.key = 5; }, Kind::InputRejected, {},
   "inp_A: key = 5, the wavelet type must be 1, 2, 3 or 4", {kKey + "5", "", ""}},
  {"F4Zero", [](TestDeck& d) { d.f4 = 0.0; }, Kind::InputRejected, {},
   "inp_A: f4 = 0 kHz, the highest corner frequency must be positive (it fixes the frequency "
   "step f4 / npf)", {" f4  =       0.00000000E+00   khz ", "", ""}},
  {"F4Infinite", [](TestDeck& d) { d.f4 = HUGE_VAL; }, Kind::InputRejected, {},
   "inp_A: f4 = inf kHz, the highest corner frequency must be finite (it fixes the frequency "
   "step f4 / npf)", {" f4  =             Infinity   khz ", "", ""}},
  {"TwentyOneMaterials", [](TestDeck& d) { d.nmat = 21; }, Kind::Stopped, 222,
   "nmat = 21 materials is above the limit of 20",
   {"   reduc =  relative error required        0.10000000E-02"}},
  {"OneMaterial", [](TestDeck& d) { d.nmat = 1; }, Kind::InputRejected, {},
   "inp_A: nmat = 1, at least 2 materials are needed (the isotropic tables hold materials 1 "
   ".. nmat-1)", {"  number of materials (nmat) =     1"}},
  {"ThreeThousandTimeSteps", [](TestDeck& d) { d.stime = 300.0; d.f4 = 2.0; },
   Kind::Stopped, 999,
   "nt = stime / dt = 300 / 0.1 = 3000 time samples is above the limit of 2500 (dt = h / "
   "largest P velocity = 5 / 50)" + kUnits,
   {"", "  time step  dt =       0.10000000E+00 msec", "", "", "",
   "  number of time steps  nt =   3000", "", ""}, kSlow},
  {"HugeSimulationTime", [](TestDeck& d) { d.stime = 1.0e300; }, Kind::Stopped, 999,
   "nt = stime / dt = 1e+300 / 0.0016666667 = 6e+302 time samples is above the limit of 2500 "
   "(dt = h / largest P velocity = 5 / 3000)" + kUnits,
   {"  number of time steps  nt = ******", "", ""}},
  {"SourceOnTheFarEdge", [](TestDeck& d) { grid10(d); d.xsou = 100.0; },  // jsou = nx + 1
   Kind::Stopped, 666,
   "the source at xsou = 100 lies in element jsou = 11, outside 1 .. nx = 10 (the grid spans 0 "
   "<= xsou < 100)",
   {"   mute in msec  tmute =       0.10000000E-01", kMute, "", "", "  wrong jsou =    11"}},
  {"SourceLeftAndBelowTheGrid", [](TestDeck& d) { grid10(d); d.xsou = d.ysou = -15.0; },
   Kind::Stopped, 666,
   "the source at xsou = -15 lies in element jsou = 0, outside 1 .. nx = 10 (the grid spans 0 "
   "<= xsou < 100)",
   {"  wrong jsou =     0"}},  // jsou is checked first
  {"SourceAboveTheGrid", [](TestDeck& d) { grid10(d); d.xsou = 99.9; d.ysou = 100.0; },
   Kind::Stopped, 666,
   "the source at ysou = 100 lies in element ksou = 11, outside 1 .. ny = 10 (the grid spans 0 "
   "<= ysou < 100)",
   {"", "  wrong ksou =    11"}},
  {"TwoHundredAndOneReceivers",
   [](TestDeck& d) { grid10(d); d.nrec = 201; d.xsou = 1000.0; },
   Kind::Stopped, 9920,
   "nrec = 201 receivers is above the limit of 200",
   {kMute, ""}},  // before the source checks
  {"OneReceiver", [](TestDeck& d) { grid10(d); d.nrec = 1; },  // after the line's echo
   Kind::Stopped, {},
   "nrec = 1, at least 2 receivers are needed (the receiver line runs from the first receiver "
   "to the last)",
   {"  number of receivers, nrec =     1", "  xinic    5.0000000000000000     ", "",
    "  yinic    35.000000000000000     ", "", "  xfin    45.000000000000000     ", "",
    "  yfin    35.000000000000000     ", ""}},
  {"F4AboveTheNyquistFrequency",
   [](TestDeck& d) { d.stime = 5.0; d.freq = 0.5; d.f3 = 1.5; d.npf = 10; d.f4 = 5.01; },
   Kind::Stopped, 98765,
   "f4 = 5.01 is above the Nyquist frequency 1 / (2 dt) = 5 of the time step dt = 0.1 (h / "
   "largest P velocity); lower f4 or the element size h, or check the units (with lengths in m "
   "and times in ms, frequencies are in kHz and velocities in m/ms)",
   {"  nyquist frequency =       0.50000000E+01 khz"}, kSlow},
  {"BandAbove600", [](TestDeck& d) { d.npf = 601; }, Kind::Stopped, 33377,
   "jw2 = 601 frequency indices (int(f4 / delf + 1) - 1, delf = f4 / npf) is above the limit "
   "of 600; lower npf",
   {" jw1 - jw2 - jwlow       1    601    120"}},  // the record of index 601 is read
  {"PulseAbove2500Samples", [](TestDeck& d) { d.key = 2; d.freq = 0.001; }, Kind::Stopped,
   12345,
   "the type-2 pulse of freq = 0.001 lasts 3750 (7.5 / freq), npul = 2250001 samples of dt = "
   "0.0016666667, above the limit of 2500; raise freq, or check the units of freq and of the "
   "velocities",
   {"  pulse length in samples      89"}},
  {"ZeroWavelet", [](TestDeck& d) { d.stime = 0.0025; }, Kind::InputRejected, {},
   "the source wavelet of type 1 is zero at all 1 samples and cannot be normalised",
   {" jw1 - jw2 - jwlow       1      6      1"}},  // one sample, at t = 0
  {"RegionIxi", [](TestDeck& d) { d.regions.push_back({60, 70, 0, 40, 1}); }, Kind::Stopped,
   {},
   "the region of inp_A lines 37-41 starts at element ixi = 13, outside 1 .. nx = 10 (xi = 60)",
   {"", "", kWrong + "description  ixi =    13"}, kAfterWavelet},
  {"RegionIyi", [](TestDeck& d) { d.regions.push_back({0, 50, -10, 40, 1}); }, Kind::Stopped,
   {},
   "the region of inp_A lines 37-41 starts at element iyi = 0, outside 1 .. ny = 8 (yi = -10)",
   {"", "", kWrong + "description  iyi =     0"}, kAfterWavelet},
  {"RegionIxf", [](TestDeck& d) { d.regions.push_back({0, 60, 0, 40, 1}); }, Kind::Stopped,
   {},
   "the region of inp_A lines 37-41 ends at element ixf = 12, outside 1 .. nx = 10 (xf = 60)",
   {"", "", kWrong + "description  ixf =    12"}, kAfterWavelet},
  {"RegionIyf", [](TestDeck& d) { d.regions.push_back({0, 50, 0, 100, 1}); }, Kind::Stopped,
   {},
   "the region of inp_A lines 37-41 ends at element iyf = 20, outside 1 .. ny = 8 (yf = 100)",
   {"", "", kWrong + "description  iyf =    20"}, kAfterWavelet},
  {"RegionMaterialAboveNmat", [](TestDeck& d) { d.regions.push_back({0, 50, 0, 40, 3}); },
   Kind::Stopped, {},
   "the region of inp_A lines 37-41 has material numat = 3, outside 1 .. nmat = 2",
   {"", "", kWrong + "number numat  =     3"}, kAfterWavelet},
  {"RegionMaterialZero", [](TestDeck& d) { d.regions.push_back({0, 50, 0, 40, 0}); },
   Kind::Stopped, {},
   "the region of inp_A lines 37-41 has material numat = 0, outside 1 .. nmat = 2",
   {"", "", kWrong + "number numat  =     0"}, kAfterWavelet},
  {"RegionChecksInOrder", [](TestDeck& d) { d.regions = {{60, 70, -10, 100, 7}}; },
   Kind::Stopped, {},
   "the region of inp_A lines 32-36 starts at element ixi = 13, outside 1 .. nx = 10 (xi = 60)",
   {kWrong + "description  ixi =    13"}, kAfterWavelet},
  {"UncoveredElement", [](TestDeck& d) { d.regions = {{0, 25, 0, 40, 1}}; },
   Kind::InputRejected, {},
   "inp_A: element (6, 1) lies in no material region (material number 0)",
   {" material type number  numat  =     0", ""}, kAfterWavelet},
  {"IsotropicMaterialWithoutTables",
   [](TestDeck& d) { d.regions.push_back({10, 20, 10, 20, 2}); },
   Kind::InputRejected, {}, "inp_A: element (3, 3) has material 2" + kNoTables + "1)", {},
   kAfterWavelet},
  {"HighestMaterialHasOnlyAnisotropicTables",
   [](TestDeck& d) { d.nmat = 4; d.regions.push_back({10, 20, 10, 20, 4}); },
   Kind::InputRejected, {}, "inp_A: element (3, 3) has material 4" + kNoTables + "3)", {},
   kAfterWavelet},
  {"DeckWithoutTerminator", [](TestDeck& d) { d.terminator = false; }, Kind::IoFailed, {},
   "inp_A, record 37: end of file while reading 4 values with (e20.8)", {}, kAfterWavelet},
};
// clang-format on

class Rejections : public ::testing::TestWithParam<Case> {};

TEST_P(Rejections, EndTheInputAtTheirPlace) {
  const Case& c = GetParam();
  ScratchDir dir;
  TestDeck d;
  c.change(d);
  const InputRun r = readDeck(d, (c.flags & kSlow) != 0);
  ASSERT_EQ(r.outcome.kind, c.kind) << r.outcome.message;
  EXPECT_EQ(r.outcome.code, c.code);
  std::vector<std::string> tail = c.tail;
  if (c.kind == Kind::InputRejected) tail.push_back(rejected(c.message));
  if (!c.message.empty()) EXPECT_EQ(r.outcome.message, c.message);
  if ((c.flags & kWholeLog) != 0)
    EXPECT_EQ(lines(r.log), tail);
  else
    EXPECT_EQ(lastLines(r.log, static_cast<int>(tail.size())), tail);
  if ((c.flags & kAfterWavelet) == 0)
    for (const char* f :
         {files::kWavelet, files::kFilteredWavelet, files::kSpectrum, files::kFilteredSpectrum})
      EXPECT_EQ(readBytes(f), "") << f;
}

INSTANTIATE_TEST_SUITE_P(Input, Rejections, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace sw::test
