// Test helpers for the 3D pipeline: a guarded frame buffer, OBJ files on disk, PNG files.
#include "mesh_test_support.h"

#include "demo/demo.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace test3d {

namespace {

// Files written by the tests, removed when the test program ends.
struct written_files {
    std::vector<std::string> paths;
    ~written_files() {
        for (const std::string &path : paths)
            std::remove(path.c_str());
    }
} written;
} // namespace

std::string write_file(const std::string &name, const std::string &text) {
    std::string path = testing::TempDir() + "vorbo3d_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path) << text;
    written.paths.push_back(path);
    return path;
}

std::string asset(const std::string &name) {
    return std::string(VORBO_SOURCE_DIR "/assets/") + name;
}

load_result load(demo::obj3d_c &obj, const std::string &path) {
    bool ok = false;
    vorbo_test::output said = vorbo_test::output_of([&] { ok = obj.load_obj(path); });
    return {ok, said.out, said.err};
}

bool load_quietly(demo::obj3d_c &obj, const std::string &text) {
    const std::string path = write_file("mesh.obj", text);
    const bool ok = load(obj, path).ok;
    std::remove(path.c_str());
    return ok;
}

void expect_vec(const demo::fcoord3d_s &v, double x, double y, double z, double w) {
    EXPECT_NEAR(v.x, x, 1e-12);
    EXPECT_NEAR(v.y, y, 1e-12);
    EXPECT_NEAR(v.z, z, 1e-12);
    EXPECT_NEAR(v.w, w, 1e-12);
}

bool write_png(const std::string &path) {
    std::vector<unsigned char> rgb(640 * 480 * 3);
    for (int i = 0; i < 640 * 480; ++i) {
        unsigned p = demo::frame[i];
        rgb[3 * i] = static_cast<unsigned char>(p >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(p >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(p);
    }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = 640;
    image.height = 480;
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

bool read_png(const std::string &path, std::vector<unsigned> &pixels) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return false;
    pixels.resize(image.width * image.height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
    return image.width == 640 && image.height == 480;
}

} // namespace test3d
