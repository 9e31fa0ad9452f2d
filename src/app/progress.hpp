#pragma once
/// Progress of a run on the standard error stream, and the summary at its end.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

/// How one frequency ended.
struct FrequencyOutcome {
  int jw = 0;              ///< frequency index, as in the log
  double frequency = 0.0;  ///< (jw - 0.5) delf
  int passes = 0;
  double change = 0.0;  ///< last relative change
  bool converged = false;
  std::optional<double> residual;  ///< relative residual of a direct solve (no passes)
};

/// Progress of the frequency loop, fed per frequency (and per pass).  InPlace keeps one
/// line that is redrawn (a terminal); Lines writes one line per finished frequency;
/// Silent writes nothing and only keeps the outcomes.
class ProgressReport {
 public:
  enum class Style { InPlace, Lines, Silent };
  using Sink = std::function<void(std::string_view)>;
  using Clock = std::function<double()>;  ///< seconds, monotonic

  /// `total` frequencies will be solved; `width` bounds an in-place line (0: no bound).
  ProgressReport(Style style, int total, Sink sink, Clock clock, int width = 0);
  ProgressReport(const ProgressReport&) = delete;
  ProgressReport& operator=(const ProgressReport&) = delete;
  /// Ends an in-place line that is still open, so that later messages start on their own.
  ~ProgressReport();

  /// The frequencies an interrupted run finished before this one resumed it: counted as
  /// done (numbering, summary), but not in the estimate of the time left.
  void resumeAfter(const std::vector<FrequencyOutcome>& done);
  void startFrequency(int jw, double frequency);
  /// After each pass; an in-place line is redrawn at most every kRedrawSeconds.
  void pass(int passes, double change);
  void endFrequency(int passes, double change, bool converged,
                    std::optional<double> residual = std::nullopt);
  /// Ends the in-place line.
  void finish();

  const std::vector<FrequencyOutcome>& outcomes() const { return done_; }

  static constexpr double kRedrawSeconds = 0.25;

 private:
  std::string line(const FrequencyOutcome& f, bool finished) const;
  void show(const std::string& text);

  Style style_;
  int total_;
  Sink sink_;
  Clock clock_;
  int width_;
  double start_ = 0.0;  ///< clock at construction
  double frequencyStart_ = 0.0;
  double lastDraw_ = -1.0e300;
  bool lineOpen_ = false;
  FrequencyOutcome current_;
  std::vector<FrequencyOutcome> done_;
  int resumed_ = 0;  ///< leading entries of done_ finished by an earlier run
};

/// Seconds as m:ss, or h:mm:ss from an hour on.
std::string clockText(double seconds);

/// Estimate of the time left: the mean time of the finished frequencies times those not
/// finished, less the time already spent on the current one; negative when unknown.
double timeLeft(double elapsed, double currentElapsed, int finished, int total);

/// Wall and CPU time of a run, in seconds.
struct RunTimes {
  double wall = 0.0;
  double cpu = 0.0;
};

/// The pass limits of the deck and the change they aim at: frequency indices up to jwlow
/// iterate at most maxlow passes, the others maxiter.
struct PassLimits {
  int maxiter = 0, maxlow = 0, jwlow = 0;
  double reduc = 0.0;
};

/// For each pass limit that frequencies stopped at without converging, one line: how
/// many, and the one that fell shortest, with its relative change against reduc and the
/// factor between them.  Empty when every frequency converged.
std::string shortfallText(const std::vector<FrequencyOutcome>& outcomes, const PassLimits& limits);

/// The end-of-run summary: how many frequencies converged, those that did not with their
/// last relative change (the first kListed of them) and, given the limits, which limit to
/// raise (shortfallText), the times, and where the files are.
std::string summaryText(const std::vector<FrequencyOutcome>& outcomes, const RunTimes& times,
                        const std::string& dir, const std::string& files,
                        const PassLimits* limits = nullptr);

inline constexpr int kListed = 10;

}  // namespace sw
