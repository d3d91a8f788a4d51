// One line of an OBJ file read word by word and number by number, as a "C"-locale stream reads it.
#pragma once

namespace demo {

// One line of the file, read from left to right the way `>>` of a
// std::istringstream over it reads (the "C" locale, decimal integers): the
// same words, the same numbers, the same failures.
class obj_line_reader {
  public:
    obj_line_reader(const char *from, const char *to) : p(from), end(to) {}

    // The next white-space-delimited word, as `>> std::string`; false at the
    // end of the line.
    bool word(const char *&from, const char *&to);

    // The rest of the current word, dropped.
    void skip_word();
    bool at_word_end() const;

    // `>> int`: an optional sign and decimal digits; a number outside int
    // fails, as does a sign or nothing without digits.
    bool read_int(int &out);

    // `>> double`. The stream takes the longest run of the form sign,
    // digits, one point, digits, then an 'e' or 'E' (only after a digit) with
    // a sign and digits, and converts it with strtod: the run must convert
    // whole (no digit at all, or an exponent without digits, fails) and
    // must not overflow (an underflow gives what strtod gives).
    bool read_double(double &out);

  private:
    void skip_space();

    const char *p;
    const char *const end;
};

// True when the word [from, to) is literal.
bool is_word(const char *from, const char *to, const char *literal);

} // namespace demo
