#include "app/progress.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

namespace sw {

namespace {

std::string format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

}  // namespace

std::string clockText(double seconds) {
  const long s = std::lround(seconds < 0.0 ? 0.0 : seconds);
  if (s < 3600) return format("%ld:%02ld", s / 60, s % 60);
  return format("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

double timeLeft(double elapsed, double currentElapsed, int finished, int total) {
  if (finished <= 0) return -1.0;
  const double mean = (elapsed - currentElapsed) / finished;
  const double left = mean * (total - finished) - currentElapsed;
  return left > 0.0 ? left : 0.0;
}

ProgressReport::ProgressReport(Style style, int total, Sink sink, Clock clock, int width)
    : style_(style),
      total_(total),
      sink_(std::move(sink)),
      clock_(std::move(clock)),
      width_(width),
      start_(clock_()) {}

ProgressReport::~ProgressReport() {
  try {
    finish();
  } catch (...) {
    // Nothing can be reported from here.
  }
}

void ProgressReport::resumeAfter(const std::vector<FrequencyOutcome>& done) {
  done_ = done;
  resumed_ = static_cast<int>(done.size());
}

void ProgressReport::startFrequency(int jw, double frequency) {
  current_ = FrequencyOutcome{jw, frequency, 0, 0.0, false, std::nullopt};
  frequencyStart_ = clock_();
  if (style_ == Style::InPlace) {
    show(line(current_, false));
    lastDraw_ = frequencyStart_;
  }
}

void ProgressReport::pass(int passes, double change) {
  current_.passes = passes;
  current_.change = change;
  if (style_ != Style::InPlace) return;
  const double now = clock_();
  if (now - lastDraw_ < kRedrawSeconds) return;
  show(line(current_, false));
  lastDraw_ = now;
}

void ProgressReport::endFrequency(int passes, double change, bool converged,
                                  std::optional<double> residual) {
  current_.passes = passes;
  current_.change = change;
  current_.converged = converged;
  current_.residual = residual;
  done_.push_back(current_);
  show(line(current_, true));
  lastDraw_ = clock_();
}

void ProgressReport::finish() {
  if (lineOpen_) sink_("\n");
  lineOpen_ = false;
}

std::string ProgressReport::line(const FrequencyOutcome& f, bool finished) const {
  const double now = clock_();
  const double elapsed = now - start_;
  const double left = timeLeft(elapsed, finished ? 0.0 : now - frequencyStart_,
                               static_cast<int>(done_.size()) - resumed_, total_ - resumed_);
  const int k = static_cast<int>(done_.size()) + (finished ? 0 : 1);
  const char* state = finished ? (f.converged ? "converged" : "NOT converged") : "iterating";
  std::string text =
      f.residual ? format("freq %d/%d (#%d, %.6g): direct solve, relative residual %.2e | %s", k,
                          total_, f.jw, f.frequency, *f.residual, clockText(elapsed).c_str())
                  : format("freq %d/%d (#%d, %.6g): %d passes, change %.2e, %s | %s", k,
                           total_, f.jw, f.frequency, f.passes, f.change, state,
                           clockText(elapsed).c_str());
  text += left < 0.0 ? ", time left unknown" : ", ~" + clockText(left) + " left";
  return text;
}

void ProgressReport::show(const std::string& text) {
  if (style_ == Style::Silent) return;
  if (style_ == Style::Lines) {
    sink_(text + "\n");
    return;
  }
  // Carriage return, the line cut to the terminal, then erase what an older, longer line left.
  std::string out = "\r";
  out += width_ > 1 && static_cast<int>(text.size()) >= width_
             ? text.substr(0, static_cast<std::size_t>(width_ - 1))
             : text;
  out += "\x1b[K";
  sink_(out);
  lineOpen_ = true;
}

std::string shortfallText(const std::vector<FrequencyOutcome>& outcomes, const PassLimits& limits) {
  std::string text;
  for (const bool low : {false, true}) {
    int count = 0;
    const FrequencyOutcome* worst = nullptr;
    for (const FrequencyOutcome& f : outcomes) {
      if (f.converged || (f.jw <= limits.jwlow) != low) continue;
      ++count;
      // A change that is not a number is the worst of all.
      if (worst == nullptr || !(f.change <= worst->change)) worst = &f;
    }
    if (count == 0) continue;
    const char* name = low ? "maxlow" : "maxiter";
    const int passes = low ? limits.maxlow : limits.maxiter;
    text += format("  raise %s (inp_A, now %d passes%s): %d %s stopped at it; ", name, passes,
                   low ? format(", indices up to %d", limits.jwlow).c_str() : "", count,
                   count == 1 ? "frequency" : "frequencies");
    if (std::isfinite(worst->change))
      text += format("the furthest, #%d (%.6g), reached relative change %.2e against reduc "
                     "%.2e after %d passes, %.3g times too large\n",
                     worst->jw, worst->frequency, worst->change, limits.reduc, worst->passes,
                     worst->change / limits.reduc);
    else
      text += format("#%d (%.6g) has relative change %.2e after %d passes (no source, or "
                     "non-finite fields): more passes will not help\n",
                     worst->jw, worst->frequency, worst->change, worst->passes);
  }
  return text;
}

std::string summaryText(const std::vector<FrequencyOutcome>& outcomes, const RunTimes& times,
                        const std::string& dir, const std::string& files,
                        const PassLimits* limits) {
  const int total = static_cast<int>(outcomes.size());
  int converged = 0;
  for (const FrequencyOutcome& f : outcomes) converged += f.converged ? 1 : 0;

  std::string text;
  int direct = 0;
  const FrequencyOutcome* largest = nullptr;
  for (const FrequencyOutcome& f : outcomes)
    if (f.residual) {
      ++direct;
      if (largest == nullptr || !(*f.residual <= *largest->residual)) largest = &f;
    }
  if (total > 0 && direct == total) {
    // Direct solves: each frequency's relative residual in place of its passes.
    text = format("stripwave: all %d frequencies solved directly, largest relative residual "
                  "%.2e (#%d)\n",
                  total, *largest->residual, largest->jw);
    int listed = 0;
    for (const FrequencyOutcome& f : outcomes) {
      if (listed == kListed) {
        text += format("  ... and %d more (see output)\n", total - kListed);
        break;
      }
      text += format("  #%d (%.6g): relative residual %.2e\n", f.jw, f.frequency, *f.residual);
      ++listed;
    }
    text += format("  time: %.1f s wall, %.1f s CPU\n", times.wall, times.cpu);
    text += "  files in " + dir + ": " + files + "\n";
    return text;
  }
  if (total == 0)
    text = "stripwave: no frequency was solved (the band is empty)\n";
  else if (converged == total)
    text = format("stripwave: all %d frequencies converged\n", total);
  else
    text = format("stripwave: %d of %d frequencies converged\n", converged, total);

  int listed = 0;
  for (const FrequencyOutcome& f : outcomes) {
    if (f.converged) continue;
    if (listed == kListed) {
      text += format("  ... and %d more not converged (see output)\n", total - converged - kListed);
      break;
    }
    text += format("  not converged: #%d (%.6g) after %d passes, change %.2e\n", f.jw, f.frequency,
                   f.passes, f.change);
    ++listed;
  }
  if (limits != nullptr) text += shortfallText(outcomes, *limits);
  text += format("  time: %.1f s wall, %.1f s CPU\n", times.wall, times.cpu);
  text += "  files in " + dir + ": " + files + "\n";
  return text;
}

}  // namespace sw
