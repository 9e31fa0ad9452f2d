#include "input/regions.hpp"

#include <string>

#include "core/exit_status.hpp"
#include "core/truncate.hpp"
#include "input/deck_fields.hpp"
#include "input/reject.hpp"

namespace sw {

void readRegions(rec::InFile& deck, rec::OutFile& log, const RunParams& par, Materials& mat) {
  static const rec::Layout kRegion(
      "(1x,' from  xi                     = ',e20.8,' m  ',/                 ' up to xf        "
      "             = ',e20.8,' m ',/                  ' from  yi                     = "
      "',e20.8,' m  ',/                 ' up to yf                     = ',e20.8,' m ',/        "
      "          ' material type number  numat  = ',i5/)");
  static const rec::Layout kIndices(
      "(1x,' from  ixi (x-global grid #)    = ',i5,/                         ' up to ixf "
      "(x-global grid #)    = ',i5,/                         ' from  iyi (y-global grid #)    = "
      "',i5,/                         ' up to yf  (y-global grid #)    = ',i5,/                 "
      "        ' material type number  numat    = ',i5/)");
  static const rec::Layout kWrongIxi("(/1x,' wrong material description  ixi = ',i5)");
  static const rec::Layout kWrongIyi("(/1x,' wrong material description  iyi = ',i5)");
  static const rec::Layout kWrongIxf("(/1x,' wrong material description  ixf = ',i5)");
  static const rec::Layout kWrongIyf("(/1x,' wrong material description  iyf = ',i5)");
  static const rec::Layout kWrongNumat("(/1x,' wrong material number numat  = ',i5)");

  const int nx = par.nx, ny = par.ny;
  const double h = par.h;
  mat.matnum = Grid<int>(nx, ny);
  Grid<int>& m = mat.matnum;

  for (;;) {
    double xi = 0.0, xf = 0.0, yi = 0.0, yf = 0.0;
    int numat = 0;
    deck.read(realField(), {xi, xf, yi, yf});
    deck.read(integerField(), {numat});
    log.write(kRegion, {xi, xf, yi, yf, numat});
    if (xi < 0.0) break;

    // Half an element inward: a region takes the elements whose centres it holds.
    xi = xi + 0.5 * h;
    xf = xf - 0.5 * h;
    yi = yi + 0.5 * h;
    yf = yf - 0.5 * h;
    const int ixi = truncateToInt(xi / h + 1.0);
    const int ixf = truncateToInt(xf / h + 1.0);
    const int iyi = truncateToInt(yi / h + 1.0);
    const int iyf = truncateToInt(yf / h + 1.0);
    log.write(kIndices, {ixi, ixf, iyi, iyf, numat});

    if (ixi <= 0 || ixi > nx) {
      log.write(kWrongIxi, {ixi});
      throw Stop{};
    }
    if (iyi <= 0 || iyi > ny) {
      log.write(kWrongIyi, {iyi});
      throw Stop{};
    }
    if (ixf <= 0 || ixf > nx) {
      log.write(kWrongIxf, {ixf});
      throw Stop{};
    }
    if (iyf <= 0 || iyf > ny) {
      log.write(kWrongIyf, {iyf});
      throw Stop{};
    }
    if (numat <= 0 || numat > mat.nmat) {
      log.write(kWrongNumat, {numat});
      throw Stop{};
    }
    for (int j = iyi; j <= iyf; ++j)
      for (int i = ixi; i <= ixf; ++i) m(i, j) = numat;
  }

  // Halo: rows first, then columns, so the corners copy the nearest interior element.
  for (int j = 0; j <= ny + 1; ++j) {
    m(0, j) = m(1, j);
    m(nx + 1, j) = m(nx, j);
  }
  for (int i = 0; i <= nx + 1; ++i) {
    m(i, 0) = m(i, 1);
    m(i, ny + 1) = m(i, ny);
  }

  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i)
      if (m(i, j) == 0)
        rejectDeckValue(log, "element (" + std::to_string(i) + ", " + std::to_string(j) +
                                 ") lies in no material region (material number 0)");
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i)
      if (m(i, j) != kAnisotropicMaterial && m(i, j) > mat.nmat - 1)
        rejectDeckValue(log, "element (" + std::to_string(i) + ", " + std::to_string(j) +
                                 ") has material " + std::to_string(m(i, j)) +
                                 ", which is treated as isotropic but has no isotropic tables "
                                 "(they hold materials 1 .. nmat-1 = " +
                                 std::to_string(mat.nmat - 1) + ")");
}

}  // namespace sw
