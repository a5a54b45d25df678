#pragma once
// A file read at any offset, over its Win32 handle.
#include <memory>

#include "engine/transfer/patch_apply.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

class RandomAccessFile : public RandomAccessInput {
public:
    // nullptr when the handle's size cannot be had.
    static std::unique_ptr<RandomAccessFile> open(FileHandle handle);

    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override;

private:
    RandomAccessFile(FileHandle handle, std::uint64_t size) : handle_(std::move(handle)), size_(size) {}
    FileHandle handle_;
    std::uint64_t size_;
};

}  // namespace updater::win32
