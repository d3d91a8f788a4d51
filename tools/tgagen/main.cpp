// tgagen: draws the show's pictures as Targa files into a directory, and the programs' icon.
#include "icon.h"
#include "pictures.h"

#include "demo/media.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--icon") == 0) {
        tgagen::Fonts fonts(argv[3]);
        const int size = std::atoi(argv[4]);
        if (size < 16 || size > 1024 ||
            !tgagen::write_png(tgagen::picture_icon(fonts, size), argv[2])) {
            std::perror(argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 5 && std::strcmp(argv[1], "--icon-cardinals") == 0) {
        tgagen::Fonts fonts(argv[3]);
        std::vector<tgagen::Icon> icons;
        for (int i = 4; i < argc; i++) {
            const int size = std::atoi(argv[i]);
            if (size < 16 || size > 256) {
                std::fprintf(stderr, "tgagen: window icon size %s is not 16 to 256\n", argv[i]);
                return 1;
            }
            icons.push_back(tgagen::picture_icon(fonts, size));
        }
        if (!tgagen::write_cardinals(icons, argv[2])) {
            std::perror(argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: tgagen OUTPUT-DIRECTORY FONT-DIRECTORY [PICTURE...]\n"
                             "       tgagen --icon FILE.png FONT-DIRECTORY SIZE\n"
                             "       tgagen --icon-cardinals FILE.h FONT-DIRECTORY SIZE...\n");
        return 2;
    }
    const std::string out = argv[1];
    tgagen::Fonts fonts(argv[2]);

    // How each of the show's pictures is drawn, in the order of the show's
    // list of picture files, and the seed of its dithering.
    struct Picture {
        tgagen::Canvas (*draw)(tgagen::Fonts &);
        uint32_t seed;
    };
    const Picture pictures[demo::picture_count] = {
        {tgagen::picture_silence, 2}, {tgagen::picture_vorbo, 3}, {tgagen::picture_iknow, 4},
        {tgagen::picture_greet, 7},   {tgagen::picture_hand, 6},  {tgagen::picture_blah, 5},
    };
    for (int k = 0; k < demo::picture_count; k++) {
        const char *file = demo::picture_files[k];
        // Optional names after the directories pick a subset (for drafting).
        bool wanted = argc == 3;
        for (int i = 3; i < argc; i++)
            wanted |= std::strcmp(argv[i], file) == 0;
        if (!wanted)
            continue;
        std::vector<uint8_t> bytes =
            pictures[k].draw(fonts).targa("Vorbo returns", pictures[k].seed);
        const std::string path = out + "/" + file;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            std::fclose(f) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
