// Tests of the Targa loader, the blitter's placement and clipping, and the show's pictures.
#include "demo/demo.h"
#include "demo/image.h"
#include "demo/timeline.h"
#include "tests/support/guarded_frame.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using demo::pic_s;

namespace {

using bytes = std::vector<unsigned char>;

void put16(bytes &b, int offset, unsigned v) {
    b[offset] = v & 0xff;
    b[offset + 1] = (v >> 8) & 0xff;
}

// A well-formed file as the show's tools write it: 18-byte header, 20-byte
// image ID, then width x height little-endian words.
bytes make_tga(unsigned width, unsigned height, const std::vector<unsigned> &pixels) {
    bytes b(38, 0);
    b[0] = 20;
    b[2] = 2;
    put16(b, 12, width);
    put16(b, 14, height);
    b[16] = 32;
    b[17] = 0x28;
    for (int i = 18; i < 38; i++)
        b[i] = 'A' + i; // the ID: never part of the pixels
    for (unsigned p : pixels)
        for (int k = 0; k < 4; k++)
            b.push_back((p >> (8 * k)) & 0xff);
    return b;
}

std::vector<unsigned> some_pixels(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned> v(n);
    for (auto &p : v)
        p = rng();
    return v;
}

// Each test runs in a fresh directory with an empty data/ beside it.
class Loader : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = fs::current_path();
        char templ[] = "/tmp/vorbo-image-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        fs::create_directory(dir_ / "data");
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    void write(const std::string &name, const bytes &b) {
        std::ofstream out(dir_ / "data" / name, std::ios::binary);
        out.write(reinterpret_cast<const char *>(b.data()), b.size());
    }
    fs::path old_, dir_;
};

TEST_F(Loader, PixelsFromByte38AsLittleEndianWordsTopByteKept) {
    std::vector<unsigned> px = {0x00112233, 0xff445566, 0x12abcdef, 0x80000001, 0x7f000000, 0};
    write("a.tga", make_tga(3, 2, px));
    pic_s pic{};
    demo::loadimage("a.tga", pic);
    ASSERT_EQ(pic.width, 3);
    ASSERT_EQ(pic.height, 2);
    ASSERT_NE(pic.pixels, nullptr);
    EXPECT_EQ(std::vector<unsigned>(pic.pixels, pic.pixels + 6), px);
}

TEST_F(Loader, HeaderFieldsOtherThanTheSizeDoNotMatter) {
    const auto px = some_pixels(5 * 4, 7);
    const bytes plain = make_tga(5, 4, px);
    struct Variant {
        const char *what;
        int offset;
        unsigned char value;
    } variants[] = {
        {"no image ID", 0, 0},           {"long image ID", 0, 255},   {"colour map", 1, 1},
        {"RLE image type", 2, 10},       {"grey image type", 2, 3},   {"colour map spec", 5, 0xff},
        {"x origin", 8, 0x7f},           {"y origin", 11, 0xff},      {"24-bit depth", 16, 24},
        {"bottom-up descriptor", 17, 0}, {"right-to-left", 17, 0x18}, {"no alpha bits", 17, 0x20},
    };
    for (const Variant &v : variants) {
        bytes b = plain;
        b[v.offset] = v.value;
        write("v.tga", b);
        pic_s pic{};
        demo::loadimage("v.tga", pic);
        ASSERT_EQ(pic.width, 5) << v.what;
        ASSERT_EQ(pic.height, 4) << v.what;
        EXPECT_EQ(std::vector<unsigned>(pic.pixels, pic.pixels + px.size()), px) << v.what;
    }
}

TEST_F(Loader, HeaderOnlyFileAndZeroSizes) {
    // 18 bytes: the size comes from the header, no pixel is supplied.
    bytes header = make_tga(4, 3, {});
    header.resize(18);
    write("h.tga", header);
    pic_s pic{};
    demo::loadimage("h.tga", pic);
    ASSERT_EQ(pic.width, 4);
    ASSERT_EQ(pic.height, 3);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(pic.pixels[i], 0u) << i;

    write("w0.tga", make_tga(0, 5, some_pixels(8, 1)));
    pic_s w0{};
    demo::loadimage("w0.tga", w0);
    EXPECT_EQ(w0.width, 0);
    EXPECT_EQ(w0.height, 5);

    write("h0.tga", make_tga(7, 0, {}));
    pic_s h0{};
    demo::loadimage("h0.tga", h0);
    EXPECT_EQ(h0.width, 7);
    EXPECT_EQ(h0.height, 0);
}

TEST_F(Loader, ShortFileLeavesAZeroTail) {
    const auto px = some_pixels(6 * 5, 3);
    bytes b = make_tga(6, 5, px);
    // Cut inside row 2, two bytes into pixel 14: its low two bytes survive.
    b.resize(38 + 14 * 4 + 2);
    write("s.tga", b);
    for (int attempt = 0; attempt < 3; attempt++) { // fresh blocks, reused heap
        pic_s pic{};
        demo::loadimage("s.tga", pic);
        ASSERT_EQ(pic.width, 6);
        ASSERT_EQ(pic.height, 5);
        for (int i = 0; i < 14; i++)
            EXPECT_EQ(pic.pixels[i], px[i]) << i;
        EXPECT_EQ(pic.pixels[14], px[14] & 0xffff);
        for (int i = 15; i < 30; i++)
            EXPECT_EQ(pic.pixels[i], 0u) << i;
        // Dirty the heap so an uncleared block would show it next time.
        std::vector<unsigned> junk(30, 0xdeadbeef);
        (void)junk;
    }
}

TEST_F(Loader, ExtraBytesAfterThePixelsAreIgnored) {
    const auto px = some_pixels(2 * 2, 5);
    bytes b = make_tga(2, 2, px);
    b.insert(b.end(), 100, 0x55);
    write("x.tga", b);
    pic_s pic{};
    demo::loadimage("x.tga", pic);
    EXPECT_EQ(std::vector<unsigned>(pic.pixels, pic.pixels + 4), px);
}

using LoaderDeath = Loader;

TEST_F(LoaderDeath, MissingFileNamesThePathAndExits1) {
    pic_s pic{};
    EXPECT_EXIT(demo::loadimage("silence.tga", pic), ::testing::ExitedWithCode(1),
                "^fopen\\(data/silence\\.tga\\)\ndata/silence\\.tga: No such file or directory\n$");
    fs::create_directory(dir_ / "data" / "sub");
    EXPECT_EXIT(demo::loadimage("sub/none.tga", pic), ::testing::ExitedWithCode(1),
                "^fopen\\(data/sub/none\\.tga\\)\ndata/sub/none\\.tga: No such file or directory\n$");
}

TEST_F(LoaderDeath, FileUnder18BytesIsAReadErrorAndExits1) {
    pic_s pic{};
    for (std::size_t size : {0, 1, 12, 17}) {
        bytes b = make_tga(2, 2, {});
        b.resize(size);
        write("short.tga", b);
        // The end of the file sets no error number of its own.
        EXPECT_EXIT(demo::loadimage("short.tga", pic), ::testing::ExitedWithCode(1),
                    "^read\\(\\): No data available\n$")
            << size << " bytes";
    }
    // A directory opens but cannot be read: the system's own reason.
    fs::create_directory(dir_ / "data" / "dir.tga");
    EXPECT_EXIT(demo::loadimage("dir.tga", pic), ::testing::ExitedWithCode(1),
                "^read\\(\\): Is a directory\n$");
}

TEST_F(LoaderDeath, HeaderTooBigToAllocateIsRefused) {
    write("huge.tga", make_tga(65535, 65535, {}));
    pic_s pic{};
    auto load_in_256_mib = [&] {
        rlimit limit{256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &limit);
        demo::loadimage("huge.tga", pic);
        std::exit(0);
    };
    EXPECT_EXIT(load_in_256_mib(), ::testing::ExitedWithCode(1),
                "^data/huge\\.tga: no memory for 65535x65535 pixels\n$");
}

// A 640 x 480 frame with guard words on both sides, set up the way gfxinit
// does it.
class Blit : public ::testing::Test {
  protected:
    static constexpr int W = demo::frame_width, H = demo::frame_height;
    static constexpr unsigned fill = vorbo_test::guarded_frame::default_background;

    vorbo_test::guarded_frame frame{vorbo_test::frame_rows::contiguous, fill};

    bool guards_intact() const { return frame.guards_intact(); }
    unsigned at(int x, int y) const { return frame.at(x, y); }

    // The frame that drawing pic at (x, y) must leave: every pixel of the
    // picture that lands inside the frame, nothing else touched.
    std::vector<unsigned> expected(const pic_s &pic, long long x, long long y) const {
        std::vector<unsigned> out(W * H, fill);
        for (long long j = 0; j < pic.height; j++)
            for (long long i = 0; i < pic.width; i++)
                if (x + i >= 0 && x + i < W && y + j >= 0 && y + j < H)
                    out[(y + j) * W + (x + i)] = pic.pixels[j * pic.width + i];
        return out;
    }
    std::vector<unsigned> actual() const {
        std::vector<unsigned> out;
        for (int y = 0; y < H; y++)
            out.insert(out.end(), frame.row(y), frame.row(y) + W);
        return out;
    }
};

TEST_F(Blit, FullFramePictureReplacesEveryPixelTopBytesIncluded) {
    auto px = some_pixels(W * H, 11);
    pic_s pic{W, H, px.data()};
    demo::drawimage(pic, 0, 0);
    EXPECT_EQ(actual(), px);
    EXPECT_TRUE(guards_intact());
}

TEST_F(Blit, RowsThatAreNotAdjacentInMemoryAreCopiedOneByOne) {
    // Full-width rows are copied as one block only where the row table says
    // the frame's rows follow one another: here every row but the first 100
    // is moved one row further down the block, leaving a gap row untouched.
    std::vector<unsigned> block(W * (H + 1), fill);
    std::vector<unsigned *> lines(H);
    demo::build_frame_lines(block.data(), 100, W, lines.data());
    demo::build_frame_lines(block.data() + 101 * W, H - 100, W, lines.data() + 100);
    demo::frame_lines = lines.data();
    auto px = some_pixels(W * H, 17);
    pic_s pic{W, H, px.data()};
    demo::drawimage(pic, 0, 0);
    for (int y = 0; y < H; y++)
        ASSERT_TRUE(std::equal(px.begin() + y * W, px.begin() + (y + 1) * W, lines[y])) << y;
    EXPECT_TRUE(std::all_of(block.begin() + 100 * W, block.begin() + 101 * W,
                            [](unsigned v) { return v == fill; }));
    EXPECT_EQ(actual(), std::vector<unsigned>(W * H, fill)); // the usual frame is not touched
}

TEST_F(Blit, PictureInsideTheFrameCoversExactlyItsRectangle) {
    auto px = some_pixels(200 * 100, 12);
    pic_s pic{200, 100, px.data()};
    demo::drawimage(pic, 220, 100);
    EXPECT_EQ(at(220, 100), px[0]);
    EXPECT_EQ(at(419, 199), px[200 * 100 - 1]);
    EXPECT_EQ(at(219, 100), fill);
    EXPECT_EQ(at(420, 199), fill);
    EXPECT_EQ(at(220, 99), fill);
    EXPECT_EQ(at(220, 200), fill);
    EXPECT_EQ(actual(), expected(pic, 220, 100));
    EXPECT_TRUE(guards_intact());
}

TEST_F(Blit, EmptyPicturesDrawNothing) {
    pic_s none{0, 5, nullptr};
    demo::drawimage(none, 10, 10);
    pic_s flat{5, 0, nullptr};
    demo::drawimage(flat, 10, 10);
    EXPECT_EQ(actual(), std::vector<unsigned>(W * H, fill));
}

TEST_F(Blit, PicturesAcrossTheEdgesAreClipped) {
    auto px = some_pixels(700 * 520, 13);
    struct Case {
        int width, height, x, y;
    } cases[] = {
        {100, 50, -30, 10},
        {100, 50, 600, 10},
        {100, 50, 10, -20},
        {100, 50, 10, 450},
        {100, 50, -99, -49},
        {100, 50, 639, 479},
        {100, 50, 640, 0},
        {100, 50, 0, 480},
        {100, 50, -100, 0},
        {100, 50, 0, -50},
        {700, 520, -30, -20},
        {700, 520, 0, 0},
        {1, 1, 639, 0},
        {1, 1, 0, 479},
        {640, 1, 1, 0},
        {1, 480, 0, 1},
        {100, 50, INT_MAX, INT_MAX},
        {100, 50, INT_MIN, INT_MIN},
        {100, 50, INT_MAX - 50, 0},
        {100, 50, INT_MIN + 10, 5},
    };
    for (const Case &c : cases) {
        frame.clear();
        pic_s pic{c.width, c.height, px.data()};
        demo::drawimage(pic, c.x, c.y);
        EXPECT_EQ(actual(), expected(pic, c.x, c.y))
            << c.width << "x" << c.height << " at " << c.x << "," << c.y;
        EXPECT_TRUE(guards_intact());
    }
}

TEST_F(Blit, RandomPlacementsMatchThePixelByPixelModel) {
    std::mt19937 rng(99);
    auto px = some_pixels(900 * 700, 14);
    for (int n = 0; n < 60; n++) {
        frame.clear();
        pic_s pic{int(rng() % 900), int(rng() % 700), px.data()};
        int x = int(rng() % 1800) - 900, y = int(rng() % 1400) - 700;
        demo::drawimage(pic, x, y);
        ASSERT_EQ(actual(), expected(pic, x, y))
            << pic.width << "x" << pic.height << " at " << x << "," << y;
        ASSERT_TRUE(guards_intact());
    }
}

// The pictures the build draws into build/data, where the programs find them.
class ShowPictures : public Blit {};

TEST_F(ShowPictures, LoadAndFitTheirPlaces) {
    // Every place the script shows a picture: full screen at (0, 0), or
    // centred with its top row given and reaching no lower than row 479.
    struct Place {
        const char *name;
        int y; // top row; -1: full screen at (0, 0)
    };
    std::vector<Place> places;
    std::set<int> shown;
    for (const demo::scene_s &scene : demo::show_scenes)
        if (scene.picture != demo::no_picture) {
            places.push_back({demo::picture_files[scene.picture], scene.centred ? scene.top : -1});
            shown.insert(scene.picture);
        }
    EXPECT_EQ(shown.size(), std::size_t(demo::picture_count)); // every picture loaded is shown
    const fs::path data = fs::path(VORBO_BINARY_DIR) / "data";
    const fs::path old = fs::current_path();
    fs::current_path(VORBO_BINARY_DIR);
    for (const Place &p : places) {
        SCOPED_TRACE(p.name);
        // The files are proper Targa files: 20-byte ID, uncompressed
        // true colour, 32 bits with 8 alpha bits, top row first.
        std::ifstream in(data / p.name, std::ios::binary);
        ASSERT_TRUE(in.good());
        bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(file.size(), 38u);
        EXPECT_EQ(file[0], 20);
        EXPECT_EQ(file[1], 0);
        EXPECT_EQ(file[2], 2);
        EXPECT_EQ(file[16], 32);
        EXPECT_EQ(file[17], 0x28);

        pic_s pic{};
        demo::loadimage(p.name, pic);
        EXPECT_EQ(file.size(), 38u + 4u * pic.width * pic.height);
        EXPECT_LE(pic.width, 640);
        EXPECT_GT(pic.width, 0);
        EXPECT_GT(pic.height, 0);
        int x = 0, y = 0;
        if (p.y < 0) {
            EXPECT_EQ(pic.width, 640);
            EXPECT_EQ(pic.height, 480);
        } else {
            EXPECT_LE(pic.height, 480 - p.y);
            x = 320 - pic.width / 2;
            y = p.y;
            // Composed for their places: a centred card's middle row lies a
            // little below the frame's, whatever row the card starts on.
            EXPECT_GE(y + pic.height / 2, 240);
            EXPECT_LE(y + pic.height / 2, 290);
        }
        // Opaque and not blank.
        unsigned lo = 0xffffff, hi = 0;
        for (int i = 0; i < pic.width * pic.height; i++) {
            EXPECT_EQ(pic.pixels[i] >> 24, 0xffu) << i;
            if (pic.pixels[i] >> 24 != 0xff)
                break;
            unsigned luma =
                (pic.pixels[i] >> 16 & 0xff) + (pic.pixels[i] >> 8 & 0xff) + (pic.pixels[i] & 0xff);
            lo = std::min(lo, luma);
            hi = std::max(hi, luma);
        }
        EXPECT_GT(hi - lo, 300u);

        // Drawn at its place it lies wholly inside the frame.
        frame.clear();
        demo::drawimage(pic, x, y);
        EXPECT_EQ(actual(), expected(pic, x, y));
        EXPECT_EQ(at(x, y), pic.pixels[0]);
        EXPECT_EQ(at(x + pic.width - 1, y + pic.height - 1),
                  pic.pixels[pic.width * pic.height - 1]);
        EXPECT_TRUE(guards_intact());
    }
    fs::current_path(old);
}

} // namespace
