// The show's soundtrack, "Vorbo returns": an original piece of 64 seconds in A minor for twelve
// channels.
#pragma once

#include "tools/xmgen/xm_writer.h"

namespace xmgen {

// The whole module: eight patterns of 64 rows at 120 beats per minute and 6
// ticks per row (8 seconds each), played once in order and then repeated.
xm::Module song();

} // namespace xmgen
