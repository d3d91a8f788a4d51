// The switches' flags and the title, as the program entry leaves them.
#include "demo/settings.h"

namespace demo {

bool nogfx = false;
bool nosound = false;
std::string demoname = "Vorbo returns";

} // namespace demo
