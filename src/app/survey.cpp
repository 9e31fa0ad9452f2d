#include "app/survey.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "records/io_error.hpp"

namespace sw {

namespace {

constexpr std::size_t kNamedShots = 10;

const char* stateWord(ShotState s) {
  switch (s) {
    case ShotState::complete:
      return "complete";
    case ShotState::nonFinite:
      return "non-finite";
    case ShotState::missing:
      break;
  }
  return "missing";
}

std::string format(const char* fmt, auto... args) {
  const int n = std::snprintf(nullptr, 0, fmt, args...);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, args...);
  return out;
}

int count(const std::vector<ShotReport>& shots, ShotState state) {
  int n = 0;
  for (const ShotReport& s : shots) n += s.state == state ? 1 : 0;
  return n;
}

}  // namespace

std::string shotNumbers(const std::vector<ShotReport>& shots, ShotState state) {
  std::vector<int> numbers;
  for (const ShotReport& s : shots)
    if (s.state == state) numbers.push_back(s.number);
  std::string out = numbers.size() == 1 ? "shot " : "shots ";
  for (std::size_t i = 0; i < numbers.size() && i < kNamedShots; ++i) {
    if (i > 0) out += (i + 1 == numbers.size() ? " and " : ", ");
    out += std::to_string(numbers[i]);
  }
  if (numbers.size() > kNamedShots)
    out += ", ... (" + std::to_string(numbers.size()) + " in all)";
  return out;
}

std::string surveyListText(const std::vector<ShotReport>& shots, const std::string& shotsFile,
                           const std::optional<SurveyPart>& part) {
  const std::string which =
      part ? format("shots %d to %d of %d", part->first, part->last, part->total)
           : format("%zu shots", shots.size());
  std::string text = format(
      "# stripwave survey of %s from %s: %d complete, %d non-finite, %d missing\n",
      which.c_str(), shotsFile.c_str(), count(shots, ShotState::complete),
      count(shots, ShotState::nonFinite), count(shots, ShotState::missing));
  if (part)
    text += format("# part %d:%d of %d shots, input %016llx, build %016llx\n", part->first,
                   part->last, part->total, static_cast<unsigned long long>(part->input),
                   static_cast<unsigned long long>(part->build));
  text += "# shot directory line x_m y_m kind jsou ksou state [reason]\n";
  for (std::size_t k = 0; k < shots.size(); ++k) {
    const ShotReport& s = shots[k];
    std::string kind = sourceKindName(s.kdel);  // one word: "kdel=9" for a pattern without a name
    std::replace(kind.begin(), kind.end(), ' ', '=');
    text += format("%d %s %d %.17g %.17g %s %d %d %s", s.number, shotDirectory(s.number).c_str(),
                   s.shot.line, s.shot.x, s.shot.y, kind.c_str(), s.jsou,
                   s.ksou, stateWord(s.state));
    if (s.state == ShotState::nonFinite && s.nonFiniteAt)
      text += format(" (fields non-finite from frequency index %d)", *s.nonFiniteAt);
    if (s.state == ShotState::missing && !s.why.empty()) text += " (" + s.why + ")";
    text += "\n";
  }
  return text;
}

void writeSurveyList(const std::vector<ShotReport>& shots, const std::string& shotsFile,
                     const std::optional<SurveyPart>& part) {
  const std::string text = surveyListText(shots, shotsFile, part);
  // Beside its name under a name of the temporary files of a run, then renamed: the list
  // on disk is always a whole one.
  const std::string temp = std::string(".") + kSurveyList + ".stripwave-" +
                           std::to_string(static_cast<long>(getpid())) + "-0";
  const auto fail = [&](const char* action) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw rec::IoError(std::string("cannot ") + action + " " + kSurveyList + ": " +
                       std::strerror(err));
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) fail("create");
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      fail("write");
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) fail("write");
  if (::rename(temp.c_str(), kSurveyList) != 0) fail("put in place");
}

std::string surveySummaryText(const std::vector<ShotReport>& shots, const std::string& dir,
                              const std::optional<SurveyPart>& part) {
  const int complete = count(shots, ShotState::complete);
  const int nonFinite = count(shots, ShotState::nonFinite);
  const int missing = count(shots, ShotState::missing);
  std::string text =
      part ? format("stripwave: shots %d to %d of a survey of %d shots: %d complete", part->first,
                    part->last, part->total, complete)
           : format("stripwave: survey of %zu shots: %d complete", shots.size(), complete);
  if (nonFinite > 0) text += format(", %d with non-finite fields", nonFinite);
  if (missing > 0) text += format(", %d missing", missing);
  text += "\n";
  if (nonFinite > 0)
    text += "  non-finite fields (files written): " + shotNumbers(shots, ShotState::nonFinite) +
            "\n";
  std::size_t listed = 0;
  for (std::size_t k = 0; k < shots.size(); ++k) {
    if (shots[k].state != ShotState::missing) continue;
    if (listed++ == kNamedShots) {
      text += format("  ... and %d more missing\n", missing - static_cast<int>(kNamedShots));
      break;
    }
    text += format("  missing: shot %d (%s)%s%s\n", shots[k].number,
                   shotDirectory(shots[k].number).c_str(),
                   shots[k].why.empty() ? "" : ": ", shots[k].why.c_str());
  }
  const int first = shots.empty() ? 1 : shots.front().number;
  const int last = shots.empty() ? 1 : shots.back().number;
  text += "  shots in " + dir + "/" + shotDirectory(first) +
          (last > first ? " .. " + shotDirectory(last) : "") +
          ", listed in " + kSurveyList + "\n";
  return text;
}

}  // namespace sw
