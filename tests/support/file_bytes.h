#pragma once
// The tests' own files: whole files as byte strings, bodies that are not
// text, and scratch directories.
#include <cstddef>
#include <optional>
#include <string>

namespace testsupport {

// The file's bytes; nothing when it cannot be read.
std::optional<std::string> fileBytes(const std::string& path);
// The file's bytes; empty when it cannot be read.
inline std::string readFileBytes(const std::string& path) { return fileBytes(path).value_or(""); }
// Creates the parent directories; throws std::runtime_error when it cannot write.
void writeFileBytes(const std::string& path, const std::string& bytes);

// Bodies that differ from one seed to the next, so that a mix-up or a cut shows:
std::string patternBytes(std::size_t size, unsigned seed);  // a cheap repeatable pattern
std::string randomBytes(std::size_t size, unsigned seed);   // mt19937 seeded with seed

// A fresh directory /tmp/<name>.XXXXXX, removed with all in it by the destructor.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string pathOf(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace testsupport
