// vorbo-desktop on Wayland: the shared-memory buffers (memfd), reused once the compositor releases
// them.
#include "ptc/desktop_wayland.h"
#include "ptc/failure.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

const wl_buffer_listener buffer_listener = {
    [](void *data, wl_buffer *) { static_cast<ptc_wayland_buffer *>(data)->busy = false; }};

// A buffer of width x height XRGB8888 pixels in a memory file of its own,
// all black; false with nothing held and the reason recorded.
bool make_buffer(ptc_wayland_buffer &buffer, int width, int height) {
    // A pool's size is a 32-bit count of bytes.
    if (width < 1 || height < 1 || std::int64_t(width) * height * 4 > INT32_MAX) {
        ptc_fail_because("no buffer can be %dx%d pixels", width, height);
        return false;
    }
    const int stride = width * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * height;
    const int file = memfd_create("vorbo-desktop", MFD_CLOEXEC);
    if (file < 0) {
        ptc_fail_because("no memory file for a %dx%d buffer: %s", width, height,
                         std::strerror(errno));
        return false;
    }
    void *pixels = MAP_FAILED;
    if (ftruncate(file, static_cast<off_t>(bytes)) == 0)
        pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    if (pixels == MAP_FAILED) {
        ptc_fail_because("no memory for a %dx%d buffer: %s", width, height, std::strerror(errno));
        close(file);
        return false;
    }
    wl_shm_pool *pool = wl_shm_create_pool(ptc_wl.shm, file, static_cast<std::int32_t>(bytes));
    buffer.buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(file);
    wl_buffer_add_listener(buffer.buffer, &buffer_listener, &buffer);
    buffer.held = new std::uint32_t[static_cast<std::size_t>(ptc_wl.frame_width) *
                                    static_cast<std::size_t>(ptc_wl.frame_height)];
    buffer.held_valid = false;
    buffer.pixels = pixels;
    buffer.bytes = bytes;
    buffer.width = width;
    buffer.height = height;
    buffer.stride = stride;
    buffer.busy = false;
    return true;
}

} // namespace

void ptc_wayland_destroy_buffer(ptc_wayland_buffer &buffer) {
    if (buffer.buffer)
        wl_buffer_destroy(buffer.buffer);
    if (buffer.pixels)
        munmap(buffer.pixels, buffer.bytes);
    delete[] buffer.held;
    buffer = ptc_wayland_buffer{};
}

ptc_wayland_buffer *ptc_wayland_free_buffer() {
    ptc_wayland_drop_stale_buffers();
    const int width = ptc_wl.size.buffer_width, height = ptc_wl.size.buffer_height;
    ptc_wayland_buffer *empty = nullptr;
    for (auto &buffer : ptc_wl.buffers) {
        if (buffer.buffer && !buffer.busy && buffer.width == width && buffer.height == height)
            return &buffer;
        if (!buffer.buffer && !empty)
            empty = &buffer;
    }
    if (!empty)
        return nullptr;
    return make_buffer(*empty, width, height) ? empty : nullptr;
}

void ptc_wayland_drop_stale_buffers() {
    for (auto &buffer : ptc_wl.buffers)
        if (buffer.buffer && !buffer.busy &&
            (buffer.width != ptc_wl.size.buffer_width ||
             buffer.height != ptc_wl.size.buffer_height))
            ptc_wayland_destroy_buffer(buffer);
}
