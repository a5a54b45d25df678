#include "tools/mkmanifest/deflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace mkmanifest {

Deflater::Deflater(Sink sink) : sink_(std::move(sink)), stream_(new z_stream{}) {
    if (deflateInit(stream_.get(), 9) != Z_OK) throw std::bad_alloc();
}

Deflater::~Deflater() { deflateEnd(stream_.get()); }

void Deflater::add(const char* data, std::size_t size) {
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
        stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        stream_->avail_in = chunk;
        run(Z_NO_FLUSH);
        data += chunk;
        size -= chunk;
    }
}

void Deflater::finish() {
    stream_->next_in = nullptr;
    stream_->avail_in = 0;
    run(Z_FINISH);
}

void Deflater::run(int flush) {
    char out[64 * 1024];
    for (;;) {
        stream_->next_out = reinterpret_cast<Bytef*>(out);
        stream_->avail_out = sizeof out;
        const int result = deflate(stream_.get(), flush);
        const std::size_t produced = sizeof out - stream_->avail_out;
        if (produced > 0) sink_(out, produced);
        if (result == Z_STREAM_END) return;
        // Done when zlib took all input and had room to spare.
        if (flush != Z_FINISH && stream_->avail_in == 0 && stream_->avail_out != 0) return;
        if (result != Z_OK && result != Z_BUF_ERROR) throw std::bad_alloc();
    }
}

}  // namespace mkmanifest
