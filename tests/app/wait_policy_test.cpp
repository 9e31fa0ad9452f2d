// How the threads of a run wait: passively unless the user has chosen, so that several
// runs on the same cores do not take each other's time by spinning.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;

/// The value of `name` in the environment of process `pid`, if it is there.
std::optional<std::string> environmentOf(int pid, const std::string& name) {
  std::string env;
  try {
    env = sw::test::readBytes("/proc/" + std::to_string(pid) + "/environ");
  } catch (...) {
    return std::nullopt;
  }
  const std::string key = name + "=";
  for (std::size_t at = 0; at < env.size();) {
    const std::size_t end = env.find('\0', at);
    const std::string entry = env.substr(at, end == std::string::npos ? end : end - at);
    if (entry.rfind(key, 0) == 0) return entry.substr(key.size());
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return std::nullopt;
}

/// Sets or removes a variable of this process's environment while it lives.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

/// The layered case with limits that keep it iterating for some seconds.
void slowInput(const fs::path& dir) {
  sw::test::copyFiles(sw::test::dataDir() / "regression" / "layered_small" / "input", dir);
  const std::string deck = (dir / "inp_A").string();
  sw::test::replaceLine(deck, 1, " 3000");                  // maxlow
  sw::test::replaceLine(deck, 20, " 3000");                 // maxiter
  sw::test::replaceLine(deck, 21, "      0.00000000E+00");  // reduc: never converges
}

/// OMP_WAIT_POLICY of a run started with the given OMP_WAIT_POLICY and GOMP_SPINCOUNT,
/// read once the run has begun its frequencies (it is started afresh before that).
std::optional<std::string> policyOfARun(const char* policy, const char* spincount) {
  const ScopedVariable p("OMP_WAIT_POLICY", policy);
  const ScopedVariable s("GOMP_SPINCOUNT", spincount);
  sw::test::TempDir dir;
  slowInput(dir.path());
  sw::test::BackgroundRun run(dir.path(), {"--threads", "2"});
  EXPECT_TRUE(sw::test::waitUntil([&] {
    return fs::exists(dir.path() / "output") &&
           sw::test::countOf(sw::test::readBytes(dir.path() / "output"), "frequency number") > 0;
  }));
  return environmentOf(run.pid(), "OMP_WAIT_POLICY");
}

TEST(WaitPolicy, PassiveUnlessTheUserHasChosen) {
  EXPECT_EQ(policyOfARun(nullptr, nullptr), std::optional<std::string>("PASSIVE"));
  EXPECT_EQ(policyOfARun("ACTIVE", nullptr), std::optional<std::string>("ACTIVE"));
  // A spin count is a choice too: the runtime's own policy stays.
  EXPECT_EQ(policyOfARun(nullptr, "10000"), std::nullopt);
}

}  // namespace
