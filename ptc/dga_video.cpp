// The DGA library's video-memory calls, as the full-screen presenter uses them by default.
#include "ptc/dga_video.h"

#include <X11/extensions/xf86dga1.h>

// Initialised before any constructor runs, so a test program's own
// initialiser may overwrite it whatever the link order.
ptc_dga_video_s ptc_dga_video = {XF86DGAGetVideo, XF86DGADirectVideo, XF86DGASetViewPort,
                                 XF86DGAGetViewPortSize, XF86DGAForkApp};
