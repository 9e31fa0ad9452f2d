#include "harness.hpp"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "core/warning.hpp"
#include "input/deck.hpp"
#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "input/model_file.hpp"
#include "input/tables.hpp"
#include "materials/grid_materials.hpp"
#include "materials/material_tables.hpp"
#include "model/run_params.hpp"
#include "records/in_file.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "strip/interface_parameters.hpp"
#include "support/model_file.hpp"
#include "support/record_text.hpp"

namespace sw::fuzz {

namespace {

using test::e20Line;
using test::i5Line;

void writeFile(const char* name, std::string_view bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// Runs the input routine on the files in the current directory; the documented ways
/// for it to end are caught, anything else escapes.
void runInput() {
  // Warnings would flood the fuzzer's output; they are not what it looks for.
  setWarningSink([](const std::string&) {});
  // The tables of every material and frequency are allocated once: allocating and
  // clearing them anew costs more than the rest of an input.  What an input does not
  // read keeps the values of an earlier one, which nothing here looks at.
  static auto mat = std::make_unique<Materials>();
  static Vec1<Cx> sour(kMaxFreqs);
  InputFiles in;
  rec::OutFile log;
  RunParams par;
  try {
    openRunFiles(in, log);
    readInput(in, log, par, *mat, sour);
  } catch (const Stop&) {
  } catch (const InputError&) {
  } catch (const rec::IoError&) {
  }
}

/// Tables of nmat materials with nf records each, valid for the deck of readTables.
void writeTables(int nmat, int nf) {
  std::string p, s, d, a;
  for (int i = 1; i <= nmat - 1; ++i) {
    p += i5Line(i);
    s += i5Line(i);
    d += i5Line(i) + e20Line(2.0 + 0.1 * i);
    for (int j = nf; j >= 1; --j) {
      char rec[96];
      std::snprintf(rec, sizeof rec, "%20.12E%20.12E%20.12E\n", 1.0 * j, 9.0 + i, 0.05 * i);
      p += rec;
      std::snprintf(rec, sizeof rec, "%20.12E%20.12E%20.12E\n", 1.0 * j, 2.0 + 0.1 * i, 0.01 * i);
      s += rec;
    }
  }
  writeFile("p_modulus.freq", p);
  writeFile("s_modulus.freq", s);
  writeFile("bulk_density.mat", d);
  static const char* const kAniso[5] = {"p11_interp.freq", "p13_interp.freq", "p33_interp.freq",
                                        "p55_interp.freq", "p66_interp.freq"};
  const double c[5] = {12.0, 4.0, 10.0, 3.0, 3.5};
  for (int u = 0; u < 5; ++u) {
    a.clear();
    for (int i = 3; i <= nmat; ++i) {
      a += i5Line(i) + e20Line(2.4);
      for (int j = nf; j >= 1; --j) {
        char rec[96];
        std::snprintf(rec, sizeof rec, "%g %.12E %.12E\n", 1.0 * j, c[u], 0.02 * c[u]);
        a += rec;
      }
    }
    writeFile(kAniso[u], a);
  }
}

/// A plausible value of a property (in its first accepted unit) from one byte, or one of
/// the values at the edges for the bytes from 250 on.
double propertyValue(int dataset, std::uint8_t b) {
  switch (b) {
    case 255: return std::numeric_limits<double>::quiet_NaN();
    case 254: return std::numeric_limits<double>::infinity();
    case 253: return -1.0;
    case 252: return 0.0;
    case 251: return 1e200;
    case 250: return 1e-310;
    default: break;
  }
  const double v = b;
  switch (dataset) {
    case 0: return 1500.0 + 20.0 * v;          // vp, m/s
    case 1: return b < 16 ? 0.0 : 10.0 * v;    // vs, m/s: some fluids
    case 2: return 1.0 + v / 100.0;            // rho, g/cm3
    case 3: case 4: return 1.0 + v;            // qp, qs
    case 5: case 6: return (v - 100.0) / 250.0;  // epsilon, delta
    default: return (v - 125.0) * 1.5;         // tilt, degrees
  }
}

/// Aborts with a message: the reader accepted a model it should have refused.
[[noreturn]] void fault(const char* what) {
  std::fprintf(stderr, "fuzz model: an accepted model gives %s\n", what);
  std::abort();
}

/// What an accepted model must give: finite moduli at the reference frequency, finite
/// interface terms, and finite positive P velocities.
void checkAccepted(const PropertyGrid& grid) {
  const GridMaterials materials(grid);
  Medium med(grid.nx, grid.ny);
  const double omega = kTwoPi * grid.referenceFrequency;
  // A band with the reference frequency in it refuses such a model before any work.
  if (materials.firstWithoutNormalRoot(omega)) return;
  materials.fillMedium(1, omega, med);
  for (int j = 0; j <= grid.ny + 1; ++j)
    for (int i = 0; i <= grid.nx + 1; ++i) {
      if (!(med.rho(i, j) > 0.0 && std::isfinite(med.rho(i, j)))) fault("a bad density");
      for (const Grid<Cx>* p : {&med.p11, &med.p13, &med.p15, &med.p33, &med.p35, &med.p55})
        if (!isfinite((*p)(i, j))) fault("a modulus that is not finite");
      if (!(med.p33(i, j).re > 0.0) || med.p55(i, j).re < -1e-12 * med.p33(i, j).re)
        fault("a modulus of the wrong sign");
    }
  struct Finite : EdgeParameterSink {
    void vertical(int, int, const EdgeParameters& b) override { check(b); }
    void horizontal(int, int, const EdgeParameters& b) override { check(b); }
    static void check(const EdgeParameters& b) {
      if (!isfinite(b.b11) || !isfinite(b.b12) || !isfinite(b.b22))
        fault("interface parameters that are not finite");
    }
  } sink;
  BoundaryRoots roots(grid.nx, grid.ny);
  interfaceParameters(omega, med, sink, roots);
  const VelocityRange v = modelVelocities(grid, 8, grid.referenceFrequency / 3.0);
  if (!(v.ppmin > 0.0 && std::isfinite(v.ppmax))) fault("P velocities that are not finite");
}

}  // namespace

void readModel(const std::uint8_t* data, std::size_t size) {
  if (size < 4 + 8 * 4) return;
  setWarningSink([](const std::string&) {});
  const int nx = 1 + data[0] % 6, ny = 1 + data[1] % 6;
  test::ModelFileContents contents;
  switch (data[2]) {
    case 0: contents.referenceFrequency.reset(); break;
    case 1: contents.referenceFrequency = 0.0; break;
    case 2: contents.referenceFrequency = std::numeric_limits<double>::quiet_NaN(); break;
    case 3: contents.referenceFrequencyAsText = true; break;
    case 4: contents.referenceFrequency = -5.0; break;
    default: contents.referenceFrequency = data[2] / 2.0; break;
  }
  static const char* const kNames[8] = {"vp", "vs", "rho", "qp", "qs", "epsilon", "delta", "tilt"};
  static const char* const kUnits[8][2] = {{"m/s", "km/s"}, {"m/s", "km/s"}, {"g/cm3", "kg/m3"},
                                           {"1", "1"},      {"1", "1"},      {"1", "1"},
                                           {"1", "1"},      {"degree", "degree"}};
  static const double kAlternative[8] = {1e-3, 1e-3, 1e3, 1.0, 1.0, 1.0, 1.0, 1.0};
  const hid_t types[5] = {H5T_IEEE_F64LE, H5T_IEEE_F32BE, H5T_IEEE_F64BE, H5T_IEEE_F32LE,
                          H5T_STD_I32LE};
  const std::uint8_t* values = data + 4 + 8 * 4;
  const std::size_t nvalues = size - (4 + 8 * 4);
  std::size_t next = 0;
  const std::size_t n = static_cast<std::size_t>(nx) * ny;
  for (int d = 0; d < 8; ++d) {
    const std::uint8_t* c = data + 4 + 4 * d;
    if (c[0] % 5 == 0) continue;
    test::ModelDataset ds;
    ds.name = kNames[d];
    ds.asGroup = c[0] % 5 == 4;
    ds.type = types[c[1] % 5];
    const hsize_t hy = static_cast<hsize_t>(ny), hx = static_cast<hsize_t>(nx);
    switch (c[2] % 8) {
      case 4: ds.dims = {hx, hy}; break;
      case 5: ds.dims = {hx * hy}; break;
      case 6: ds.dims = {}; break;
      default: ds.dims = {hy, hx}; break;
    }
    const int unit = c[3] % 8;
    double scale = 1.0;
    if (unit == 3) {
      ds.units = kUnits[d][1];
      scale = kAlternative[d];
    } else if (unit == 4) {
      ds.units.reset();
    } else if (unit == 6) {
      ds.units = "furlong";
    } else {
      ds.units = kUnits[d][0];
    }
    ds.variableLengthUnits = unit != 5;
    ds.numericUnits = unit == 7;
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint8_t b = nvalues == 0 ? 0x40 : values[next++ % nvalues];
      ds.values.push_back(propertyValue(d, b) * scale);
    }
    contents.datasets.push_back(ds);
  }
  test::writeModelFile("model.h5", contents);
  if (data[3] >= 248) {
    std::ifstream in("model.h5", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    writeFile("model.h5", std::string_view(bytes).substr(0, bytes.size() * (data[3] - 247) / 9));
  }

  rec::OutFile log;
  log.open("harness.log");  // a regular file: special files are refused
  PropertyGrid grid;
  try {
    grid = readModelFile("model.h5", nx, ny, log);
  } catch (const InputError&) {
    return;
  }
  checkAccepted(grid);
}

void readRecords(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::size_t scriptLength = std::min<std::size_t>(data[0], size - 1);
  const std::uint8_t* script = data + 1;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1 + scriptLength,
                              size - 1 - scriptLength);
  writeFile("records.txt", text);

  static const rec::Layout kI5("(i5)"), k2I5("(2i5)"), kE208("(e20.8)"), kE2012("(e20.12)"),
      k3E2012("(3e20.12)");
  rec::InFile in;
  int n[3] = {};
  double x[7] = {};
  try {
    in.open("records.txt");
    // The script repeats until the text is used up: every read either succeeds or
    // raises IoError.
    for (int round = 0; round < 1000 && scriptLength > 0; ++round) {
      for (std::size_t k = 0; k < scriptLength; ++k) {
        switch (script[k] % 16) {
          case 0:
            in.read(kI5, {n[0]});
            break;
          case 1:
            in.read(kI5, {n[0], n[1]});
            break;
          case 2:
            in.read(k2I5, {n[0], n[1]});
            break;
          case 3:
            in.read(kE208, {x[0]});
            break;
          case 4:
            in.read(kE208, {x[0], x[1]});
            break;
          case 5:
            in.read(kE208, {x[0], x[1], x[2], x[3]});
            break;
          case 6:
            in.read(kE2012, {x[0]});
            break;
          case 7:
            in.read(k3E2012, {x[0], x[1], x[2]});
            break;
          case 8:
            in.read(k3E2012, {x[0], x[1], x[2], x[3], x[4], x[5], x[6]});
            break;
          case 9:
            in.read(kE208, std::span<const rec::Target>{});
            break;
          case 10:
            in.read(kI5, std::span<const rec::Target>{});
            break;
          case 11:
            in.readList({x[0]});
            break;
          case 12:
            in.readList({x[0], x[1], x[2]});
            break;
          case 13:
            in.readList({n[0], x[0], x[1]});
            break;
          case 14:
            in.readList({n[2]});
            break;
          default:
            in.readList({x[0], x[1], x[2], x[3]});
            break;
        }
      }
    }
  } catch (const rec::IoError&) {
  }
}

void readDeck(const std::uint8_t* data, std::size_t size) {
  writeFile("inp_A", std::string_view(reinterpret_cast<const char*>(data), size));
  // Tables to match: the deck header is read once to learn nmat and nf.
  int nmat = 2, nf = 1;
  try {
    rec::InFile deck;
    deck.open("inp_A");
    rec::OutFile log;
    log.open("harness.log");  // a regular file: special files are refused
    DeckHeader hdr;
    RunParams par;
    readGrid(deck, log, hdr, par);
    readDomain(deck, log, hdr, par);
    readHeader(deck, log, hdr, par);
    readMaterialCount(deck, log, hdr);
    nmat = hdr.nmat;
    nf = tableRecords(hdr.f4, hdr.npf);
  } catch (...) {
    // The run proper meets the same failure.
  }
  if (nf < 1 || nf > kMaxFreqs) nf = 1;
  writeTables(std::clamp(nmat, 2, kMaxMaterials), nf);
  runInput();
}

void readTables(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const int nmat = 2 + data[0] % (kMaxMaterials - 1);
  const int nf = 1 + data[1];
  // 4 x 3 elements of 1 m; f4 a power of two times nf, so that nf = f4 / (f4 / nf)
  // exactly; stime 0 (no samples), so that any velocities pass the time-step checks.
  const double f4 = nf * 0x1p-20;
  std::string deck = i5Line(10) + e20Line(0.5) + i5Line(4) + i5Line(3) + e20Line(4.0) + e20Line(3.0);
  deck += i5Line(0) + e20Line(0.0) + i5Line(1) + e20Line(0.0);                       // snapshots
  deck += i5Line(nf) + i5Line(1) + e20Line(f4 / 4) + e20Line(0.0);                   // npf key freq stime
  deck += e20Line(0.0) + e20Line(0.0) + e20Line(f4 / 2) + e20Line(f4);               // f1 .. f4
  deck += i5Line(5) + e20Line(0.01) + i5Line(nmat) + i5Line(1) + e20Line(0.0);           // maxiter .. tmute
  deck += e20Line(1.5) + e20Line(1.5) + i5Line(2) + "0.5\n0.5\n3.5\n2.5\n";      // source, receivers
  deck += e20Line(0.0) + e20Line(4.0) + e20Line(0.0) + e20Line(3.0) + i5Line(1);         // material 1 everywhere
  deck += e20Line(0.0) + e20Line(1.0) + e20Line(0.0) + e20Line(1.0) + i5Line(nmat - 1);  // the last isotropic one
  if (nmat >= 3) deck += e20Line(1.0) + e20Line(2.0) + e20Line(0.0) + e20Line(1.0) + i5Line(3);
  deck += e20Line(-1.0) + e20Line(0.0) + e20Line(0.0) + e20Line(0.0) + i5Line(0);
  writeFile("inp_A", deck);

  static const char* const kNames[8] = {"p_modulus.freq",  "s_modulus.freq",  "bulk_density.mat",
                                        "p11_interp.freq", "p13_interp.freq", "p33_interp.freq",
                                        "p55_interp.freq", "p66_interp.freq"};
  std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  for (const char* name : kNames) {
    const std::size_t cut = rest.find(kTableSeparator);
    writeFile(name, rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  runInput();
}

}  // namespace sw::fuzz
