#pragma once
/// Rendering of formatted and free-form writes into text.

#include <span>
#include <string>

#include "records/layout.hpp"
#include "records/value.hpp"

namespace sw::rec {

/// Appends the records of one formatted write of `values` with `layout`, each record
/// followed by '\n'.  Values bind to value items in order; the layout is applied again
/// from its start while values remain; rendering stops at the first value item without
/// a value.  A write always produces at least one record.
void render(std::string& out, const Layout& layout, std::span<const Value> values);

/// The same for a list of doubles only (the bulk writes of time series and snapshots).
void renderReals(std::string& out, const Layout& layout, std::span<const double> values);

/// Appends the one record of a free-form (list-directed) write of `items`.
void renderList(std::string& out, std::span<const Value> items);

/// Single descriptors, appended without a record end.
void putInt(std::string& out, int width, long long value);           ///< iw
void putExp(std::string& out, int width, int digits, double value);  ///< ew.d
void putGen(std::string& out, int width, int digits, double value);  ///< gw.d

}  // namespace sw::rec
