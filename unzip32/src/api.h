// The export with one choice more than its records can carry, for the
// command-line host and the tests.
#pragma once

#include <cstdint>

#include "unzip32.h"

namespace uz {

// Wiz_SingleEntryUnzip with a given number of worker threads (0: the
// default, one per processor; 1: everything on the calling thread).
int32_t single_entry_unzip(int32_t include_count, UzNameList *include, int32_t exclude_count,
                           UzNameList *exclude, UzOptions *options, UzCallbacks *callbacks,
                           unsigned threads);

} // namespace uz
