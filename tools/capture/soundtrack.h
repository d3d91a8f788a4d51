// The soundtrack for a capture: the show's tracker module rendered to stereo samples.
#pragma once

#include <string>

struct openmpt_module;

namespace capture {

class soundtrack {
  public:
    soundtrack() = default;
    soundtrack(const soundtrack &) = delete;
    soundtrack &operator=(const soundtrack &) = delete;
    ~soundtrack();

    // Reads and parses the module. On failure returns false and sets error to
    // a one-line message naming the file.
    bool load(const std::string &path, std::string &error);

    // Renders the next count stereo samples at rate Hz into left and right.
    // The module repeats from its restart position when it ends, so any span
    // has sound; before load (or after a render fault) the samples are silence.
    void render(int rate, float *left, float *right, int count);

  private:
    openmpt_module *module_ = nullptr;
};

} // namespace capture
