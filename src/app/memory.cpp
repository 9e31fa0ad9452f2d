#include "app/memory.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/anderson_mixer.hpp"
#include "coupling/krylov_iteration.hpp"
#include "core/lanes.hpp"
#include "materials/grid_materials.hpp"

namespace sw {

double startupBytes() {
  constexpr double kMiB = 1024.0 * 1024.0;
#if defined(STRIPWAVE_DIRECT)
  return 9.0 * kMiB;
#else
  return 5.0 * kMiB;
#endif
}

namespace {

namespace fs = std::filesystem;

/// Limits at or above this are "no limit" (cgroup v1 writes 2^63 rounded to a page).
constexpr double kUnlimited = 4.0e18;

/// The first line of a file, or nothing.
std::string firstLine(const fs::path& p) {
  std::ifstream in(p);
  std::string line;
  std::getline(in, line);
  return line;
}

/// A byte count written as a decimal number; negative when the text is not one.
double byteCount(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return -1.0;
  return std::stod(text);
}

/// "<label>: <n> kB" of a /proc status-like file, in bytes; negative when absent.
double kilobyteField(const std::string& file, const std::string& label) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(label + ":", 0) != 0) continue;
    std::istringstream fields(line.substr(label.size() + 1));
    double kb = 0.0;
    if (!(fields >> kb) || kb < 0.0) return -1.0;
    return kb * 1024.0;
  }
  return -1.0;
}

/// Room under the limits of a cgroup directory and its ancestors up to `root`.
double cgroupRoom(fs::path dir, const fs::path& root, const char* limitFile,
                  const char* usageFile) {
  double room = std::numeric_limits<double>::infinity();
  for (;;) {
    const double limit = byteCount(firstLine(dir / limitFile));
    const double usage = byteCount(firstLine(dir / usageFile));
    if (limit >= 0.0 && limit < kUnlimited && usage >= 0.0)
      room = std::min(room, std::max(limit - usage, 0.0));
    if (dir == root || !dir.has_parent_path() || dir.parent_path() == dir) break;
    dir = dir.parent_path();
  }
  return room;
}

/// The cgroup directory of a /proc/self/cgroup path under `mount`: the path itself when it
/// is there, else the mount (a cgroup namespace shows the process's own group as root).
fs::path groupDir(const fs::path& mount, const std::string& path) {
  const fs::path dir = mount / fs::path(path).relative_path();
  std::error_code ec;
  return fs::is_directory(dir, ec) ? dir : mount;
}

/// Room under the cgroup memory limits of this process (v2 and v1 hierarchies).
double cgroupRoom(const MemorySources& from) {
  double room = std::numeric_limits<double>::infinity();
  std::ifstream in(from.selfCgroup);
  std::string line;
  const fs::path root(from.cgroupRoot);
  while (std::getline(in, line)) {
    // hierarchy-id:controllers:path
    const auto a = line.find(':');
    const auto b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = line.substr(a + 1, b - a - 1);
    const std::string path = line.substr(b + 1);
    if (line.compare(0, a, "0") == 0 && controllers.empty()) {
      room = std::min(room, cgroupRoom(groupDir(root, path), root, "memory.max", "memory.current"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      const fs::path mount = root / "memory";
      room = std::min(room, cgroupRoom(groupDir(mount, path), mount, "memory.limit_in_bytes",
                                       "memory.usage_in_bytes"));
    }
  }
  return room;
}

/// Room under RLIMIT_AS, from the address space in use now.
double addressSpaceRoom() {
  rlimit rl{};
  if (getrlimit(RLIMIT_AS, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
    return std::numeric_limits<double>::infinity();
  const double used = kilobyteField("/proc/self/status", "VmSize");
  return std::max(static_cast<double>(rl.rlim_cur) - std::max(used, 0.0), 0.0);
}

}  // namespace

MemoryEstimate estimateMemory(const RunShape& s) {
  // The solvers hold the grid extended by its layer, if any; the snapshots, the model and
  // the fields the accumulation reads are those of the grid's own elements.
  const double layer = static_cast<double>(std::max(s.layer, 0L));
  const double ownNx = static_cast<double>(s.nx), ownNy = static_cast<double>(s.ny);
  const double nx = ownNx + 2.0 * layer, ny = ownNy + (s.layerTop ? 2.0 : 1.0) * layer;
  const double framed = (nx + 2.0) * (ny + 2.0);  // arrays with the ghost frame
  const double elements = ownNx * ownNy;
  constexpr double kCx = 16.0;  // one complex value

  MemoryEstimate e;
  // Framed arrays per element: density and six stiffness coefficients, the material number.
  const double perFramed = (8.0 + 6.0 * kCx) + 4.0;
  // The lane kernels keep kLanes strips of one parity per group: their factors (60
  // entries per group of six unknowns, nx + 1 groups), the fields (ten values per element
  // and six more per strip; the odd groups twice) with a zero group before and after
  // each parity, the horizontal-edge parameters and the terms of the change measure.
  const double lane = kCx * kLanes;
  const long rows = static_cast<long>(ny);
  const double odd = static_cast<double>(((rows + 1) / 2 + kLanes - 1) / kLanes);
  const double even = static_cast<double>((rows / 2 + kLanes - 1) / kLanes);
  const double block = (10.0 * nx + 6.0) * lane;
  const double factors = (odd + even) * (nx + 1.0) * 60.0 * lane;
  const double fields = (odd + 2.0 + even + 2.0) * block + (odd + 2.0) * block;
  const double parameters = (odd + even + 2.0) * nx * 3.0 * lane / 2.0;  // imaginary parts
  const double changeTerms = (nx + 1.0) * odd * 2.0 * 12.0 * 8.0 * kLanes;
  // Boundary vectors, indicators and roots.
  const double edges = 100.0 * (nx + ny + 4.0);
  // The edge fields the accumulation reads, exported from the lanes: sixteen framed arrays.
  const double exported = 16.0 * kCx * framed;
  // Every shot of a survey has its own fields and their export; the factors are shared.
  const double shots = static_cast<double>(std::max(s.shots, 1L));
  // The copy of every shot's fields a checkpoint is written from.
  const double checkpoint = shots * (odd + 2.0 + even + 2.0) * block;
  e.grid = perFramed * framed + factors + shots * (fields + exported) + parameters + changeTerms +
           edges + checkpoint;
  if (s.layerIteration) {
    // 60 entries per group of six unknowns, nx + 1 groups, every strip; three parameters
    // on each of the four sides of every element; the sixteen arrays of every shot's
    // fields, of the previous iterate and of a checkpoint's copy; the change terms; GMRES's
    // basis and its three work vectors of the carried state.
    const double arrays = 16.0 * kCx * framed;
    const double carried = 2.0 * nx * std::max(ny - 1.0, 0.0) * kCx;
    e.grid = perFramed * framed + ny * (nx + 1.0) * 60.0 * kCx + 12.0 * kCx * framed +
             (2.0 * shots + 1.0) * arrays + changeTerms + edges +
             (KrylovSettings{}.restart + 1.0 + 3.0) * carried;
  }
  // The accelerated iteration: 2 m + 4 vectors of the carried state (two components on
  // every interior horizontal edge), m the depth of the mixer's history.
  // A layer: the medium of the grid's own elements the layer's is formed from, and every
  // shot's fields of those elements taken out of the extended grid's.
  if (layer > 0.0) {
    const double ownFramed = (ownNx + 2.0) * (ownNy + 2.0);
    e.grid += (8.0 + 6.0 * kCx) * ownFramed + shots * 16.0 * kCx * ownFramed;
  }
  if (s.accelerate) {
    const double history = AndersonSettings{}.history;
    e.grid += (2.0 * history + 4.0) * 2.0 * nx * std::max(ny - 1.0, 0.0) * kCx;
  }

  // A model file: the moduli formed from it, at most those of a tilted attenuating grid,
  // with its quality factors while they are formed (the other datasets as read lend their
  // storage to the moduli).
  if (s.gridModel)
    e.grid += static_cast<double>(GridMaterials::peakBytesPerElement(true, true)) * elements;

  e.snapshots = shots * 2.0 * 8.0 * elements * static_cast<double>(s.nsnapt);

  // Two spectra per receiver, then per trace the series and its rendered text (16 bytes
  // a sample, up to twice that while the text grows).
  const double nt = static_cast<double>(std::max(s.nt, 0L));
  e.traces = shots * 2.0 * kCx * static_cast<double>(s.nfreq) * static_cast<double>(s.nrec) +
             (8.0 + 32.0) * nt + 8.0 * static_cast<double>(s.nrec);

  // Seven complex tables of 20 materials; the source spectrum; per thread kLanes band
  // matrices of 15 diagonals, the lane vector of a group's solve (6 nx + 3 entries), a
  // block of new values and their vertical multipliers, the interface parameters of a
  // strip, and a row of element velocities.
  const double tables = 7.0 * 20.0 * kCx * static_cast<double>(s.tableFreqs);
  const double spectrum = 2.0 * kCx * static_cast<double>(std::max(s.tableFreqs, s.nfreq));
  const double perThread = kLanes * 15.0 * kCx * (6.0 * nx + 2.0) +
                           ((6.0 * nx + 3.0) + 10.0 * nx + 6.0 + 4.0 * nx) * lane + 6.0 * kCx * nx +
                           kCx * (nx + 1.0);
  e.other = tables + spectrum + perThread * static_cast<double>(std::max(s.threads, 1L));
  return e;
}

AvailableMemory availableMemory(const MemorySources& from) {
  AvailableMemory a{std::numeric_limits<double>::infinity(), "no known limit"};
  const auto take = [&a](double bytes, const char* source) {
    if (bytes >= 0.0 && bytes < a.bytes) a = {bytes, source};
  };
  take(kilobyteField(from.meminfo, "MemAvailable"), "MemAvailable");
  take(cgroupRoom(from), "cgroup limit");
  if (from.addressSpace) take(addressSpaceRoom(), "address-space limit");
  return a;
}

std::string bytesText(double bytes) {
  if (std::isinf(bytes)) return "unlimited";
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  double v = bytes / 1024.0;
  int u = 0;
  while (v >= 1024.0 && u < 4) {
    v /= 1024.0;
    ++u;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, v >= 100.0 ? "%.0f %s" : "%.3g %s", v, kUnits[u]);
  return buf;
}

}  // namespace sw
