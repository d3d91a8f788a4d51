// The media the build lays out in data/ are exactly the files the show opens (demo/media.h).
#include "demo/media.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

std::set<std::string> files_in(const std::string &directory) {
    std::set<std::string> names;
    if (DIR *dir = opendir(directory.c_str())) {
        while (const dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

// The name under data/ of a file the show opens as "data/NAME" or NAME.
std::string under_data(const std::string &opened) {
    const std::string prefix = "data/";
    return opened.compare(0, prefix.size(), prefix) == 0 ? opened.substr(prefix.size()) : opened;
}

TEST(Media, TheBuildLaysOutExactlyTheFilesTheShowOpens) {
    std::set<std::string> opened = {under_data(demo::soundtrack_file)};
    for (const char *picture : demo::picture_files)
        opened.insert(picture);
    for (const char *mesh : demo::mesh_files)
        opened.insert(under_data(mesh));
    // Every file of the list has a name of its own under data/.
    EXPECT_EQ(opened.size(), 1u + demo::picture_count + demo::mesh_count);
    EXPECT_EQ(files_in(std::string(VORBO_BINARY_DIR) + "/data"), opened);
}

} // namespace
