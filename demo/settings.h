// What a program is told before the show starts: the switches' flags and the title.
#pragma once

#include <string>

namespace demo {

// Set by the switches "-nogfx" and "-nosound".
extern bool nogfx;
extern bool nosound;

// The demo's title, "Vorbo returns": the banner's first words and the title
// handed to the presenter.
extern std::string demoname;

} // namespace demo
