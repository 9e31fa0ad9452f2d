#include "support/input_harness.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/exit_status.hpp"
#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "input/tables.hpp"
#include "records/io_error.hpp"

namespace swtest {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

ScratchDir::ScratchDir() : previous_(fs::current_path()) {
  std::string templ = (fs::temp_directory_path() / "stripwave-input-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
  fs::current_path(dir_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  fs::remove_all(dir_, ec);
}

std::vector<std::string> ScratchDir::files() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

InputRun runReadInput() {
  InputRun r;
  {
    sw::InputFiles in;
    sw::rec::OutFile log;
    bool connected = false;
    try {
      sw::openRunFiles(in, log);
      connected = true;
    } catch (const sw::rec::IoError& e) {
      r.outcome = {Outcome::Kind::ConnectFailed, std::nullopt, e.what()};
    }
    if (connected) {
      try {
        sw::readInput(in, log, r.par, *r.mat, r.sour);
      } catch (const sw::Stop& s) {
        r.outcome = {Outcome::Kind::Stopped, s.code, ""};
      } catch (const sw::InputError& e) {
        r.outcome = {Outcome::Kind::InputRejected, std::nullopt, e.what()};
      } catch (const sw::rec::IoError& e) {
        r.outcome = {Outcome::Kind::IoFailed, std::nullopt, e.what()};
      }
    }
  }
  r.log = readFile("output");
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::vector<std::string> lastLines(const std::string& text, int n) {
  std::vector<std::string> all = lines(text);
  const std::size_t k = std::min<std::size_t>(all.size(), static_cast<std::size_t>(n));
  return std::vector<std::string>(all.end() - static_cast<std::ptrdiff_t>(k), all.end());
}

namespace {

std::string i5(int v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5d\n", v);
  return buf;
}

/// A real in columns 1 to 20, always with a decimal point (a field without one would be
/// scaled by 10^-8).
std::string e20(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%20.11E\n", v);
  return buf;
}

std::string freeForm(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.17g\n", v);
  return buf;
}

std::string list(int n, const std::vector<double>& v) {
  if (n <= 0) return e20(0.0);
  std::string s;
  for (int k = 0; k < n; ++k) s += e20(k < static_cast<int>(v.size()) ? v[k] : 0.0);
  return s;
}

std::string record3(double f, sw::Cx c) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%20.12E%20.12E%20.12E\n", f, c.re, c.im);
  return buf;
}

}  // namespace

std::string TestDeck::text() const {
  std::string s;
  s += i5(maxlow) + e20(perclow) + i5(nx) + i5(ny) + e20(xsize) + e20(ysize);
  s += i5(nsnapf) + list(nsnapf, fsnap) + i5(nsnapt) + list(nsnapt, tsnap);
  s += i5(npf) + i5(key) + e20(freq) + e20(stime) + e20(f1) + e20(f2) + e20(f3) + e20(f4);
  s += i5(maxiter) + e20(reduc) + i5(nmat) + i5(kdel) + e20(tmute) + e20(xsou) + e20(ysou);
  s += i5(nrec) + freeForm(xinic) + freeForm(yinic) + freeForm(xfin) + freeForm(yfin);
  for (const Region& r : regions) s += e20(r.xi) + e20(r.xf) + e20(r.yi) + e20(r.yf) + i5(r.numat);
  if (terminator) s += e20(-1.0) + e20(0.0) + e20(0.0) + e20(0.0) + i5(0);
  return s;
}

void writeIsoTables(const std::vector<IsoMaterial>& mats, int nf) {
  std::string p, s, d;
  for (std::size_t i = 0; i < mats.size(); ++i) {
    const int num = static_cast<int>(i) + 1;
    p += i5(num);
    s += i5(num);
    d += i5(num);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%20.12E\n", mats[i].rho);
    d += buf;
    for (int j = nf; j >= 1; --j) {
      const double f = 10.0 * j;
      p += record3(f, mats[i].m + j * mats[i].mStep);
      s += record3(f, mats[i].g + j * mats[i].gStep);
    }
  }
  writeFile("p_modulus.freq", p);
  writeFile("s_modulus.freq", s);
  writeFile("bulk_density.mat", d);
}

void writeAnisoTables(const std::vector<AnisoMaterial>& mats, int nf) {
  for (int u = 0; u < 5; ++u) {
    std::string t;
    for (std::size_t i = 0; i < mats.size(); ++i) {
      t += i5(static_cast<int>(i) + 3);
      char buf[48];
      std::snprintf(buf, sizeof buf, "%20.12E\n", mats[i].rho);
      t += buf;
      const sw::Cx c[5] = {mats[i].p11, mats[i].p13, mats[i].p33, mats[i].p55, mats[i].p66};
      for (int j = nf; j >= 1; --j) {
        char rec[96];
        std::snprintf(rec, sizeof rec, "%.6E  %.12E  %.12E\n", 10.0 * j, c[u].re, c[u].im);
        t += rec;
      }
    }
    writeFile(sw::files::kAnisotropic[static_cast<std::size_t>(u)], t);
  }
}

void writeRun(const TestDeck& deck) {
  deck.write();
  const int nf = deck.npf >= 1 && deck.f4 > 0.0 ? sw::tableRecords(deck.f4, deck.npf) : 1;
  const int niso = deck.nmat - 1 > 0 ? deck.nmat - 1 : 1;
  writeIsoTables(std::vector<IsoMaterial>(static_cast<std::size_t>(niso)), nf);
  if (deck.nmat >= 3)
    writeAnisoTables(std::vector<AnisoMaterial>(static_cast<std::size_t>(deck.nmat - 2)), nf);
}

fs::path dataDir() { return fs::path(STRIPWAVE_TEST_DATA); }

}  // namespace swtest
