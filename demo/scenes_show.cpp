// The scenes the program plays: the show as scripted, with no rows of its own.
#include "demo/timeline.h"

namespace demo {

namespace {
const scene_table none = {nullptr, 0};
}

const scene_table &program_scenes = none;

} // namespace demo
