#include "support/input_harness.hpp"

#include <cmath>
#include <cstdio>

#include "core/exit_status.hpp"
#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "input/tables.hpp"
#include "records/io_error.hpp"
#include "support/record_text.hpp"

namespace sw::test {

InputRun runReadInput() {
  InputRun r;
  {
    InputFiles in;
    rec::OutFile log;
    bool connected = false;
    try {
      openRunFiles(in, log);
      connected = true;
    } catch (const rec::IoError& e) {
      r.outcome = {Outcome::Kind::ConnectFailed, std::nullopt, e.what()};
    }
    if (connected) {
      try {
        readInput(in, log, r.par, *r.mat, r.sour);
      } catch (const Stop& s) {
        r.outcome = {Outcome::Kind::Stopped, s.code, s.reason};
      } catch (const InputError& e) {
        r.outcome = {Outcome::Kind::InputRejected, std::nullopt, e.what()};
      } catch (const rec::IoError& e) {
        r.outcome = {Outcome::Kind::IoFailed, std::nullopt, e.what()};
      }
    }
  }
  // A run whose files could not be connected may have no log.
  if (r.outcome.kind != Outcome::Kind::ConnectFailed || fs::exists(files::kLog))
    r.log = readBytes(files::kLog);
  return r;
}

namespace {

std::string freeForm(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.17g\n", v);
  return buf;
}

std::string list(int n, const std::vector<double>& v) {
  if (n <= 0) return e20Line(0.0);
  std::string s;
  for (int k = 0; k < n; ++k) s += e20Line(k < static_cast<int>(v.size()) ? v[k] : 0.0);
  return s;
}

std::string record3(double f, Cx c) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%20.12E%20.12E%20.12E\n", f, c.re, c.im);
  return buf;
}

}  // namespace

void TestDeck::write() const { writeBytes(files::kDeck, text()); }

std::string TestDeck::text() const {
  std::string s;
  s += i5Line(maxlow) + e20Line(perclow) + i5Line(nx) + i5Line(ny) + e20Line(xsize) + e20Line(ysize);
  s += i5Line(nsnapf) + list(nsnapf, fsnap) + i5Line(nsnapt) + list(nsnapt, tsnap);
  s += i5Line(npf) + i5Line(key) + e20Line(freq) + e20Line(stime) + e20Line(f1) + e20Line(f2) + e20Line(f3) + e20Line(f4);
  s += i5Line(maxiter) + e20Line(reduc) + i5Line(nmat) + i5Line(kdel) + e20Line(tmute) + e20Line(xsou) + e20Line(ysou);
  s += i5Line(nrec) + freeForm(xinic) + freeForm(yinic) + freeForm(xfin) + freeForm(yfin);
  for (const Region& r : regions) s += e20Line(r.xi) + e20Line(r.xf) + e20Line(r.yi) + e20Line(r.yf) + i5Line(r.numat);
  if (terminator) s += e20Line(-1.0) + e20Line(0.0) + e20Line(0.0) + e20Line(0.0) + i5Line(0);
  return s;
}

void writeIsoTables(const std::vector<IsoMaterial>& mats, int nf) {
  std::string p, s, d;
  for (std::size_t i = 0; i < mats.size(); ++i) {
    const int num = static_cast<int>(i) + 1;
    p += i5Line(num);
    s += i5Line(num);
    d += i5Line(num);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%20.12E\n", mats[i].rho);
    d += buf;
    for (int j = nf; j >= 1; --j) {
      const double f = 10.0 * j;
      p += record3(f, mats[i].m + j * mats[i].mStep);
      s += record3(f, mats[i].g + j * mats[i].gStep);
    }
  }
  writeBytes(files::kPModulus, p);
  writeBytes(files::kSModulus, s);
  writeBytes(files::kDensity, d);
}

void writeAnisoTables(const std::vector<AnisoMaterial>& mats, int nf) {
  for (int u = 0; u < 5; ++u) {
    std::string t;
    for (std::size_t i = 0; i < mats.size(); ++i) {
      t += i5Line(static_cast<int>(i) + 3);
      char buf[48];
      std::snprintf(buf, sizeof buf, "%20.12E\n", mats[i].rho);
      t += buf;
      const Cx c[5] = {mats[i].p11, mats[i].p13, mats[i].p33, mats[i].p55, mats[i].p66};
      for (int j = nf; j >= 1; --j) {
        char rec[96];
        std::snprintf(rec, sizeof rec, "%.6E  %.12E  %.12E\n", 10.0 * j, c[u].re, c[u].im);
        t += rec;
      }
    }
    writeBytes(files::kAnisotropic[static_cast<std::size_t>(u)], t);
  }
}

void grid10(TestDeck& d) {
  d.nx = d.ny = 10;
  d.xsize = d.ysize = 100.0;
  d.regions = {{0.0, 100.0, 0.0, 100.0, 1}};
  d.f4 = 100.0;
}

void writeRun(const TestDeck& deck) {
  deck.write();
  const int nf = deck.npf >= 1 && deck.f4 > 0.0 && std::isfinite(deck.f4)
                     ? tableRecords(deck.f4, deck.npf)
                     : 1;
  const int niso = deck.nmat - 1 > 0 ? deck.nmat - 1 : 1;
  writeIsoTables(std::vector<IsoMaterial>(static_cast<std::size_t>(niso)), nf);
  if (deck.nmat >= 3)
    writeAnisoTables(std::vector<AnisoMaterial>(static_cast<std::size_t>(deck.nmat - 2)), nf);
}

void writeSlowRun(const TestDeck& deck) {
  deck.write();
  IsoMaterial m;
  m.m = {2500.0, 0.0};
  m.g = {900.0, 0.0};
  m.rho = 1.0;
  writeIsoTables({m}, tableRecords(deck.f4, deck.npf));
}

InputRun readDeck(const TestDeck& deck, bool slow) {
  if (slow)
    writeSlowRun(deck);
  else
    writeRun(deck);
  return runReadInput();
}

}  // namespace sw::test
