// vorbo-desktop on Wayland: the seat's keyboard through libxkbcommon with its own keymap, and the
// pointer hidden over the show.
#include "ptc/desktop_backend.h"
#include "ptc/desktop_wayland.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// The compositor's keymap replaces the one before; a keymap that does not
// compile leaves the keyboard without one (its keys do nothing).
void take_keymap(int file, std::uint32_t size) {
    ptc_wayland &w = ptc_wl;
    if (w.key_state)
        xkb_state_unref(w.key_state);
    if (w.keymap)
        xkb_keymap_unref(w.keymap);
    w.key_state = nullptr;
    w.keymap = nullptr;
    if (!w.xkb)
        w.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    void *text = size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0) : MAP_FAILED;
    if (w.xkb && text != MAP_FAILED) {
        // The text ends with a terminating zero, which is no part of it.
        const char *keymap = static_cast<const char *>(text);
        w.keymap =
            xkb_keymap_new_from_buffer(w.xkb, keymap, strnlen(keymap, size),
                                       XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (w.keymap)
            w.key_state = xkb_state_new(w.keymap);
    }
    if (text != MAP_FAILED)
        munmap(text, size);
}

const wl_keyboard_listener keyboard_listener = {
    [](void *, wl_keyboard *, std::uint32_t format, std::int32_t file, std::uint32_t size) {
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1)
            take_keymap(file, size);
        close(file);
    },
    [](void *, wl_keyboard *, std::uint32_t, wl_surface *, wl_array *) {},
    [](void *, wl_keyboard *, std::uint32_t, wl_surface *) {},
    [](void *, wl_keyboard *, std::uint32_t, std::uint32_t, std::uint32_t key,
       std::uint32_t state) {
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
            ptc_wayland_key_pressed(key);
    },
    [](void *, wl_keyboard *, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
       std::uint32_t locked, std::uint32_t group) {
        if (ptc_wl.key_state)
            xkb_state_update_mask(ptc_wl.key_state, depressed, latched, locked, 0, 0, group);
    },
    [](void *, wl_keyboard *, std::int32_t, std::int32_t) {}};

// No pointer over the show.
const wl_pointer_listener pointer_listener = {
    [](void *, wl_pointer *pointer, std::uint32_t serial, wl_surface *, wl_fixed_t, wl_fixed_t) {
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    },
    [](void *, wl_pointer *, std::uint32_t, wl_surface *) {},
    [](void *, wl_pointer *, std::uint32_t, wl_fixed_t, wl_fixed_t) {},
    [](void *, wl_pointer *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void *, wl_pointer *, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    [](void *, wl_pointer *) {},
    [](void *, wl_pointer *, std::uint32_t) {},
    [](void *, wl_pointer *, std::uint32_t, std::uint32_t) {},
    [](void *, wl_pointer *, std::uint32_t, std::int32_t) {},
    [](void *, wl_pointer *, std::uint32_t, std::int32_t) {}};

void release_device(wl_keyboard *&keyboard) {
    if (keyboard && wl_keyboard_get_version(keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
        wl_keyboard_release(keyboard);
    else if (keyboard)
        wl_keyboard_destroy(keyboard);
    keyboard = nullptr;
}

void release_device(wl_pointer *&pointer) {
    if (pointer && wl_pointer_get_version(pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
        wl_pointer_release(pointer);
    else if (pointer)
        wl_pointer_destroy(pointer);
    pointer = nullptr;
}

const wl_seat_listener seat_listener = {
    [](void *, wl_seat *seat, std::uint32_t capabilities) {
        ptc_wayland &w = ptc_wl;
        const bool keys = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
        const bool pointing = capabilities & WL_SEAT_CAPABILITY_POINTER;
        if (keys && !w.keyboard) {
            w.keyboard = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(w.keyboard, &keyboard_listener, nullptr);
        } else if (!keys) {
            release_device(w.keyboard);
        }
        if (pointing && !w.pointer) {
            w.pointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(w.pointer, &pointer_listener, nullptr);
        } else if (!pointing) {
            release_device(w.pointer);
        }
    },
    [](void *, wl_seat *, const char *) {}};

} // namespace

void ptc_wayland_bind_seat(std::uint32_t name, std::uint32_t version) {
    ptc_wl.seat = static_cast<wl_seat *>(
        wl_registry_bind(ptc_wl.registry, name, &wl_seat_interface, std::min(version, 5u)));
    wl_seat_add_listener(ptc_wl.seat, &seat_listener, nullptr);
}

void ptc_wayland_key_pressed(std::uint32_t key) {
    ptc_wayland &w = ptc_wl;
    if (!w.keymap || !w.key_state)
        return;
    // The key's symbol at its first level (the unshifted one, so that
    // Shift+Escape counts too) in the layout in force.
    const xkb_keycode_t code = key + 8; // evdev codes are 8 below XKB's
    const xkb_layout_index_t layout = xkb_state_key_get_layout(w.key_state, code);
    if (layout == XKB_LAYOUT_INVALID)
        return;
    const xkb_keysym_t *symbols = nullptr;
    if (xkb_keymap_key_get_syms_by_level(w.keymap, code, layout, 0, &symbols) != 1)
        return;
    switch (ptc_desktop_key(symbols[0])) {
    case ptc_key_action::quit:
        w.quit = true;
        break;
    case ptc_key_action::toggle_window:
        ptc_wayland_toggle_fullscreen();
        break;
    case ptc_key_action::none:
        break;
    }
}

void ptc_wayland_release_input() {
    ptc_wayland &w = ptc_wl;
    release_device(w.pointer);
    release_device(w.keyboard);
    if (w.key_state)
        xkb_state_unref(w.key_state);
    if (w.keymap)
        xkb_keymap_unref(w.keymap);
    if (w.xkb)
        xkb_context_unref(w.xkb);
    if (w.seat) {
        if (wl_seat_get_version(w.seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
            wl_seat_release(w.seat);
        else
            wl_seat_destroy(w.seat);
    }
    w.key_state = nullptr;
    w.keymap = nullptr;
    w.xkb = nullptr;
    w.seat = nullptr;
}
