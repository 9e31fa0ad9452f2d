#pragma once
/// What a survey run reports of its shots: the list in the run directory and the lines of
/// the summary.

#include <cstdint>
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
  int number = 0;  ///< the shot's number in the shots file, from 1
  int kdel = 0;  ///< the pattern applied: the shot's own or the deck's
  int jsou = 0, ksou = 0;
  ShotState state = ShotState::missing;
  std::optional<int> nonFiniteAt;  ///< first frequency index with non-finite fields
  std::string why;                 ///< why the files are missing
};

/// A survey run in parts (--shot-range): which shots this part holds of how many, and
/// the digests that show the parts to be of one survey.
struct SurveyPart {
  int first = 1, last = 1;  ///< the shots' numbers in the shots file
  int total = 1;            ///< the shots of the file
  std::uint64_t input = 0;  ///< the input, as the checkpoint's fingerprint without the range
  std::uint64_t build = 0;  ///< the executable
};

/// The name of the list of a survey's shots in the run directory.
inline constexpr const char* kSurveyList = "survey.txt";

/// The text of the list: a comment line naming the shots file and counting the shots of
/// each state, a comment line naming the columns, then per shot its number, directory,
/// line in the shots file, x and y in m (to the last bit), source kind, source element,
/// and state (complete, non-finite or missing) with the reason of a missing one.  The
/// list of a part says so in its first line ("survey of shots 3 to 4 of 4 from ...") and
/// gives the range and the digests in a second comment line; its rows are those of the
/// whole survey's list.
std::string surveyListText(const std::vector<ShotReport>& shots, const std::string& shotsFile,
                           const std::optional<SurveyPart>& part = std::nullopt);

/// Writes the list to kSurveyList in the current directory, put in place whole.  Raises
/// rec::IoError when it cannot be written.
void writeSurveyList(const std::vector<ShotReport>& shots, const std::string& shotsFile,
                     const std::optional<SurveyPart>& part = std::nullopt);

/// The summary lines of a survey: the shots complete, those with non-finite fields and the
/// missing ones (the first few of each), and where the list is.
std::string surveySummaryText(const std::vector<ShotReport>& shots, const std::string& dir,
                              const std::optional<SurveyPart>& part = std::nullopt);

/// "shots 2, 5 and 7" style lists of the numbers of the shots in `state` (the first few).
std::string shotNumbers(const std::vector<ShotReport>& shots, ShotState state);

}  // namespace sw
