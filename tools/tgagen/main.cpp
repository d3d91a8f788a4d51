// tgagen: draws the show's pictures as Targa files into a directory.
#include "pictures.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tgagen OUTPUT-DIRECTORY FONT-DIRECTORY [PICTURE...]\n");
        return 2;
    }
    const std::string out = argv[1];
    tgagen::Fonts fonts(argv[2]);

    struct Picture {
        const char *file;
        tgagen::Canvas (*draw)(tgagen::Fonts &);
    } pictures[] = {
        {"silence.tga", tgagen::picture_silence}, {"vorbo.tga", tgagen::picture_vorbo},
        {"iknow.tga", tgagen::picture_iknow},     {"blah.tga", tgagen::picture_blah},
        {"hand.tga", tgagen::picture_hand},       {"greet.tga", tgagen::picture_greet},
    };
    uint32_t seed = 1;
    for (const Picture &p : pictures) {
        seed++;
        // Optional names after the directories pick a subset (for drafting).
        bool wanted = argc == 3;
        for (int i = 3; i < argc; i++)
            wanted |= std::strcmp(argv[i], p.file) == 0;
        if (!wanted)
            continue;
        std::vector<uint8_t> bytes = p.draw(fonts).targa("Vorbo returns", seed);
        const std::string path = out + "/" + p.file;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            std::fclose(f) != 0) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
