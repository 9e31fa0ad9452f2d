#include "model/boundary.hpp"

namespace sw {

BoundaryIndicators boundaryIndicators(int nx, int ny) {
  BoundaryIndicators del(nx, ny);
  del.xl(1) = 1.0;
  del.xr(nx) = 1.0;
  del.yb(1) = 1.0;
  del.yt(ny) = 1.0;
  return del;
}

}  // namespace sw
