// What a program is told before the show starts: the banner, the switches' flags and the title.
#pragma once

#include <string>

namespace demo {

// Set by the switches "-nogfx" and "-nosound".
extern bool nogfx;
extern bool nosound;

// The demo's title, "Vorbo returns": the banner's first words and the title
// handed to the presenter.
extern std::string demoname;

// Prints the banner on standard output: the title, then who made the show.
void print_banner();

// Reads the arguments from the first to the last: "-nosound" and "-nogfx"
// set their flags (exact, case-sensitive, any order, repeats allowed). At the
// first other argument it prints "Unknown switch" with it on standard error
// and returns false, reading no further.
bool read_switches(int argc, char **argv);

} // namespace demo
