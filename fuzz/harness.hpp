#pragma once
/// One input of each fuzz target, run in the current directory.  The fuzzers call these
/// from LLVMFuzzerTestOneInput; the test suite replays the seed corpus and every finding
/// through them.  An input may end in any documented failure (a stop, an input error, a
/// file error); anything else escapes as an exception or is caught by the sanitizers.

#include <cstddef>
#include <cstdint>

namespace sw::fuzz {

/// The record reader: the input is a script of reads (formatted with the layouts of the
/// deck and the tables, and free-form) followed by the text they read.  Byte 0 gives the script
/// length, the next bytes the reads.
void readRecords(const std::uint8_t* data, std::size_t size);

/// The deck: the input is "inp_A"; tables matching its nmat and nf are written beside
/// it, then the input routine reads everything.
void readDeck(const std::uint8_t* data, std::size_t size);

/// The tables: byte 0 gives nmat, byte 1 nf, and the rest holds the eight table files
/// in the order p_modulus, s_modulus, bulk_density, p11 .. p66, separated by the byte
/// 0x1e.  A small deck for that nmat and nf is written beside them.
void readTables(const std::uint8_t* data, std::size_t size);

/// The model file reader: the input describes a model file, which is written and read
/// for a grid of nx by ny elements; what the reader accepts must give finite moduli and
/// interface terms.  Byte 0 gives nx (1 + b % 6), byte 1 ny, byte 2 the reference
/// frequency (0 absent, 1 zero, 2 NaN, 3 as text, 4 negative, else b / 2 Hz), byte 3 a
/// truncation of the file (248 .. 255: to (b - 247) / 9 of its bytes).  Then four bytes
/// per dataset in the order vp, vs, rho, qp, qs, epsilon, delta, tilt: presence (b % 5:
/// 0 absent, 4 a group of the name), storage type (b % 5: f64le, f32be, f64be, f32le,
/// i32le), shape (b % 8: 4 (nx, ny), 5 flat, 6 scalar, else (ny, nx)) and units (b % 8:
/// 3 the second accepted unit, 4 none, 5 fixed length, 6 unknown, 7 a number, else the
/// first).  The rest gives one byte per value, dataset after dataset (reused from the
/// start when it runs out): a plausible value of the property, or for 250 .. 255 a tiny,
/// huge, zero, negative, infinite or not-a-number one.
void readModel(const std::uint8_t* data, std::size_t size);

/// The separator of the table files in an input of readTables.
inline constexpr char kTableSeparator = '\x1e';

}  // namespace sw::fuzz
