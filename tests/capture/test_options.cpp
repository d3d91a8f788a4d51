// vorbo-capture's command line, the packed clock of each captured frame, and the soundtrack's
// refusals.
#include "tools/capture/capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool parse(std::vector<std::string> args, capture::options &opt, std::string &error) {
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    return capture::parse_options(static_cast<int>(argv.size()), argv.data(), opt, error);
}

TEST(CaptureOptions, DefaultsAndAcceptedValues) {
    capture::options opt;
    std::string error;
    ASSERT_TRUE(parse({}, opt, error));
    EXPECT_EQ(opt.fps, 60);
    EXPECT_EQ(opt.video, capture::codec::h264);
    EXPECT_EQ(opt.clock, capture::frame_clock::continuous);
    EXPECT_TRUE(opt.output.empty());
    EXPECT_FALSE(opt.help);
    EXPECT_STREQ(capture::default_output(capture::codec::h264), "vorbo-returns.mp4");
    EXPECT_STREQ(capture::default_output(capture::codec::ffv1), "vorbo-returns.mkv");

    // Later values win; the range ends are included; a name may begin with a dash.
    ASSERT_TRUE(parse({"-fps", "1", "-o", "a.mp4", "-codec", "ffv1", "-fps", "1000", "-o", "-b.mkv",
                       "-clock", "stepped"},
                      opt, error))
        << error;
    EXPECT_EQ(opt.fps, 1000);
    EXPECT_EQ(opt.clock, capture::frame_clock::stepped);
    EXPECT_EQ(opt.video, capture::codec::ffv1);
    EXPECT_EQ(opt.output, "-b.mkv");

    capture::options help;
    ASSERT_TRUE(parse({"-h"}, help, error));
    EXPECT_TRUE(help.help);
    EXPECT_NE(capture::usage().find("-fps N"), std::string::npos);
}

TEST(CaptureOptions, RefusalsAreOneLineNamingTheArgument) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-x"}, "'-x'"},
        {{"-fps"}, "-fps needs a value"},
        {{"-o"}, "-o needs a value"},
        {{"-o", ""}, "-o needs a file name"},
        {{"-fps", "0"}, "'0'"},
        {{"-fps", "1001"}, "'1001'"},
        {{"-fps", "-5"}, "'-5'"},
        {{"-fps", "+5"}, "'+5'"},
        {{"-fps", " 5"}, "' 5'"},
        {{"-fps", "5 "}, "'5 '"},
        {{"-fps", "0x10"}, "'0x10'"},
        {{"-fps", "2.5"}, "'2.5'"},
        {{"-fps", ""}, "''"},
        {{"-fps", "99999999999999999999"}, "'99999999999999999999'"},
        {{"-codec", "H264"}, "'H264'"},
        {{"-clock", "even"}, "'even'"},
        {{"-clock"}, "-clock needs a value"},
        {{"-fps", "5", "-nogfx"}, "'-nogfx'"},
        {{"fps"}, "'fps'"},
        {{""}, "''"},
    };
    for (const auto &[args, expected] : cases) {
        capture::options opt;
        std::string error;
        EXPECT_FALSE(parse(args, opt, error)) << args[0];
        EXPECT_EQ(error.rfind("vorbo-capture: ", 0), 0u) << error;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(CaptureClock, FramesFollowTheLiveClockLayout) {
    // Worked values: a third of a second is 333,333 us; the first frame of a
    // second has an empty low field.
    EXPECT_EQ(capture::packed_time(0, 60), 0u);
    EXPECT_EQ(capture::packed_time(1, 3), 333333u);
    EXPECT_EQ(capture::packed_time(2, 3), 666666u);
    EXPECT_EQ(capture::packed_time(59, 60), 983333u);
    EXPECT_EQ(capture::packed_time(60, 60), 1u << 20);
    EXPECT_EQ(capture::packed_time(30, 4), (7u << 20) | 500000u);
    EXPECT_EQ(capture::packed_time(59 * 1000 - 1, 1000), (58u << 20) | 999000u);

    for (int fps : {1, 2, 3, 7, 24, 60, 999, 1000}) {
        const long long frames = static_cast<long long>(capture::show_seconds) * fps;
        unsigned previous = 0;
        for (long long k = 0; k < frames; ++k) {
            const unsigned t = capture::packed_time(k, fps);
            ASSERT_EQ(t >> 20, static_cast<unsigned>(k / fps)) << fps << " " << k;
            ASSERT_LT(t & 0xfffff, 1000000u) << fps << " " << k;
            if (k > 0) {
                ASSERT_GT(t, previous) << fps << " " << k;
                // Across a second boundary the value also jumps over the
                // 48,576 low-field values that are never used.
                if (k % fps == 0) {
                    ASSERT_GE(t - previous, 48576u + 1000000u / fps) << fps << " " << k;
                }
            }
            previous = t;
        }
        // The last frame belongs to second 58, so the timeline still draws it.
        EXPECT_EQ(previous >> 20, 58u) << fps;
    }
}

TEST(CaptureClock, TheEvenClockHasTheSameSecondsAndNoStep) {
    EXPECT_EQ(capture::continuous_time(30, 4), (7u << 20) | (1u << 19));
    for (int fps : {3, 50, 60, 1000}) {
        unsigned previous = 0;
        for (long long k = 1; k < static_cast<long long>(capture::show_seconds) * fps; ++k) {
            const unsigned t = capture::frame_time(k, fps, capture::frame_clock::continuous);
            ASSERT_EQ(t >> 20, capture::packed_time(k, fps) >> 20) << fps << " " << k;
            ASSERT_LE(t - previous, (1u << 20) / fps + 1) << fps << " " << k;
            previous = t;
        }
    }
    EXPECT_EQ(capture::frame_time(31, 4, capture::frame_clock::stepped),
              capture::packed_time(31, 4));
}

} // namespace
