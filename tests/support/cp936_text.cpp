#include "tests/support/cp936_text.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

namespace {

std::string convert(std::string_view text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no iconv for ") + from + " -> " + to);
    std::string input(text);
    std::string output(input.size() * 4 + 4, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) throw std::runtime_error(std::string("cannot convert text to ") + to);
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace

std::string toCp936(std::string_view utf8) { return convert(utf8, "UTF-8", "CP936"); }
std::string fromCp936(std::string_view cp936) { return convert(cp936, "CP936", "UTF-8"); }

}  // namespace testsupport
