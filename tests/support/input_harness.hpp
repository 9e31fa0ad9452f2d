#pragma once
/// Runs of the input step in the working directory: decks and tables written from
/// values, and one call of openRunFiles + readInput with its outcome.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "core/grid.hpp"
#include "materials/material_tables.hpp"
#include "model/run_params.hpp"
#include "support/files.hpp"

namespace sw::test {

/// How readInput ended.
struct Outcome {
  enum class Kind { Returned, Stopped, InputRejected, IoFailed, ConnectFailed };
  Kind kind = Kind::Returned;
  std::optional<int> code;  ///< stop code (empty for a plain stop)
  std::string message;      ///< reason of the stop, InputError or IoError text
};

/// Everything a call of readInput leaves behind.
struct InputRun {
  Outcome outcome;
  RunParams par;
  std::unique_ptr<Materials> mat = std::make_unique<Materials>();
  Vec1<Cx> sour;
  std::string log;  ///< the file "output" after the log was closed
};

/// openRunFiles then readInput in the working directory; the log is closed before return.
InputRun runReadInput();

/// One material region of the deck.
struct Region {
  double xi, xf, yi, yf;
  int numat;
};

/// A deck described by its values; the defaults give a small valid isotropic run
/// (10 x 8 elements of 5 m, velocities 3000 and 1700, 6 frequencies up to 150).
struct TestDeck {
  int maxlow = 10;
  double perclow = 0.2;
  int nx = 10, ny = 8;
  double xsize = 50.0, ysize = 40.0;
  int nsnapf = 1;
  std::vector<double> fsnap{30.0};
  int nsnapt = 2;
  std::vector<double> tsnap{0.02, 0.03};  ///< within the period 1 / delf = 0.04
  int npf = 6;
  int key = 1;
  double freq = 40.0;
  double stime = 0.15;
  double f1 = 0.0, f2 = 0.0, f3 = 80.0, f4 = 150.0;
  int maxiter = 20;
  double reduc = 0.001;
  int nmat = 2;
  int kdel = 1;
  double tmute = 0.01;
  double xsou = 25.0, ysou = 20.0;
  int nrec = 3;
  double xinic = 5.0, yinic = 35.0, xfin = 45.0, yfin = 35.0;
  std::vector<Region> regions{{0.0, 50.0, 0.0, 40.0, 1}};
  bool terminator = true;  ///< append the group with negative xi

  /// The deck text, fixed columns for (i5) and (e20.8) entries.
  std::string text() const;
  void write() const;
};

/// Makes `d` a 10 x 10 grid of 10 m elements (f4 below the Nyquist frequency of
/// dt = 10 / 3000).
void grid10(TestDeck& d);

/// A material of the tables: complex moduli constant over frequency and a density.
struct IsoMaterial {
  Cx m{2.07e7, 0.0};   ///< P-wave modulus (2.3 * 3000^2)
  Cx g{6.647e6, 0.0};  ///< shear modulus (2.3 * 1700^2)
  double rho = 2.3;
  Cx mStep{}, gStep{};  ///< record of index j holds m + j mStep and g + j gStep
};
struct AnisoMaterial {
  Cx p11{2.5e7, 2.0e5}, p13{9.0e6, 1.0e5}, p33{1.9e7, 1.5e5}, p55{5.0e6, 4.0e4}, p66{6.0e6, 5.0e4};
  double rho = 2.4;
};

/// Writes p_modulus.freq, s_modulus.freq and bulk_density.mat for materials 1 .. n with
/// nf records each.
void writeIsoTables(const std::vector<IsoMaterial>& mats, int nf);
/// Writes the five anisotropic tables for materials 3 .. 2 + n with nf records each.
void writeAnisoTables(const std::vector<AnisoMaterial>& mats, int nf);

/// The deck, nmat - 1 default isotropic materials and (for nmat >= 3) default
/// anisotropic tables, with nf = npf records.
void writeRun(const TestDeck& deck);

/// The deck and one slow isotropic material (P 50, S 30, density 1): with h = 5 the time
/// step is 0.1 and the Nyquist frequency 5.
void writeSlowRun(const TestDeck& deck);

/// writeRun (or writeSlowRun) then runReadInput.
InputRun readDeck(const TestDeck& deck, bool slow = false);

}  // namespace sw::test
