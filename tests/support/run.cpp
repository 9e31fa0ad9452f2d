#include "support/run.hpp"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace sw::test {

RunResult runProgram(const fs::path& dir) {
  TempDir errDir;
  const std::string errFile = errDir.file("stderr");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) _exit(126);
    dup2(fd, STDERR_FILENO);
    close(fd);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
    execl(STRIPWAVE_BINARY, "stripwave", static_cast<char*>(nullptr));
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.err = readBytes(errFile);
  return r;
}

RunResult runProgramOnTerminal(const fs::path& dir) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
    execl(STRIPWAVE_BINARY, "stripwave", static_cast<char*>(nullptr));
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
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return r;
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
