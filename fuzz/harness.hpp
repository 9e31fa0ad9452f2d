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

/// The separator of the table files in an input of readTables.
inline constexpr char kTableSeparator = '\x1e';

}  // namespace sw::fuzz
