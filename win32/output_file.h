#pragma once
// A file open for writing; write and close failures carry GetLastError().
#include <string>

#include "win32/unique_handle.h"
#include "engine/platform/file_system.h"

namespace updater::win32 {

class Win32OutputFile : public OutputFile {
public:
    Win32OutputFile(FileHandle handle, std::string path) : handle_(std::move(handle)), path_(std::move(path)) {}
    void write(const char* data, std::size_t size) override;
    void close() override;

private:
    FileHandle handle_;
    std::string path_;
};

}  // namespace updater::win32
