#pragma once
/// The shots of a survey: a text file of source positions, one shot a line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

/// One shot of a survey: its source position in metres and, when the line names one, its
/// source pattern (the deck's kdel 1 to 5); otherwise the deck's own.
struct Shot {
  int line = 0;  ///< line of the shots file, for messages
  double x = 0.0, y = 0.0;
  std::optional<int> kdel;
};

/// The source kinds a shots file may name, with the kdel of each: "explosion" (1),
/// "shear" (2), "asymmetric" (3; the explosion with an asymmetric part), "vertical-force"
/// (4, a point force along +y) and "horizontal-force" (5, along +x).  The digits 1 to 5 are
/// accepted too.
std::optional<int> sourceKind(std::string_view word);
/// The name of source pattern kdel ("explosion", ...), or "kdel N" for the others.
std::string sourceKindName(int kdel);

/// Reads the shots file `path`: per line "x y [kind]", blanks and tabs between the words,
/// `#` to the end of the line a comment, lines holding nothing else skipped.  A file
/// that cannot be read raises rec::IoError; an empty file, a line that is not two finite
/// numbers and an optional kind, or an unknown kind raise InputError naming the file and
/// the line.
std::vector<Shot> readShotsFile(const std::string& path);

/// Checks every shot against a grid of nx by ny elements of side h (the element of a
/// position is int(x / h + 1) along each axis): a shot outside raises InputError naming
/// the file, the line and the grid's extent.
void checkShotsInGrid(const std::vector<Shot>& shots, const std::string& path, int nx, int ny,
                      double h);

/// The directory of shot k (1-based) of a survey: shot_0001, shot_0002, ... (more
/// digits from 10000 on).
std::string shotDirectory(int k);

}  // namespace sw
