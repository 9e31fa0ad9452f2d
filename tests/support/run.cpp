#include "support/run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace sw::test {

namespace {

/// argv of the program: "stripwave" and `args`, null-terminated.
std::vector<char*> programArgv(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>("stripwave")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

/// Waits for the child and fills in its status and peak resident size.
void reap(pid_t pid, RunResult& r) {
  int wstatus = 0;
  rusage ru{};
  wait4(pid, &wstatus, 0, &ru);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.peakKb = ru.ru_maxrss;
}

/// Makes `file` the descriptor `fd` of this process; false when it cannot be opened.
bool redirect(int fd, const char* file, int flags) {
  const int f = open(file, flags, 0644);
  if (f < 0) return false;
  dup2(f, fd);
  close(f);
  return true;
}

/// Starts the program in `dir` with its standard streams going to `outFile` and `errFile`.
pid_t startProgram(const fs::path& dir, const std::vector<std::string>& args,
                   const std::string& outFile, const std::string& errFile,
                   const RunLimits& limits) {
  std::vector<char*> argv = programArgv(args);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!redirect(STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC)) _exit(126);
    if (!redirect(STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC)) _exit(126);
    if (limits.fileSizeBytes >= 0) {
      rlimit l{};
      getrlimit(RLIMIT_FSIZE, &l);
      l.rlim_cur = static_cast<rlim_t>(limits.fileSizeBytes);
      setrlimit(RLIMIT_FSIZE, &l);
    }
    if (limits.addressSpaceBytes >= 0) {
      rlimit l{};
      getrlimit(RLIMIT_AS, &l);
      l.rlim_cur = static_cast<rlim_t>(limits.addressSpaceBytes);
      setrlimit(RLIMIT_AS, &l);
    }
    if (limits.openFiles >= 0) {
      const rlimit l{static_cast<rlim_t>(limits.openFiles), static_cast<rlim_t>(limits.openFiles)};
      setrlimit(RLIMIT_NOFILE, &l);
    }
    for (const auto& [name, value] : limits.environment) setenv(name.c_str(), value.c_str(), 1);
    if (!limits.preload.empty()) {
      setenv("LD_PRELOAD", limits.preload.c_str(), 1);
      // A sanitizer's runtime then comes second; it works so.
      const char* asan = getenv("ASAN_OPTIONS");
      const std::string options = std::string(asan != nullptr ? asan : "") +
                                  (asan != nullptr && *asan != 0 ? ":" : "") +
                                  "verify_asan_link_order=0";
      setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    execv(STRIPWAVE_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

RunResult waitProgram(pid_t pid, const std::string& outFile, const std::string& errFile) {
  RunResult r;
  reap(pid, r);
  r.out = readBytes(outFile);
  r.fullErr = readBytes(errFile);
  r.err = withoutWrapAroundWarning(r.fullErr);
  return r;
}

}  // namespace

RunResult runProgram(const fs::path& dir, const std::vector<std::string>& args,
                     const RunLimits& limits) {
  TempDir streams;
  const std::string outFile = streams.file("stdout"), errFile = streams.file("stderr");
  return waitProgram(startProgram(dir, args, outFile, errFile, limits), outFile, errFile);
}

BackgroundRun::BackgroundRun(const fs::path& dir, const std::vector<std::string>& args)
    : outFile_(streams_.file("stdout")), errFile_(streams_.file("stderr")) {
  pid_ = startProgram(dir, args, outFile_, errFile_, {});
}

BackgroundRun::~BackgroundRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void BackgroundRun::signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

RunResult BackgroundRun::wait() {
  const RunResult r = waitProgram(pid_, outFile_, errFile_);
  pid_ = -1;
  return r;
}

bool waitUntil(const std::function<bool()>& ready, double seconds) {
  for (int k = 0; k < static_cast<int>(seconds * 100); ++k) {
    if (ready()) return true;
    usleep(10000);
  }
  return ready();
}

RunResult runProgramOnTerminal(const fs::path& dir, const std::vector<std::string>& args,
                               const std::function<void(int pid)>& meanwhile) {
  std::vector<char*> argv = programArgv(args);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!redirect(STDOUT_FILENO, "/dev/null", O_WRONLY)) _exit(126);
    execv(STRIPWAVE_BINARY, argv.data());
    _exit(127);
  }
  if (meanwhile) meanwhile(pid);
  RunResult r;
  char buf[4096];
  for (;;) {
    const ssize_t got = read(master, buf, sizeof buf);
    if (got <= 0) break;  // EIO once the child has closed the terminal
    r.fullErr.append(buf, static_cast<std::size_t>(got));
  }
  close(master);
  reap(pid, r);
  r.err = withoutWrapAroundWarning(r.fullErr);
  return r;
}

std::string withoutCpuTime(const std::string& log) {
  std::string out;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(pos, end - pos);
    out += line.rfind(" tiempo=", 0) == 0 ? std::string(" tiempo=<cpu>") : line;
    out += '\n';
    pos = end + 1;
  }
  return out;
}

void copyFiles(const fs::path& from, const fs::path& to) {
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file()) fs::copy_file(e.path(), to / e.path().filename());
}

void expectStoredFiles(const fs::path& caseDir, const fs::path& runDir) {
  auto expected = readDir(caseDir / "expected");
  for (const char* status : {"exit_status", "stderr.txt", "RUNTIME_ERROR"}) expected.erase(status);
  auto actual = readDir(runDir);
  for (const auto& e : fs::directory_iterator(caseDir / "input"))
    actual.erase(e.path().filename().string());
  std::vector<std::string> expectedNames, actualNames;
  for (const auto& [name, text] : expected) expectedNames.push_back(name);
  for (const auto& [name, text] : actual) actualNames.push_back(name);
  EXPECT_EQ(actualNames, expectedNames) << "files left behind";
  for (const auto& [name, text] : expected) {
    auto it = actual.find(name);
    if (it == actual.end()) continue;
    if (name == "output")
      EXPECT_EQ(withoutCpuTime(it->second), withoutCpuTime(text)) << "file " << name;
    else
      EXPECT_TRUE(it->second == text) << "file " << name << " differs";
  }
}

std::vector<LoggedFrequency> loggedFrequencies(const std::string& log) {
  static const std::regex line(
      R"((NO )?convergence  for freq. # +(\d+) +(?:achieved in|after) +(\d+) inner iterations *\n)"
      R"( relative error value(?: reduction)? = +(\S+))");
  std::vector<LoggedFrequency> out;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
    out.push_back(
        {std::stoi((*it)[2]), std::stoi((*it)[3]), !(*it)[1].matched, std::stod((*it)[4])});
  return out;
}

std::map<std::string, std::string> readDir(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path().filename().string()] = readBytes(e.path().string());
  return files;
}

std::string withoutWrapAroundWarning(const std::string& err) {
  std::string out;
  std::size_t at = 0;
  while (at < err.size()) {
    const std::size_t end = std::min(err.find('\n', at), err.size() - 1) + 1;
    const std::string line = err.substr(at, end - at);
    if (!(line.rfind("stripwave: warning: stime = ", 0) == 0 &&
          line.find("past the period 1/delf") != std::string::npos))
      out += line;
    at = end;
  }
  return out;
}

}  // namespace sw::test
