// Whole runs under faults of the run directory: links and things that cannot be replaced
// at output names, a full disk, files of earlier runs, two runs at once, signals.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::countOf;
using sw::test::readBytes;
using sw::test::RunResult;
using sw::test::TempDir;
using sw::test::withoutCpuTime;

const fs::path& layeredCase() {
  static const fs::path dir = sw::test::dataDir() / "regression" / "layered_small";
  return dir;
}

/// The stored result file `name` of the layered case.
std::string expectedFile(const std::string& name) {
  return readBytes((layeredCase() / "expected" / name).string());
}

/// Copies the layered case's input into `dir`.
void layeredInput(const fs::path& dir) { sw::test::copyFiles(layeredCase() / "input", dir); }

/// The layered case with iteration limits of 3000 passes that are never reached: a run
/// of some seconds whose log grows frequency by frequency.
void slowLayeredInput(const fs::path& dir) {
  layeredInput(dir);
  const std::string deck = (dir / "inp_A").string();
  sw::test::replaceLine(deck, 1, " 3000");                  // maxlow
  sw::test::replaceLine(deck, 20, " 3000");                 // maxiter
  sw::test::replaceLine(deck, 21, "      0.00000000E+00");  // reduc: never converges
}

/// The content of `path`, empty while there is no such file.
std::string readIfThere(const fs::path& path) { return fs::exists(path) ? readBytes(path) : ""; }

/// Frequencies begun in a log.
int frequenciesIn(const std::string& log) { return countOf(log, "\n  frequency number"); }

/// Frequencies begun in the log of a run in `dir`, 0 while there is no log.
int frequenciesLogged(const TempDir& dir) {
  return frequenciesIn(readIfThere(dir.path() / "output"));
}

/// Names in `dir` of files (or links) that OutFile would leave only when interrupted.
std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.find(".stripwave-") != std::string::npos) names.push_back(n);
  }
  return names;
}

/// What stands at an output name when a run starts.
enum class Kind { Link, LinkToFullDevice, DanglingLink, Directory, ReadOnlyFile, FullDevice };

/// Each kind's name, and the run's message about it (% for the output name); empty when
/// the run goes through.
const std::pair<const char*, const char*> kKinds[] = {
    {"link", ""},
    {"link_to_full_device", ""},
    {"dangling_link", ""},
    {"directory", "cannot create %: Is a directory"},
    {"read_only", "cannot create %: the file there is read-only; make it writable or remove it"},
    {"full_device", "cannot create %: a character device stands there, not a regular file; remove it or run elsewhere"}};

struct AtOutputName {
  const char* name;
  Kind kind;
};

/// Puts what the case says at its name in `dir`; false when it cannot be made here.
bool place(const TempDir& dir, const AtOutputName& c) {
  const fs::path at = dir.path() / c.name;
  switch (c.kind) {
    case Kind::Link:
      sw::test::writeBytes(dir.file("victim"), "precious\n");
      fs::create_symlink("victim", at);
      return true;
    case Kind::LinkToFullDevice:
      fs::create_symlink("/dev/full", at);
      return true;
    case Kind::DanglingLink:
      fs::create_symlink("nowhere", at);
      return true;
    case Kind::Directory:
      fs::create_directory(at);
      return true;
    case Kind::ReadOnlyFile:
      sw::test::writeBytes(at, "earlier\n");
      fs::permissions(at, fs::perms::owner_read);
      return true;
    case Kind::FullDevice:
      // A node of the always-full device: refused, as every special file.
      return mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  }
  return false;
}

class ObstacleAtOutputName : public testing::TestWithParam<AtOutputName> {};

TEST_P(ObstacleAtOutputName, IsReplacedOrStopsTheRunNamingIt) {
  const AtOutputName& c = GetParam();
  TempDir dir;
  layeredInput(dir.path());
  if (!place(dir, c)) GTEST_SKIP() << "device nodes cannot be made here";
  const auto type = fs::symlink_status(dir.path() / c.name).type();

  const RunResult r = sw::test::runProgram(dir.path());
  EXPECT_TRUE(temporaries(dir.path()).empty());
  std::string error = kKinds[static_cast<int>(c.kind)].second;
  if (error.empty()) {
    // A link is replaced by the file; what it pointed to is left alone.
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::is_symlink(dir.path() / c.name));
    const std::string got = readBytes(dir.file(c.name)), want = expectedFile(c.name);
    EXPECT_TRUE(std::string(c.name) == "output" ? withoutCpuTime(got) == withoutCpuTime(want)
                                                : got == want);
    if (c.kind == Kind::Link) EXPECT_EQ(readBytes(dir.file("victim")), "precious\n");
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
    return;
  }
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "stripwave: " + error.replace(error.find('%'), 1, c.name) + "\n");
  EXPECT_EQ(fs::symlink_status(dir.path() / c.name).type(), type);
  if (c.kind == Kind::ReadOnlyFile) EXPECT_EQ(readBytes(dir.file(c.name)), "earlier\n");
  // What cannot be replaced is found when the files are opened, before the first frequency.
  if (std::string(c.name) != "output")
    EXPECT_EQ(frequenciesIn(readBytes(dir.file("output"))), 0);
  if (std::string(c.name) != "fort.70") EXPECT_FALSE(fs::exists(dir.path() / "fort.70"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObstacleAtOutputName,
    // clang-format off
    testing::Values(
        AtOutputName{"fort.70", Kind::Link}, AtOutputName{"fort.601", Kind::Link},
        AtOutputName{"output", Kind::Link}, AtOutputName{"fuente_sin_filtrar", Kind::Link},
        AtOutputName{"espectro_filtrado", Kind::Link},
        AtOutputName{"fuente_sin_filtrar", Kind::LinkToFullDevice},
        AtOutputName{"fort.602", Kind::DanglingLink},
        AtOutputName{"fort.60", Kind::Directory}, AtOutputName{"fort.601", Kind::Directory},
        AtOutputName{"fort.70", Kind::ReadOnlyFile}, AtOutputName{"fort.502", Kind::ReadOnlyFile},
        AtOutputName{"fuente_sin_filtrar", Kind::FullDevice},
        AtOutputName{"espectro_sin_filtrar", Kind::FullDevice},
        AtOutputName{"espectro_filtrado", Kind::FullDevice},
        AtOutputName{"fuente_filtrada", Kind::FullDevice}, AtOutputName{"fort.601", Kind::FullDevice},
        AtOutputName{"fort.70", Kind::FullDevice}, AtOutputName{"output", Kind::FullDevice}),
    // clang-format on
    [](const testing::TestParamInfo<AtOutputName>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (ch == '.') ch = '_';
      return n + "_" + kKinds[static_cast<int>(info.param.kind)].first;
    });

TEST(RunFiles, BlockedSnapshotNameOfARunWithMoreThan99IsFoundBeforeTheFirstFrequency) {
  sw::test::ScratchDir dir;
  sw::test::TestDeck deck;
  deck.nsnapt = 120;  // names fort.5001 .. fort.5120
  deck.tsnap.assign(120, 0.02);
  sw::test::writeRun(deck);
  fs::create_directory(dir.path() / "fort.5120");
  const RunResult r = sw::test::runProgram(dir.path(), {"--lift-limits"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "stripwave: cannot create fort.5120: Is a directory\n");
  EXPECT_EQ(frequenciesIn(readBytes(dir.file("output"))), 0);
}

TEST(RunFiles, FullDiskAtAWaveletFileNamesItAndKeepsTheEarlierFile) {
  sw::test::ScratchDir dir;
  sw::test::TestDeck deck;
  deck.stime = 2.0;  // 1200 samples: 49 kB per wavelet file, more than the log by then
  sw::test::writeRun(deck);
  sw::test::writeBytes(dir.file("fuente_sin_filtrar"), "earlier run\n");
  const RunResult r = sw::test::runProgram(dir.path(), {}, {16384});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "stripwave: cannot write fuente_sin_filtrar: File too large\n");
  EXPECT_EQ(readBytes(dir.file("fuente_sin_filtrar")), "earlier run\n");
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(RunFiles, FullDiskAtTheTracesKeepsTheEarlierSetOfResultFiles) {
  sw::test::ScratchDir dir;
  sw::test::TestDeck deck;
  deck.stime = 0.5;  // 300 samples: 12 kB per wavelet file, 48 kB of traces
  deck.nrec = 10;
  sw::test::writeRun(deck);
  const std::vector<std::string> results = {"fort.601", "fort.602", "fort.501",
                                            "fort.502", "fort.60",  "fort.70"};
  for (const std::string& n : results) sw::test::writeBytes(dir.file(n), "earlier " + n + "\n");
  const RunResult r = sw::test::runProgram(dir.path(), {}, {24576});
  EXPECT_EQ(r.status, 2);
  // The checkpoint, larger than the room left, is given up first without ending the run.
  EXPECT_EQ(r.err,
            "stripwave: warning: cannot write .stripwave.checkpoint: File too large; the run "
            "goes on without keeping further checkpoints\n"
            "stripwave: cannot write fort.60: File too large\n");
  for (const std::string& n : results) EXPECT_EQ(readBytes(dir.file(n)), "earlier " + n + "\n");
  EXPECT_TRUE(temporaries(dir.path()).empty());
  EXPECT_FALSE(fs::exists(dir.path() / ".stripwave.checkpoint"));
}

TEST(RunFiles, FifoAtAnInputOrOutputNameIsRefusedAtOnce) {
  // Opening a FIFO for reading or writing would wait for the other end; the run neither
  // waits nor computes, and leaves the FIFO and the earlier files as they were.
  const std::pair<const char*, const char*> cases[] = {
      {"fort.70", "cannot create fort.70"},
      {"fort.601", "cannot create fort.601"},
      {"output", "cannot create output"},
      {"fuente_filtrada", "cannot create fuente_filtrada"},
      {"inp_A", "cannot open inp_A"},
      {"s_modulus.freq", "cannot open s_modulus.freq"},
      {"p33_interp.freq", "cannot open p33_interp.freq"}};
  for (const auto& [name, what] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    layeredInput(dir.path());
    fs::remove(dir.path() / name);
    ASSERT_EQ(mkfifo(dir.file(name).c_str(), 0666), 0);
    const RunResult r = sw::test::runProgram(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "stripwave: " + std::string(what) +
                         ": a FIFO (named pipe) stands there, not a regular file" +
                         (std::string(what).rfind("cannot create", 0) == 0
                              ? "; remove it or run elsewhere"
                              : "") +
                         "\n");
    EXPECT_EQ(fs::symlink_status(dir.path() / name).type(), fs::file_type::fifo);
    if (std::string(name) != "output")
      EXPECT_EQ(frequenciesIn(readIfThere(dir.path() / "output")), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "fort.70") && std::string(name) != "fort.70");
    EXPECT_TRUE(temporaries(dir.path()).empty());
  }
}

TEST(RunFiles, MissingAnisotropicTableIsNamedAndNotCreated) {
  TempDir dir;
  layeredInput(dir.path());  // nmat = 3: the anisotropic tables are read
  fs::remove(dir.path() / "p55_interp.freq");
  fs::remove(dir.path() / "p66_interp.freq");
  const RunResult r = sw::test::runProgram(dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "stripwave: cannot open p55_interp.freq: No such file or directory (the anisotropic "
            "tables are read when nmat is 3 or more; nmat = 3)\n");
  EXPECT_FALSE(fs::exists(dir.path() / "p55_interp.freq"));
  EXPECT_FALSE(fs::exists(dir.path() / "p66_interp.freq"));
  EXPECT_TRUE(fs::exists(dir.path() / "p11_interp.freq"));
}

struct StaleCase {
  const char* what;
  std::vector<std::string> earlier;  ///< snapshot files an earlier run left
  const char* removed;               ///< the line that names them
};

TEST(RunFiles, SnapshotFilesOfAnEarlierRunWithMoreSnapshotsAreRemoved) {
  std::vector<std::string> many;
  for (int k = 3; k <= 25; ++k)
    for (const char* c : {"5", "6"})
      many.push_back("fort." + std::string(c) + (k < 10 ? "0" : "") + std::to_string(k));
  const StaleCase cases[] = {
      {"a few", {"fort.503", "fort.603", "fort.525"}, "fort.503, fort.525, fort.603"},
      {"names of a run with more than 99",
       {"fort.5001", "fort.6120", "fort.6002"},
       "fort.5001, fort.6002, fort.6120"},
      {"many", many,
       "fort.503, fort.504, fort.505, fort.506, fort.507, fort.508, fort.509, fort.510, ... (46 "
       "files)"},
  };
  // Not snapshot names, or not files: left alone.
  const std::vector<std::string> others = {"fort.500", "fort.5123456", "fort.5x1", "fort.7001"};
  for (const StaleCase& c : cases) {
    TempDir dir;
    layeredInput(dir.path());  // two snapshots
    for (const std::string& n : c.earlier) sw::test::writeBytes(dir.file(n), "earlier\n");
    for (const std::string& n : others) sw::test::writeBytes(dir.file(n), "the user's\n");
    fs::create_directory(dir.path() / "fort.650");
    const RunResult r = sw::test::runProgram(dir.path());
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.err, std::string("stripwave: removed the snapshot files of an earlier run with "
                                 "more snapshots: ") +
                         c.removed + "\n")
        << c.what;
    for (const std::string& n : c.earlier) EXPECT_FALSE(fs::exists(dir.file(n))) << n;
    for (const std::string& n : others) EXPECT_TRUE(fs::exists(dir.file(n))) << n;
    EXPECT_TRUE(fs::is_directory(dir.path() / "fort.650"));
    EXPECT_TRUE(readBytes(dir.file("fort.602")) == expectedFile("fort.602"));
  }
}

TEST(RunFiles, ASignalWhileTheFilesArePutInPlaceWaitsForTheSetAndEndsWithItsStatus) {
  TempDir dir;
  layeredInput(dir.path());
  sw::test::writeBytes(dir.file("fort.601"), "earlier\n");
  sw::test::RunLimits with;
  with.preload = STRIPWAVE_SIGNAL_ON_RENAME;
  with.environment["STRIPWAVE_SIGNAL_ON_RENAME"] = "fort.501";  // in the middle of the set
  const RunResult r = sw::test::runProgram(dir.path(), {}, with);
  EXPECT_EQ(r.status, 143);
  EXPECT_EQ(r.err,
            "stripwave: interrupted by SIGTERM while the result files were put in place; they "
            "were all written and are this run's\n");
  for (const char* f : {"fort.601", "fort.602", "fort.501", "fort.502", "fort.60", "fort.70"})
    EXPECT_TRUE(readBytes(dir.file(f)) == expectedFile(f)) << f;
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(RunFiles, TemporaryFilesOfAKilledRunAreRemovedByTheNextRun) {
  TempDir dir;
  layeredInput(dir.path());
  sw::test::writeBytes(dir.file(".fort.70.stripwave-4242-3"), "half written\n");
  sw::test::writeBytes(dir.file(".notes.txt"), "the user's own\n");
  const RunResult r = sw::test::runProgram(dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "stripwave: removed temporary files of an interrupted run: "
            ".fort.70.stripwave-4242-3\n");
  EXPECT_TRUE(temporaries(dir.path()).empty());
  EXPECT_TRUE(fs::exists(dir.path() / ".notes.txt"));
}

TEST(RunLock, SecondRunInTheSameDirectoryIsRefusedAndTouchesNothing) {
  TempDir dir;
  slowLayeredInput(dir.path());
  sw::test::BackgroundRun first(dir.path());
  ASSERT_TRUE(sw::test::waitUntil([&] { return frequenciesLogged(dir) >= 1; }));

  const RunResult second = sw::test::runProgram(dir.path());
  EXPECT_EQ(second.status, 6);
  EXPECT_EQ(second.err,
            "stripwave: another stripwave run is using this directory; not started (run in "
            "another directory, or wait for the first run to end)\n");

  first.signal(SIGTERM);
  const RunResult r = first.wait();
  EXPECT_EQ(r.status, 143);
  const std::string log = readBytes(dir.file("output"));
  EXPECT_EQ(countOf(log, "Global # elements  in x-direction"), 1) << "one run's log only";

  // Once the first run has ended the directory is free again.
  sw::test::writeBytes(dir.file("inp_A"), readBytes((layeredCase() / "input" / "inp_A").string()));
  EXPECT_EQ(sw::test::runProgram(dir.path()).status, 0);
}

struct SignalCase {
  int signal;
  int status;
  const char* name;
  std::vector<std::string> args;
};

class InterruptedRun : public testing::TestWithParam<SignalCase> {};

TEST_P(InterruptedRun, StopsWithinAPassAndLeavesNoHalfWrittenFile) {
  const SignalCase& c = GetParam();
  TempDir dir, whole;
  slowLayeredInput(dir.path());
  // Results of an earlier run stay as they were.
  sw::test::writeBytes(dir.file("fort.601"), "earlier\n");

  sw::test::BackgroundRun run(dir.path(), c.args);
  ASSERT_TRUE(sw::test::waitUntil([&] { return frequenciesLogged(dir) >= 2; }));
  run.signal(c.signal);
  const RunResult r = run.wait();

  EXPECT_EQ(r.status, c.status);
  const std::string log = readBytes(dir.file("output"));
  const int frequencies = frequenciesIn(log);
  // The log runs up to the frequency being solved and ends with where the run stopped,
  // which the standard error stream repeats.
  const std::string stopped = std::string(" interrupted by ") + c.name + " at frequency number " +
                              std::to_string(25 - frequencies) + ", ";
  const std::size_t last = log.rfind('\n', log.size() - 2) + 1;
  const std::string lastLine = log.substr(last, log.size() - 1 - last);
  EXPECT_EQ(lastLine.rfind(stopped, 0), 0u) << lastLine;
  EXPECT_EQ(r.err.rfind("stripwave:" + lastLine + "; ", 0), 0u) << r.err;
  EXPECT_NE(log.find("\n  frequency number    24 "), std::string::npos);
  EXPECT_NE(log.find("\n  NO convergence  for freq. #    24 after   3000 inner iterations"),
            std::string::npos);

  // Nothing half-written: the wavelet files are complete, no result file appeared, and
  // no temporary file is left.
  for (const char* w :
       {"fuente_sin_filtrar", "fuente_filtrada", "espectro_sin_filtrar", "espectro_filtrado"})
    EXPECT_TRUE(readBytes(dir.file(w)) == expectedFile(w)) << w;
  for (const char* f : {"fort.60", "fort.70", "fort.501", "fort.502", "fort.602"})
    EXPECT_FALSE(fs::exists(dir.path() / f)) << f;
  EXPECT_EQ(readBytes(dir.file("fort.601")), "earlier\n");
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST(InterruptedRunProgress, InPlaceLineIsEndedBeforeWhereTheRunStopped) {
  TempDir dir;
  slowLayeredInput(dir.path());
  const RunResult r = sw::test::runProgramOnTerminal(dir.path(), {}, [&dir](int pid) {
    ASSERT_TRUE(sw::test::waitUntil([&] { return frequenciesLogged(dir) >= 2; }));
    kill(pid, SIGINT);
  });
  EXPECT_EQ(r.status, 130);
  const std::size_t at = r.err.find("stripwave: interrupted by SIGINT at frequency number ");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_NE(r.err.rfind("freq ", at), std::string::npos) << "no progress shown: " << r.err;
  EXPECT_EQ(r.err[at - 1], '\n') << r.err;
  EXPECT_EQ(r.err.find("frequencies converged"), std::string::npos) << "no summary";
}

TEST(InterruptedRunProgress, LinesEndBeforeWhereTheRunStopped) {
  TempDir dir;
  slowLayeredInput(dir.path());
  sw::test::BackgroundRun run(dir.path(), {"--progress"});
  ASSERT_TRUE(sw::test::waitUntil([&] { return frequenciesLogged(dir) >= 3; }));
  run.signal(SIGTERM);
  const RunResult r = run.wait();
  EXPECT_EQ(r.status, 143);
  const std::vector<std::string> lines = sw::test::lines(r.err);
  ASSERT_GE(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines.front().rfind("freq 1/24 (#24, ", 0), 0u) << r.err;
  EXPECT_EQ(lines.back().rfind("stripwave: interrupted by SIGTERM at frequency number ", 0), 0u)
      << r.err;
  EXPECT_EQ(r.err.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRun,
                         testing::Values(SignalCase{SIGINT, 130, "SIGINT", {}},
                                         SignalCase{SIGTERM, 143, "SIGTERM", {}},
                                         SignalCase{SIGINT, 130, "SIGINT", {"--accelerate-all"}}),
                         [](const testing::TestParamInfo<SignalCase>& info) {
                           return std::string(info.param.name) +
                                  (info.param.args.empty() ? "" : "_accelerated");
                         });

}  // namespace
