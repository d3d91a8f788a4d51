// The scenes vorbo-window-legacy plays: the show, with the jet drawn flat in its first three
// seconds.
#include "demo/timeline.h"

namespace demo {

const scene_table &program_scenes = window_legacy_scenes;

} // namespace demo
