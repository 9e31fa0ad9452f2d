#pragma once
/// How the OpenMP threads of a run wait for each other.

namespace sw {

/// OpenMP's runtime lets a waiting thread spin for a while before it sleeps.  Alone on the
/// machine that saves a wake-up per barrier; with several runs (or other work) on the same
/// cores the spinning threads take the time the working ones need, and every run slows
/// down many times over.  Unless the user has chosen (OMP_WAIT_POLICY or GOMP_SPINCOUNT is
/// set), the program is started again with OMP_WAIT_POLICY=PASSIVE: the runtime reads the
/// variable when it is loaded, before main.  Returns only when no new start was made (the
/// user's choice stands, or the program could not be started again).
void waitPassivelyUnlessChosen(char** argv);

}  // namespace sw
