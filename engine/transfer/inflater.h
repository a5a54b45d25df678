#pragma once
// Owns one zlib inflate stream (zlib format, RFC 1950).
#include <cstddef>
#include <memory>

struct z_stream_s;

namespace updater {

class Inflater {
public:
    Inflater();  // throws std::bad_alloc when zlib cannot start
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    struct Step {
        std::size_t consumed = 0;  // input bytes used
        std::size_t produced = 0;  // output bytes written
        bool ended = false;        // the zlib stream reached its end
        bool failed = false;       // corrupt data; the stream is unusable
    };
    // Inflates as much of in as fits into out.
    Step run(const char* in, std::size_t inSize, char* out, std::size_t outSize);

private:
    std::unique_ptr<z_stream_s> stream_;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace updater
