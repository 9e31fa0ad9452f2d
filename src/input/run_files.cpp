#include "input/run_files.hpp"

namespace sw {

void openRunFiles(InputFiles& in, rec::OutFile& log) {
  in.deck.open(files::kDeck);
  in.pmod.open(files::kPModulus);
  in.smod.open(files::kSModulus);
  in.dens.open(files::kDensity);
  for (std::size_t k = 0; k < in.aniso.size(); ++k)
    in.aniso[k].openOrCreate(files::kAnisotropic[k]);
  log.open(files::kLog);
}

}  // namespace sw
