#pragma once
// Owns one zlib deflate stream (zlib format, RFC 1950), level 9; the
// compressed bytes go to a sink as they come.
#include <cstddef>
#include <functional>
#include <memory>

struct z_stream_s;

namespace mkmanifest {

class Deflater {
public:
    using Sink = std::function<void(const char*, std::size_t)>;
    explicit Deflater(Sink sink);  // throws std::bad_alloc when zlib cannot start
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void add(const char* data, std::size_t size);
    // Ends the stream; nothing may be added after it.
    void finish();

private:
    void run(int flush);

    Sink sink_;
    std::unique_ptr<z_stream_s> stream_;
};

}  // namespace mkmanifest
