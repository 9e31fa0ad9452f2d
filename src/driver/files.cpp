#include "driver/files.hpp"

namespace sw {

void connectFiles(InputFiles& in, rec::OutFile& log) {
  in.deck.open("inp_A");
  in.pmod.open("p_modulus.freq");
  in.smod.open("s_modulus.freq");
  in.dens.open("bulk_density.mat");
  static const char* const kAniso[5] = {"p11_interp.freq", "p13_interp.freq", "p33_interp.freq",
                                        "p55_interp.freq", "p66_interp.freq"};
  for (int k = 0; k < 5; ++k) in.aniso[k].openOrCreate(kAniso[k]);
  log.open("output");
}

}  // namespace sw
