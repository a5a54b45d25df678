#include "engine/transfer/inflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace updater {

Inflater::Inflater() : stream_(new z_stream{}) {
    if (inflateInit(stream_.get()) != Z_OK) throw std::bad_alloc();
}

Inflater::~Inflater() { inflateEnd(stream_.get()); }

Inflater::Step Inflater::run(const char* in, std::size_t inSize, char* out, std::size_t outSize) {
    Step step;
    step.ended = ended_;
    step.failed = failed_;
    if (ended_ || failed_) return step;
    // zlib counts in uInt; larger buffers are simply used in part.
    const uInt inChunk = static_cast<uInt>(std::min<std::size_t>(inSize, UINT_MAX));
    const uInt outChunk = static_cast<uInt>(std::min<std::size_t>(outSize, UINT_MAX));
    z_stream& z = *stream_;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z.avail_in = inChunk;
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = outChunk;
    const int result = inflate(&z, Z_NO_FLUSH);
    step.consumed = inChunk - z.avail_in;
    step.produced = outChunk - z.avail_out;
    z.next_in = nullptr;
    z.next_out = nullptr;
    if (result == Z_STREAM_END) {
        ended_ = step.ended = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
        // Z_NEED_DICT too: a stream that wants a preset dictionary is not ours.
        failed_ = step.failed = true;
    }
    return step;
}

}  // namespace updater
