// The input routine against the reference runs: the log up to the end of the input echo
// (the whole log for runs that stop in it), the four wavelet files byte for byte, the
// outcome and the set of files left behind.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/input_harness.hpp"

namespace swtest {
namespace {

const char* const kWaveletFiles[4] = {"fuente_sin_filtrar", "fuente_filtrada",
                                      "espectro_sin_filtrar", "espectro_filtrado"};

/// The part of a complete run's log written by the input routine: everything before the
/// driver's first line (" jw1 , jw2  in main =", with its leading empty record).
std::string inputEcho(const std::string& log) {
  const std::size_t pos = log.find("jw1 , jw2  in main =");
  if (pos == std::string::npos) return log;
  const std::size_t lineStart = log.rfind('\n', pos) + 1;
  return log.substr(0, lineStart - 1);
}

bool isDriverFile(const std::string& name) {
  return name.rfind("fort.", 0) == 0 || name == "exit_status" || name == "stderr.txt" ||
         name == "RUNTIME_ERROR";
}

class GoldenInput : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenInput, MatchesReferenceRun) {
  const std::string name = GetParam();
  const fs::path caseDir = dataDir() / "golden" / name;
  const fs::path expected = caseDir / "expected";
  const bool normalRun = name[0] == 'n';

  ScratchDir dir;
  std::set<std::string> inputs;
  for (const auto& e : fs::directory_iterator(caseDir / "input")) {
    const fs::path target = dir.path() / e.path().filename();
    fs::copy_file(e.path(), target);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    inputs.insert(e.path().filename().string());
  }

  const InputRun r = runReadInput();

  // Outcome: a runtime error of the file layer, a coded stop (the exit status is the
  // code's low 8 bits), a plain stop, or a normal return.
  if (fs::exists(expected / "RUNTIME_ERROR")) {
    EXPECT_TRUE(r.outcome.kind == Outcome::Kind::IoFailed ||
                r.outcome.kind == Outcome::Kind::ConnectFailed)
        << r.outcome.message;
    EXPECT_FALSE(r.outcome.message.empty());
  } else {
    const int status = std::stoi(readFile(expected / "exit_status"));
    const std::string err = readFile(expected / "stderr.txt");
    if (err.rfind("STOP ", 0) == 0) {
      const int code = std::stoi(err.substr(5));
      EXPECT_EQ(code & 0xff, status);
      ASSERT_EQ(r.outcome.kind, Outcome::Kind::Stopped) << r.outcome.message;
      ASSERT_TRUE(r.outcome.code.has_value());
      EXPECT_EQ(*r.outcome.code, code);
    } else if (!normalRun) {
      EXPECT_EQ(status, 0);
      ASSERT_EQ(r.outcome.kind, Outcome::Kind::Stopped) << r.outcome.message;
      EXPECT_FALSE(r.outcome.code.has_value());
    } else {
      EXPECT_EQ(status, 0);
      ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
    }
  }

  // The log and the wavelet files.
  if (fs::exists(expected / "output")) {
    const std::string want = readFile(expected / "output");
    EXPECT_EQ(r.log, normalRun ? inputEcho(want) : want);
  } else {
    EXPECT_FALSE(fs::exists(dir.path() / "output"));
  }
  for (const char* w : kWaveletFiles) {
    if (fs::exists(expected / w))
      EXPECT_EQ(readFile(dir.path() / w), readFile(expected / w)) << w;
    else
      EXPECT_FALSE(fs::exists(dir.path() / w)) << w;
  }

  // Files left behind: the inputs and what the reference run left, except the driver's.
  std::set<std::string> want = inputs;
  for (const auto& e : fs::directory_iterator(expected)) {
    const std::string f = e.path().filename().string();
    if (!isDriverFile(f)) want.insert(f);
  }
  const std::vector<std::string> got = dir.files();
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), want);
  for (const auto& e : fs::directory_iterator(expected)) {
    const std::string f = e.path().filename().string();
    if (f.find("_interp.freq") != std::string::npos)
      EXPECT_EQ(readFile(dir.path() / f), readFile(e.path())) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoldenInput,
    ::testing::Values("e01_nx601", "e03_nsnapf4", "e05_nmat21", "e06_nt2501", "e08_jsou_high",
                      "e11_nrec1", "e12_nyquist", "e14_npul", "e15_region_ixi", "e19_region_numat",
                      "e21_missing_table", "e23_malformed_number", "n01_homog_iso",
                      "n03_aniso_block", "n06_nx1", "n07_ny1", "n09_reduc_gt1", "n11_noconv_200",
                      "n13_perclow0", "n15_f3zero", "n19_nt0", "n20_freeform_quirks", "n21_snap25",
                      "n24_limestone_rect"),
    [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace swtest
