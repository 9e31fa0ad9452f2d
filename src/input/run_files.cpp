#include "input/run_files.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

namespace sw {

std::string files::snapshot(int component, int k, int nsnapt) {
  std::string digits = std::to_string(k);
  const std::size_t width = std::max<std::size_t>(2, std::to_string(nsnapt).size());
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return (component == 2 ? "fort.6" : "fort.5") + digits;
}

namespace {

void openLog(rec::OutFile& log, const std::string& logDir, LogWriting writing) {
  std::string name = files::inDirectory(logDir, files::kLog);
  if (writing == LogWriting::held)
    log.openHeld(std::move(name));
  else
    log.open(std::move(name));
}

}  // namespace

void openRunFiles(InputFiles& in, rec::OutFile& log, MaterialInput materials,
                  const std::string& logDir, LogWriting writing) {
  in.deck.open(files::kDeck);
  if (materials == MaterialInput::modelFile) {
    openLog(log, logDir, writing);
    return;
  }
  in.pmod.open(files::kPModulus);
  in.smod.open(files::kSModulus);
  in.dens.open(files::kDensity);
  for (std::size_t k = 0; k < in.aniso.size(); ++k)
    in.anisoCreated[k] = in.aniso[k].openOrCreate(files::kAnisotropic[k]);
  openLog(log, logDir, writing);
}

}  // namespace sw
