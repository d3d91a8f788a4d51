// The soundtrack's instruments, synthesised sample by sample: drums, bass, arpeggio, lead, pad,
// bell and two noise effects.
#pragma once

#include "tools/xmgen/xm_writer.h"

namespace xmgen {

// Sets a sample's relative note and finetune so that the note C-4 plays its
// data at `rate` frames per second.
void tune(xm::Sample &sample, double rate);

xm::Instrument kick();
xm::Instrument snare();
xm::Instrument closed_hat();
xm::Instrument open_hat();
xm::Instrument crash();
xm::Instrument bass();
// A pulse-wave pluck for the chord arpeggios; the soft one has its upper
// harmonics taken away, as if through a closed low-pass filter.
xm::Instrument arp(bool bright);
xm::Instrument lead();
xm::Instrument pad();
xm::Instrument bell();
// Effects: filtered noise rising into a new section, and a jet flying past.
xm::Instrument riser();
xm::Instrument flyby();

} // namespace xmgen
