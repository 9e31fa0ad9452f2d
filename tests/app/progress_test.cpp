// Progress lines and the end-of-run summary.

#include "app/progress.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

/// A report writing into a string, on a clock the test moves.
struct Recorder {
  std::string text;
  double now = 100.0;
  sw::ProgressReport report;

  Recorder(sw::ProgressReport::Style style, int total, int width = 0)
      : report(
            style, total, [this](std::string_view s) { text.append(s); }, [this] { return now; },
            width) {}
};

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string::size_type start = 0, end;
  while ((end = text.find(sep, start)) != std::string::npos) {
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

TEST(Progress, ClockText) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0:00"},     {4.4, "0:04"},       {59.6, "1:00"},        {65.0, "1:05"},
      {3599.0, "59:59"}, {3600.0, "1:00:00"}, {36061.0, "10:01:01"}, {-3.0, "0:00"}};
  for (const auto& [s, text] : cases) EXPECT_EQ(sw::clockText(s), text) << s;
}

TEST(Progress, TimeLeftFromTheMeanOfFinishedFrequencies) {
  EXPECT_LT(sw::timeLeft(5.0, 5.0, 0, 10), 0.0);  // nothing finished: unknown
  EXPECT_DOUBLE_EQ(sw::timeLeft(20.0, 0.0, 2, 10), 80.0);
  EXPECT_DOUBLE_EQ(sw::timeLeft(23.0, 3.0, 2, 10), 77.0);  // 3 s into the third
  EXPECT_DOUBLE_EQ(sw::timeLeft(50.0, 30.0, 2, 3), 0.0);   // the last one runs long
}

TEST(Progress, OneLinePerFrequencyOffATerminal) {
  Recorder r(sw::ProgressReport::Style::Lines, 2);
  r.report.startFrequency(48, 0.059375);
  for (int p = 1; p <= 50; ++p) {
    r.now += 0.1;
    r.report.pass(p, 1.0 / p);
  }
  r.report.endFrequency(50, 0.02, false);
  r.report.startFrequency(47, 0.058125);
  r.now += 2.0;
  r.report.endFrequency(12, 5e-4, true);
  r.report.finish();
  const auto lines = split(r.text, '\n');
  ASSERT_EQ(lines.size(), 2u) << r.text;
  EXPECT_EQ(
      lines[0],
      "freq 1/2 (#48, 0.059375): 50 passes, change 2.00e-02, NOT converged | 0:05, ~0:05 left");
  EXPECT_EQ(lines[1],
            "freq 2/2 (#47, 0.058125): 12 passes, change 5.00e-04, converged | 0:07, ~0:00 left");
  EXPECT_EQ(r.text.find('\r'), std::string::npos);
}

TEST(Progress, InPlaceRedrawsNoMoreThanFourTimesASecond) {
  Recorder r(sw::ProgressReport::Style::InPlace, 3);
  r.report.startFrequency(3, 2.5);
  for (int p = 1; p <= 100; ++p) {
    r.now += 0.01;  // one second of passes
    r.report.pass(p, 0.5);
  }
  // The start, then one redraw per 0.25 s.
  const auto count = std::count(r.text.begin(), r.text.end(), '\r');
  EXPECT_GE(count, 4);
  EXPECT_LE(count, 5);
  const auto draws = split(r.text, '\r');
  EXPECT_NE(draws.back().find(" passes, change 5.00e-01, iterating"), std::string::npos)
      << draws.back();
  EXPECT_NE(draws.back().find("time left unknown"), std::string::npos);
  EXPECT_EQ(r.text.find('\n'), std::string::npos) << "an in-place line never ends by itself";
  // Every draw erases the rest of the previous one.
  for (std::size_t i = 1; i < draws.size(); ++i)  // draws[0] is what precedes the first
    EXPECT_EQ(draws[i].substr(draws[i].size() - 3), "\x1b[K");
  r.report.endFrequency(100, 0.5, false);
  r.report.finish();
  EXPECT_EQ(r.text.back(), '\n');
}

TEST(Progress, InPlaceLineIsCutToTheTerminalWidth) {
  Recorder r(sw::ProgressReport::Style::InPlace, 600, 40);
  r.report.startFrequency(600, 12345.678);
  EXPECT_EQ(r.text, "\r" + std::string("freq 1/600 (#600, 12345.7): 0 passes, c") + "\x1b[K");
}

TEST(Progress, AnOpenLineIsEndedWhenTheReportGoesAway) {
  std::string text;
  {
    sw::ProgressReport report(
        sw::ProgressReport::Style::InPlace, 1, [&text](std::string_view s) { text.append(s); },
        [] { return 0.0; });
    report.startFrequency(1, 1.0);
  }  // e.g. an exception leaves the loop
  EXPECT_EQ(text.back(), '\n');
}

TEST(Progress, OutcomesInTheOrderSolved) {
  Recorder r(sw::ProgressReport::Style::Lines, 2);
  r.report.startFrequency(2, 1.5);
  r.report.endFrequency(7, 1e-4, true);
  r.report.startFrequency(1, 0.5);
  r.report.endFrequency(9, 3e-2, false);
  ASSERT_EQ(r.report.outcomes().size(), 2u);
  EXPECT_EQ(r.report.outcomes()[0].jw, 2);
  EXPECT_TRUE(r.report.outcomes()[0].converged);
  EXPECT_EQ(r.report.outcomes()[1].passes, 9);
  EXPECT_DOUBLE_EQ(r.report.outcomes()[1].change, 3e-2);
}

sw::FrequencyOutcome outcome(int jw, bool converged, double change = 1e-4) {
  return {jw, (jw - 0.5) * 0.01, converged ? 30 : 200, change, converged};
}

TEST(Summary, AllConverged) {
  const std::string s = sw::summaryText({outcome(2, true), outcome(1, true)}, {12.34, 23.45},
                                        "/runs/a", "output, fort.60, fort.70");
  EXPECT_EQ(s,
            "stripwave: all 2 frequencies converged\n"
            "  time: 12.3 s wall, 23.4 s CPU\n"
            "  files in /runs/a: output, fort.60, fort.70\n");
}

TEST(Summary, NamesTheFrequenciesThatDidNotConverge) {
  const std::string s =
      sw::summaryText({outcome(3, true), outcome(2, false, 2.5e-3), outcome(1, false, 0.125)},
                      {1.0, 2.0}, "/r", "output");
  EXPECT_EQ(s,
            "stripwave: 1 of 3 frequencies converged\n"
            "  not converged: #2 (0.015) after 200 passes, change 2.50e-03\n"
            "  not converged: #1 (0.005) after 200 passes, change 1.25e-01\n"
            "  time: 1.0 s wall, 2.0 s CPU\n"
            "  files in /r: output\n");
}

TEST(Summary, LongListsAreCut) {
  std::vector<sw::FrequencyOutcome> all;
  for (int jw = 30; jw >= 1; --jw) all.push_back(outcome(jw, jw > 25 ? true : false));
  const auto lines = split(sw::summaryText(all, {}, "/r", "output"), '\n');
  ASSERT_EQ(lines.size(), 1u + sw::kListed + 1u + 2u);
  EXPECT_EQ(lines[0], "stripwave: 5 of 30 frequencies converged");
  EXPECT_EQ(lines[1].rfind("  not converged: #25 ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[sw::kListed + 1], "  ... and 15 more not converged (see output)");
}

TEST(Summary, EmptyBandAndNonFiniteChanges) {
  EXPECT_EQ(sw::summaryText({}, {}, "/r", "output").substr(0, 48),
            "stripwave: no frequency was solved (the band is ");
  const std::string s = sw::summaryText({outcome(1, false, std::nan(""))}, {}, "/r", "output");
  EXPECT_NE(s.find("change nan"), std::string::npos) << s;
}

TEST(Summary, NamesThePassLimitToRaiseAndHowFarTheChangeStayedAboveReduc) {
  // Indices up to 2 iterate at most maxlow = 50 passes, the others maxiter = 200.
  const sw::PassLimits limits{200, 50, 2, 1e-3};
  const std::vector<sw::FrequencyOutcome> all = {
      {5, 0.045, 200, 4.0e-3, false}, {4, 0.035, 200, 2.5e-3, false},
      {3, 0.025, 80, 5.0e-4, true},   {2, 0.015, 50, 1.5e-2, false},
      {1, 0.005, 50, 0.25, false}};
  EXPECT_EQ(sw::shortfallText(all, limits),
            "  raise maxiter (inp_A, now 200 passes): 2 frequencies stopped at it; the furthest, "
            "#5 (0.045), reached relative change 4.00e-03 against reduc 1.00e-03 after 200 "
            "passes, 4 times too large\n"
            "  raise maxlow (inp_A, now 50 passes, indices up to 2): 2 frequencies stopped at "
            "it; the furthest, #1 (0.005), reached relative change 2.50e-01 against reduc "
            "1.00e-03 after 50 passes, 250 times too large\n");
  // Only the limits that stopped a frequency are named; a summary given the limits ends
  // its list with them.
  const std::vector<sw::FrequencyOutcome> high = {all[1], all[2]};
  EXPECT_EQ(sw::shortfallText(high, limits).rfind("  raise maxiter (inp_A, now 200 passes): 1 "
                                                  "frequency stopped at it; the furthest, #4 ",
                                                  0),
            0u);
  EXPECT_EQ(sw::shortfallText({all[2]}, limits), "");
  const std::string summary = sw::summaryText(high, {}, "/r", "output", &limits);
  EXPECT_NE(summary.find("change 2.50e-03\n  raise maxiter"), std::string::npos) << summary;
  // A change that is not a number is the furthest, and more passes would not mend it.
  const std::string nan =
      sw::shortfallText({all[0], {6, 0.055, 200, std::nan(""), false}}, limits);
  EXPECT_NE(nan.find("#6 (0.055) has relative change nan after 200 passes (no source, or "
                     "non-finite fields): more passes will not help"),
            std::string::npos)
      << nan;
}

}  // namespace
