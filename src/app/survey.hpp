#pragma once
/// What a survey run reports of its shots: the list in the run directory and the lines of
/// the summary.

#include <optional>
#include <string>
#include <vector>

#include "input/shots_file.hpp"

namespace sw {

/// How the files of one shot of a survey ended.
enum class ShotState {
  complete,   ///< every file written
  nonFinite,  ///< every file written, but the fields became non-finite
  missing,    ///< the time-domain files were not written (or the run has not finished)
};

/// One shot of a survey and how it ended.
struct ShotReport {
  Shot shot;
  int kdel = 0;  ///< the pattern applied: the shot's own or the deck's
  int jsou = 0, ksou = 0;
  ShotState state = ShotState::missing;
  std::optional<int> nonFiniteAt;  ///< first frequency index with non-finite fields
  std::string why;                 ///< why the files are missing
};

/// The name of the list of a survey's shots in the run directory.
inline constexpr const char* kSurveyList = "survey.txt";

/// The text of the list: a comment line naming the shots file and counting the shots of
/// each state, a comment line naming the columns, then per shot its number, directory,
/// line in the shots file, x and y in m (to the last bit), source kind, source element,
/// and state (complete, non-finite or missing) with the reason of a missing one.
std::string surveyListText(const std::vector<ShotReport>& shots, const std::string& shotsFile);

/// Writes the list to kSurveyList in the current directory, put in place whole.  Raises
/// rec::IoError when it cannot be written.
void writeSurveyList(const std::vector<ShotReport>& shots, const std::string& shotsFile);

/// The summary lines of a survey: the shots complete, those with non-finite fields and the
/// missing ones (the first few of each), and where the list is.
std::string surveySummaryText(const std::vector<ShotReport>& shots, const std::string& dir);

/// "shots 2, 5 and 7" style lists of the numbers of the shots in `state` (the first few).
std::string shotNumbers(const std::vector<ShotReport>& shots, ShotState state);

}  // namespace sw
