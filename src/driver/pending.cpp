// PLACEHOLDERS: routines whose subsystems have not landed yet.  Each is replaced by the
// real implementation when its subsystem lands; until then a run stops right after the
// input files are connected, with a message saying so.

#include <stdexcept>

#include "driver/stop.hpp"
#include "input/readata.hpp"
#include "iteration/solv1it.hpp"
#include "iteration/uplag.hpp"
#include "output/accumulate.hpp"
#include "output/outime.hpp"
#include "strip/coeflu.hpp"
#include "strip/inbeta.hpp"

namespace sw {

void solv1it(int, int, int, EdgeFields&, const Betas&, double, const Source&, const Indicators&,
             const Dofmap&, const StripFactors&, StripWork&) {}
void uplag(int, int, const Betas&, EdgeFields&) {}
void finvpic2(int, int, int, const EdgeFields&, Accumulators&, int, const Vec1<int>&, double,
              double) {}
void savtrace(int, int, double, const Vec1<int>&, const Vec1<int>&, Accumulators&,
              const EdgeFields&) {}
void outime(int, int, int, const Accumulators&, int, double, double, int, int, int) {}

}  // namespace sw
