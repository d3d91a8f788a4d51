// The show's soundtrack, "Vorbo returns": an original piece in A minor for thirteen channels,
// one section to each scene of the show.
#pragma once

#include "tools/xmgen/xm_writer.h"

#include <vector>

namespace xmgen {

// 120 beats per minute and 6 ticks per row: a row lasts 1/8 s.
constexpr int rows_per_second = 8;

// The whole module: one pattern per scene, each as long as its scene, so that
// the music turns at the seconds where the picture cuts; the last scene ends
// on a cadence that has died away by second 59, and a pattern of silence
// follows, on which the song also restarts, so that a player that repeats it
// stays quiet.
xm::Module song();

// The second at which each pattern of the order list begins, and the end of
// the last one.
std::vector<int> section_seconds();

} // namespace xmgen
