#pragma once
/// A synthetic model built in memory, for tests and benchmarks that drive the frequency
/// loop without files: attenuating isotropic layers (materials 1 and 2) and a rotated
/// transversely isotropic block (material 3), SI units, moduli the same at every
/// frequency index.

#include <algorithm>

#include "materials/tabled_materials.hpp"
#include "model/run_params.hpp"

namespace sw::test {

struct LayeredModel {
  RunParams par;
  Materials mat;
  Vec1<Cx> sour{kMaxFreqs};
  TabledMaterials tabled{mat};  ///< the tables as the loop's material model

  LayeredModel(const LayeredModel& o) : par(o.par), mat(o.mat), sour(o.sour), tabled(mat) {}
  LayeredModel& operator=(const LayeredModel&) = delete;

  /// nx by ny elements of 10 m; frequency indices 1 .. nfreq with delf = 60 Hz / nfreq
  /// ... the band spans 0 .. 60 Hz; a kdel 1 source near the centre.
  LayeredModel(int nx, int ny, int nfreq = 1) {
    par.nx = nx;
    par.ny = ny;
    par.h = 10.0;
    par.delf = 60.0 / nfreq;
    par.delw = 2.0 * 3.141592653589793 * par.delf;
    par.jw1 = 1;
    par.jw2 = nfreq;
    par.kdel = 1;
    par.jsou = std::min(3, nx);
    par.ksou = std::min(3, ny);
    par.maxiter = par.maxlow = 1000;
    par.reduc = 1e-3;

    mat.nmat = 3;
    mat.rhob[1] = 2200.0;
    mat.rhob[2] = 2500.0;
    mat.rhob[3] = 2400.0;
    for (int jw = 1; jw <= nfreq; ++jw) {
      sour(jw) = Cx{1.0 / jw, -0.25 * jw};
      mat.p_modulus(1, jw) = Cx{1.4e10, 2.3e8};
      mat.s_modulus(1, jw) = Cx{4.0e9, 1.3e8};
      mat.p_modulus(2, jw) = Cx{4.0e10, 2.6e8};
      mat.s_modulus(2, jw) = Cx{1.2e10, 1.5e8};
      mat.p11w(3, jw) = Cx{3.0e10, 6.0e8};
      mat.p13w(3, jw) = Cx{1.1e10, 2.2e8};
      mat.p33w(3, jw) = Cx{2.2e10, 4.4e8};
      mat.p55w(3, jw) = Cx{6.1e9, 1.2e8};
      mat.p66w(3, jw) = Cx{7.0e9, 1.4e8};
    }
    mat.matnum = Grid<int>(nx, ny);
    for (int j = 0; j <= ny + 1; ++j)
      for (int i = 0; i <= nx + 1; ++i) {
        const int jj = std::clamp(j, 1, ny), ii = std::clamp(i, 1, nx);
        mat.matnum(i, j) = jj <= ny / 2 ? 2 : (ii > nx / 2 ? 3 : 1);
      }
  }
};

}  // namespace sw::test
