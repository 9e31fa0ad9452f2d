#pragma once
/// The one-value records of the deck and the table headers: an integer in columns 1-5
/// and a real in columns 1-20, each layout compiled once.

#include "records/in_file.hpp"
#include "records/layout.hpp"

namespace sw {

/// "(i5)"
const rec::Layout& integerField();
/// "(e20.8)"
const rec::Layout& realField();

/// The next record read as one (i5) integer.
int readInteger(rec::InFile& in);
/// The next record read as one (e20.8) real.
double readReal(rec::InFile& in);

}  // namespace sw
