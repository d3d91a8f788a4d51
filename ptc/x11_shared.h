// The presenter core the X back-ends share: display, pixel layout and converter, row loop, events.
#pragma once

#include "ptc/failure.h"
#include "ptc/ptc.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

// Presenter state every X back-end has, from ptc_open to ptc_close (one
// presenter per process); each back-end keeps the rest of its state beside
// its own calls.
extern Display *ptc_display;                        // the X connection
extern int ptc_screen;                              // its default screen
extern int ptc_viewport_width, ptc_viewport_height; // the frame's size; set when the open succeeds
extern int ptc_depth;                               // default depth of the screen
extern Window ptc_root_window;                      // root window of the screen
extern Visual *ptc_visual;                          // default visual: its masks pick the converter
extern int ptc_pixmap_format_count;                 // entries in the server's pixmap-format list
extern int ptc_converter_depth; // bits per pixel of the pixmap format of the default depth
extern int ptc_output_pitch;    // bytes per output pixel: 2, 3 or 4
extern int ptc_blitcounter;     // row counter of the current update
extern int ptc_source_index, ptc_destination_index; // byte offsets of the current row
extern Atom ptc_close_atom; // the window manager's close message, also taken as a quit, or None

// The first steps of every open: the display named by the environment, its
// default screen, visual and depth, the bits per pixel of the pixmap format
// of that depth (the last entry of the depth in the server's list wins; the
// converter is chosen by these bits, not by the depth, since depth 24 may be
// stored in 24 or 32 bits and depth 15 in 16), the converter for them and the
// visual's masks, and the bytes per output pixel. 1 when the display is open
// with a converter; 0 with nothing left open and the reason recorded.
int ptc_open_display();

// Closes the connection (the failure exit of the opens, and their close).
void ptc_close_display();

// Catches the X errors of the requests that follow, where Xlib's default
// handler would end the process, until ptc_x_errors_caught: the requests
// before are flushed first. ptc_x_errors_caught waits for the errors of those
// requests, puts the previous handler back and tells whether any came. One
// catch at a time (the handler is the process's).
void ptc_catch_x_errors(Display *display);
bool ptc_x_errors_caught(Display *display);

// ptc_open_display, then the MIT-SHM extension that the back-ends showing the
// frame through shared-memory images need: 1 with both, else 0 with nothing
// left open and the reason recorded.
int ptc_open_shared_memory_display();

// A shared-memory image of width x height in the default visual and depth,
// attached by the server. Its segment is this user's alone (0600) and is
// marked for removal as soon as the server has attached it, so that it goes
// away with the process however that ends. Null, with nothing left behind,
// when the server or the system refuses.
XImage *ptc_create_shared_image(int width, int height, XShmSegmentInfo &segment);

// Detaches and destroys an image made by ptc_create_shared_image.
void ptc_destroy_shared_image(XImage *image, XShmSegmentInfo &segment);

// Converts the frame (ptc_viewport_width x ptc_viewport_height pixels) row by
// row into destination, whose rows are destination_pitch bytes apart.
void ptc_convert_frame(void *frame, char *destination, int destination_pitch);

// The end of every update of the window and full-screen presenters
// (x11_events.cpp): one event at most, and the quit contract when it
// asked to quit (the program's quit hook; if that returns, the close and exit
// status 0). Returns 1.
int ptc_finish_update();

// Lets a lost display end the show through Xlib's I/O error handler ("X
// connection to :0 broken", status 1) rather than by SIGPIPE: a write to a
// server that has gone raises that signal before Xlib sees the error. Only a
// default disposition is changed; a handler the program installed is kept.
void ptc_ignore_broken_pipe();
