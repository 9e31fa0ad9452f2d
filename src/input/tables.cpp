#include "input/tables.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <complex>
#include <cstdint>
#include <string>

#include <unistd.h>

#include "core/exit_status.hpp"
#include "core/truncate.hpp"
#include "input/deck_fields.hpp"
#include "input/material_checks.hpp"
#include "input/reject.hpp"
#include "records/io_error.hpp"

namespace sw {

namespace {

/// Sets lo and hi to take in v.
void takeIn(double v, double& lo, double& hi) {
  if (v > hi) hi = v;
  if (v < lo) lo = v;
}

}  // namespace

int tableRecords(double f4, int npf) {
  const double delf = f4 / npf;
  return truncateToInt(f4 / delf);
}

double phaseVelocity(Cx sum, int nf, double rho) {
  const Cx a = (sum / static_cast<double>(nf)) / rho;
  const std::complex<double> q = std::sqrt(std::complex<double>(a.re, a.im));
  const Cx inv = Cx{1.0, 0.0} / Cx{q.real(), q.imag()};
  return 1.0 / inv.re;
}

VelocityRange readTables(InputFiles& in, rec::OutFile& log, int nmat, int nf, Materials& mat) {
  static const rec::Layout kModulusRecord("(3e20.12)");
  static const rec::Layout kDensity("(e20.12)");
  std::array<double, kMaxMaterials + 1> vp{}, vs{}, vph{}, vpv{}, vsh{};

  // A table may hold more materials than the run reads, but not more than there can be.
  const std::uint64_t records =
      static_cast<std::uint64_t>(kMaxMaterials) * (2 + static_cast<std::uint64_t>(std::max(nf, 0)));
  const std::string bound = "a table of " + std::to_string(kMaxMaterials) +
                            " materials of nf = " + std::to_string(nf) + " records";
  for (rec::InFile* f : {&in.pmod, &in.smod, &in.dens})
    f->limitSize(inputSizeBound(records), bound);
  if (nmat >= 3) {  // the anisotropic tables are not read at all otherwise
    // A table that was missing is not read as the empty placeholder made for it.
    for (std::size_t u = 0; u < in.aniso.size(); ++u)
      if (in.anisoCreated[u]) {
        for (std::size_t v = 0; v < in.aniso.size(); ++v)
          if (in.anisoCreated[v]) ::unlink(files::kAnisotropic[v]);
        throw rec::IoError(std::string("cannot open ") + files::kAnisotropic[u] +
                           ": No such file or directory (the anisotropic tables are read when "
                           "nmat is 3 or more; nmat = " + std::to_string(nmat) + ")");
      }
    for (rec::InFile& f : in.aniso) f.limitSize(inputSizeBound(records), bound);
  }

  for (int i = 1; i <= nmat - 1; ++i) {
    int num = 0;
    in.pmod.read(integerField(), {num});
    log.writeList({"de unit 1, mat=", num});
    in.smod.read(integerField(), {num});
    log.writeList({"de unit 2, mat=", num});
    in.dens.read(integerField(), {num});
    log.writeList({"de unit 7, mat=", num});
    in.dens.read(kDensity, {mat.rhob[i]});
    log.writeList({"de unit 7, i,rhob(i)=", i, mat.rhob[i]});
    checkDensity(log, files::kDensity, i, mat.rhob[i]);

    Cx summ{}, sumg{};
    // The first record of a material belongs to the highest frequency index.
    for (int j = nf; j >= 1; --j) {
      double f = 0.0;
      Cx m{}, g{};
      in.pmod.read(kModulusRecord, {f, m.re, m.im});
      in.smod.read(kModulusRecord, {f, g.re, g.im});
      checkIsotropic(log, i, j, m, g);
      if (j <= mat.p_modulus.freqs()) {
        mat.p_modulus(i, j) = m;
        mat.s_modulus(i, j) = g;
      }
      summ += m;
      sumg += g;
    }
    vp[i] = phaseVelocity(summ, nf, mat.rhob[i]);
    log.writeList({"material isotropo No y velocidad P =", i, vp[i]});
    vs[i] = phaseVelocity(sumg, nf, mat.rhob[i]);
    log.writeList({"material isotropo No y velocidad S =", i, vs[i]});
  }
  log.writeList({});

  static const char* const kHeaderEcho[5] = {
      "de unit 15, mat=", "de unit 16, mat=", "de unit 17, mat=", "de unit 18, mat=",
      "de unit 19, mat="};
  for (int i = kAnisotropicMaterial; i <= nmat; ++i) {
    for (int u = 0; u < 5; ++u) {
      int num = 0;
      in.aniso[u].read(integerField(), {num});
      log.writeList({kHeaderEcho[u], num});
      // Each density replaces the previous one: the last table's value remains.
      in.aniso[u].read(kDensity, {mat.rhob[i]});
      if (u == 0) log.writeList({"de unit 15, i,rhob(i)=", i, mat.rhob[i]});
    }
    checkDensity(log, files::kAnisotropic[4], i, mat.rhob[i]);

    MaterialTable* const tables[5] = {&mat.p11w, &mat.p13w, &mat.p33w, &mat.p55w, &mat.p66w};
    Cx sum11{}, sum33{}, sum55{};
    for (int j = nf; j >= 1; --j) {
      Cx c[5];
      for (int u = 0; u < 5; ++u) {
        double f = 0.0;
        in.aniso[u].readList({f, c[u].re, c[u].im});
        if (j <= tables[u]->freqs()) (*tables[u])(i, j) = c[u];
      }
      checkAnisotropic(log, i, j, c[0], c[1], c[2], c[3], c[4]);
      sum11 += c[0];
      sum33 += c[2];
      sum55 += c[3];
    }
    vph[i] = phaseVelocity(sum11, nf, mat.rhob[i]);
    log.writeList({"mat. anisot. No y velocidad P horiz. =", i, vph[i]});
    vpv[i] = phaseVelocity(sum33, nf, mat.rhob[i]);
    log.writeList({"mat. anisot. No y velocidad P vert. =", i, vpv[i]});
    vsh[i] = phaseVelocity(sum55, nf, mat.rhob[i]);
    log.writeList({"mat. anisot. No y velocidad SV horiz. =", i, vsh[i]});
  }

  VelocityRange v;
  v.ppmin = v.ppmax = vp[1];
  for (int i = 2; i <= nmat - 1; ++i) takeIn(vp[i], v.ppmin, v.ppmax);
  if (nmat >= kAnisotropicMaterial) {
    for (int i = kAnisotropicMaterial; i <= nmat; ++i) takeIn(vph[i], v.ppmin, v.ppmax);
    for (int i = kAnisotropicMaterial; i <= nmat; ++i) takeIn(vpv[i], v.ppmin, v.ppmax);
  }
  v.ssmin = v.ssmax = vs[1];
  for (int i = 2; i <= nmat - 1; ++i) takeIn(vs[i], v.ssmin, v.ssmax);
  if (nmat >= kAnisotropicMaterial)
    for (int i = kAnisotropicMaterial; i <= nmat; ++i) takeIn(vsh[i], v.ssmin, v.ssmax);
  return v;
}

void timeStep(rec::OutFile& log, const DeckHeader& hdr, const VelocityRange& v, RunParams& par,
              const Limits& lim) {
  static const rec::Layout kPp(
      "(/1x,'minimum  phase pp velocity   = ',e12.5,' m/sec',//              ' maximum  phase "
      "pp velocity  = ',e12.5,' m/sec'//)");
  static const rec::Layout kSs(
      "(/1x,'minimum  phase ss velocity   = ',e12.5,' m/sec',//             ' maximum  phase "
      "ss velocity  = ',e12.5,' m/sec'//)");
  static const rec::Layout kPpw("(/1x,'Points per wavelenght    = ',i5,//)");
  static const rec::Layout kDt("(/1x,' time step  dt = ',e20.8,' msec'//)");
  static const rec::Layout kNt("(/1x,' number of time steps  nt = ',i6//)");

  const int ppw = truncateToInt(v.ppmin / (hdr.freq * par.h));
  log.write(kPp, {v.ppmin, v.ppmax});
  log.write(kSs, {v.ssmin, v.ssmax});
  log.write(kPpw, {ppw});
  par.dt = par.h / v.ppmax;
  par.nt = truncateToInt(hdr.stime / par.dt);
  log.write(kDt, {par.dt});
  log.write(kNt, {par.nt});
  if (par.nt > lim.samples)
    throw Stop{999, "nt = stime / dt = " + realText(hdr.stime) + " / " + realText(par.dt) + " = " +
                        (par.nt < INT_MAX ? std::to_string(par.nt) : realText(hdr.stime / par.dt)) +
                        " time samples is above the limit of " + std::to_string(lim.samples) +
                        " (dt = h / largest P velocity = " + realText(par.h) + " / " +
                        realText(v.ppmax) +
                        "); shorten stime, or check the units: with lengths in m and times in "
                        "ms the velocities are in m/ms, and velocities in m/s make dt 1000 "
                        "times too small"};
}

}  // namespace sw
