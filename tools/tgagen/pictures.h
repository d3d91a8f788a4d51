// The show's pictures: each function draws one of them.
#pragma once

#include "canvas.h"
#include "type.h"

namespace tgagen {

Canvas picture_silence(Fonts &fonts); // opening card, centred at row 100
Canvas picture_vorbo(Fonts &fonts);   // the title, centred at row 100
Canvas picture_iknow(Fonts &fonts);   // full screen; the pink cube turns over its centre
Canvas picture_blah(Fonts &fonts);    // centred at row 100; the jet circles the screen centre
Canvas picture_hand(Fonts &fonts);    // a waving hand, centred at row 150
Canvas picture_greet(Fonts &fonts);   // full-screen greetings

} // namespace tgagen
