#include "input/deck_fields.hpp"

namespace sw {

const rec::Layout& integerField() {
  static const rec::Layout l("(i5)");
  return l;
}

const rec::Layout& realField() {
  static const rec::Layout l("(e20.8)");
  return l;
}

int readInteger(rec::InFile& in) {
  int v = 0;
  in.read(integerField(), {v});
  return v;
}

double readReal(rec::InFile& in) {
  double v = 0.0;
  in.read(realField(), {v});
  return v;
}

}  // namespace sw
