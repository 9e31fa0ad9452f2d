#include "input/placement.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/exit_status.hpp"
#include "core/truncate.hpp"
#include "core/warning.hpp"
#include "input/deck_fields.hpp"
#include "input/reject.hpp"

namespace sw {

int elementIndex(double x, double h) { return truncateToInt(x / h + 1.0); }

namespace {

/// The reason of the stop for a source outside the grid along one axis.
std::string sourceOutside(const char* coordinate, double x, const char* index, int element,
                          const char* count, int n, double h) {
  return std::string("the source at ") + coordinate + " = " + realText(x) + " lies in element " +
         index + " = " + std::to_string(element) + ", outside 1 .. " + count + " = " +
         std::to_string(n) + " (the grid spans 0 <= " + coordinate + " < " + realText(n * h) + ")";
}

/// A receiver whose element is not one of the grid's records zero (the ghost frame and
/// what lies beyond hold no field); it is warned about, one line per receiver.  One on
/// the far edge (x = xsize or y = ysize) gets the element index nx + 1 or ny + 1: it is
/// not moved to the edge element, so that its traces stay those of the established
/// program, and the warning says where it would record.
void warnIfOutside(int r, double x, double y, const RunParams& par) {
  const int ix = par.irx(r), iy = par.iry(r);
  if (ix >= 1 && ix <= par.nx && iy >= 1 && iy <= par.ny) return;
  std::string where = "receiver " + std::to_string(r) + " at x = " + realText(x) +
                      ", y = " + realText(y) + " falls in element (" + std::to_string(ix) + ", " +
                      std::to_string(iy) + "), ";
  const bool farEdge = (ix == par.nx + 1 || iy == par.ny + 1) && ix >= 1 && ix <= par.nx + 1 &&
                       iy >= 1 && iy <= par.ny + 1;
  if (farEdge)
    where += "just beyond the far edge of the grid of " + std::to_string(par.nx) + " x " +
             std::to_string(par.ny) + " elements; its traces are zero (half an element " +
             "inward, it would record the edge element)";
  else
    where += "outside the grid of " + std::to_string(par.nx) + " x " + std::to_string(par.ny) +
             " elements; its traces are zero";
  warn(where);
}

}  // namespace

double readSourceMode(rec::InFile& deck, rec::OutFile& log, RunParams& par,
                      const SourceOverride* over) {
  static const rec::Layout kKdel("(/1x,' kdel=0 : delta, kdel = 1:  d/dx(delta). kdel = ',i6)");
  double tmute = 0.0;
  deck.read(integerField(), {par.kdel});
  deck.read(realField(), {tmute});
  if (over != nullptr && over->kdel) par.kdel = *over->kdel;
  log.write(kKdel, {par.kdel});
  return tmute;
}

void echoMute(rec::OutFile& log, double tmute, double dt) {
  static const rec::Layout kMute(
      "(/1x,'  mute in msec  tmute = ',e20.8,/,                  ' mute in samples   ntmute = "
      "',i5/)");
  const int ntmute = tmute > 0.0 ? truncateToInt(tmute / dt) : 0;
  log.write(kMute, {tmute, ntmute});
}

void placeSource(rec::InFile& deck, rec::OutFile& log, RunParams& par, const Limits& lim,
                 const SourceOverride* over) {
  static const rec::Layout kWrongJsou("(/1x,' wrong jsou = ',i5)");
  static const rec::Layout kWrongKsou("(/1x,' wrong ksou = ',i5)");
  static const rec::Layout kElement("(/1x,' jsou = ',i5,'  ksou = ',i5)");
  static const rec::Layout kPosition("(/1x,' xsou = ',e20.8,' m ysou = ',e20.8,' m')");
  static const rec::Layout kNrec("(/1x,' number of receivers, nrec = ',i5)");

  double xsou = 0.0, ysou = 0.0;
  deck.read(realField(), {xsou, ysou});
  deck.read(integerField(), {par.nrec});
  if (over != nullptr) {
    xsou = over->x;
    ysou = over->y;
  }
  if (par.nrec > lim.receivers)
    throw Stop{9920, aboveLimit("nrec", par.nrec, "receivers", lim.receivers)};

  par.jsou = elementIndex(xsou, par.h);
  par.ksou = elementIndex(ysou, par.h);
  if (par.jsou > par.nx || par.jsou <= 0) {
    log.write(kWrongJsou, {par.jsou});
    throw Stop{666, sourceOutside("xsou", xsou, "jsou", par.jsou, "nx", par.nx, par.h)};
  }
  if (par.ksou > par.ny || par.ksou <= 0) {
    log.write(kWrongKsou, {par.ksou});
    throw Stop{666, sourceOutside("ysou", ysou, "ksou", par.ksou, "ny", par.ny, par.h)};
  }
  log.write(kElement, {par.jsou, par.ksou});
  log.write(kPosition, {xsou, ysou});
  log.write(kNrec, {par.nrec});
}

void placeReceivers(rec::InFile& deck, rec::OutFile& log, RunParams& par) {
  static const rec::Layout kReceiver(
      "(/1x,'receiver i =',i5,3x,'irx & iry = ',2i5,/,15x,              'rx(i) & ry(i) = ', "
      "2g15.8, '  m')");
  static const rec::Layout kOutsideX(
      "(/1x,'receiver i =',i5,3x,'irx(i)  = ',i5,                       'nx+1  = ',i5)");
  static const rec::Layout kOutsideY(
      "(/1x,'receiver i =',i5,3x,' iry(i)  = ',i5,                      'ny+1  = ',i5)");

  // Entries 1 and 2 hold the ends of the line until every position is filled in.
  const std::size_t count = static_cast<std::size_t>(std::max({par.nrec, 2, kMaxReceivers})) + 1;
  std::vector<double> rx(count), ry(count);
  if (par.nrec > par.irx.size()) par.irx = par.iry = Vec1<int>(par.nrec);
  deck.readList({rx[1]});
  deck.readList({ry[1]});
  deck.readList({rx[2]});
  deck.readList({ry[2]});
  log.writeList({" xinic ", rx[1]});
  log.writeList({});
  log.writeList({" yinic ", ry[1]});
  log.writeList({});
  log.writeList({" xfin ", rx[2]});
  log.writeList({});
  log.writeList({" yfin ", ry[2]});
  log.writeList({});
  if (par.nrec < 2)
    throw Stop{std::nullopt, "nrec = " + std::to_string(par.nrec) +
                                 ", at least 2 receivers are needed (the receiver line runs "
                                 "from the first receiver to the last)"};

  const double deltarecx = (rx[2] - rx[1]) / (par.nrec - 1.0);
  const double deltarecy = (ry[2] - ry[1]) / (par.nrec - 1.0);
  log.writeList({" deltarecx ", deltarecx});
  log.writeList({});
  log.writeList({" deltarecy ", deltarecy});
  log.writeList({});

  for (int i = 1; i <= par.nrec; ++i) {
    // Receiver 2 is recomputed from the spacing like all the others.
    rx[i] = (i - 1) * deltarecx + rx[1];
    ry[i] = (i - 1) * deltarecy + ry[1];
    par.irx(i) = elementIndex(rx[i], par.h);
    par.iry(i) = elementIndex(ry[i], par.h);
    log.write(kReceiver, {i, par.irx(i), par.iry(i), rx[i], ry[i]});
    if (par.irx(i) <= 0 || par.irx(i) > par.nx + 1)
      log.write(kOutsideX, {i, par.irx(i), par.nx + 1});
    warnIfOutside(i, rx[i], ry[i], par);
    if (par.iry(i) <= 0 || par.iry(i) > par.ny + 1)
      log.write(kOutsideY, {i, par.iry(i), par.ny + 1});
  }
}

}  // namespace sw
