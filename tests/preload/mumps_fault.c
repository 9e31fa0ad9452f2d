/* Put before MUMPS with LD_PRELOAD: every call of zmumps_c goes through to the library,
 * and the one that $STRIPWAVE_MUMPS_FAULT = "JOB CALL INFO1 INFO2" names (the CALL-th call
 * with JOB: 1 the analysis, 2 a factorisation, 3 a solve) then reports INFO1 and INFO2 in
 * INFO and INFOG, as MUMPS reports a failure that a test cannot bring about otherwise
 * (a zero pivot, an allocation that fails inside the factorisation).  Under mpirun,
 * $STRIPWAVE_MUMPS_FAULT_RANK, when set, limits the fault to the rank of that number. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zmumps_c.h>

void zmumps_c(ZMUMPS_STRUC_C* id) {
  typedef void (*Entry)(ZMUMPS_STRUC_C*);
  static Entry next = 0;
  static int calls[4];
  if (next == 0) next = (Entry)dlsym(RTLD_NEXT, "zmumps_c");
  const int job = id->job;
  next(id);
  if (job < 1 || job > 3) return;
  const int call = ++calls[job];
  const char* fault = getenv("STRIPWAVE_MUMPS_FAULT");
  int faultJob = 0, faultCall = 0, info1 = 0, info2 = 0;
  if (fault == 0 || sscanf(fault, "%d %d %d %d", &faultJob, &faultCall, &info1, &info2) != 4)
    return;
  if (job != faultJob || call != faultCall) return;
  const char* rank = getenv("STRIPWAVE_MUMPS_FAULT_RANK");
  const char* self = getenv("OMPI_COMM_WORLD_RANK");
  if (rank != 0 && (self == 0 || strcmp(rank, self) != 0)) return;
  id->info[0] = id->infog[0] = info1;
  id->info[1] = id->infog[1] = info2;
}
