#include "support/run.hpp"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

RunResult runProgram(const fs::path& dir, const std::vector<std::string>& args) {
  TempDir streams;
  const std::string outFile = streams.file("stdout"), errFile = streams.file("stderr");
  std::vector<char*> argv = programArgv(args);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!redirect(STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC)) _exit(126);
    if (!redirect(STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC)) _exit(126);
    execv(STRIPWAVE_BINARY, argv.data());
    _exit(127);
  }
  RunResult r;
  reap(pid, r);
  r.out = readBytes(outFile);
  r.err = readBytes(errFile);
  return r;
}

RunResult runProgramOnTerminal(const fs::path& dir, const std::vector<std::string>& args) {
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
  RunResult r;
  char buf[4096];
  for (;;) {
    const ssize_t got = read(master, buf, sizeof buf);
    if (got <= 0) break;  // EIO once the child has closed the terminal
    r.err.append(buf, static_cast<std::size_t>(got));
  }
  close(master);
  reap(pid, r);
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

std::map<std::string, std::string> readDir(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path().filename().string()] = readBytes(e.path().string());
  return files;
}

}  // namespace sw::test
