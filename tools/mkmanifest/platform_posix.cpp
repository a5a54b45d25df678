// The platform part on POSIX systems: paths are the bytes on disk, names
// found there UTF-8 converted to the clients' code page by iconv, and
// std::filesystem sees links; SHA-256 by OpenSSL's libcrypto.
#include <fcntl.h>
#include <iconv.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "tools/mkmanifest/platform.h"
#include "tools/mkmanifest/release_store.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {
namespace {

namespace fs = std::filesystem;

class OpenSslSha256 : public updater::Sha256Hasher {
public:
    OpenSslSha256() {
        if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
            throw PublishError("cannot start SHA-256 in libcrypto");
    }
    void update(const char* data, std::size_t size) override {
        if (EVP_DigestUpdate(context_.get(), data, size) != 1) throw PublishError("SHA-256 failed in libcrypto");
    }
    updater::Sha256Digest finish() override {
        updater::Sha256Digest digest{};
        if (EVP_DigestFinal_ex(context_.get(), digest.data(), nullptr) != 1)
            throw PublishError("SHA-256 failed in libcrypto");
        return digest;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

class OpenSslSha256Source : public updater::Sha256Source {
public:
    std::unique_ptr<updater::Sha256Hasher> startSha256() override { return std::make_unique<OpenSslSha256>(); }
};

// The text converted by iconv; nothing when a character is invalid in from
// or missing in to.
std::optional<std::string> converted(const std::string& text, const char* to, const char* from) {
    const std::unique_ptr<void, int (*)(iconv_t)> converter(::iconv_open(to, from), &::iconv_close);
    if (converter.get() == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string input = text;
    std::string output(text.size() * 4 + 4, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    if (::iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace

std::optional<std::string> nameInCodePage(const fs::path& leaf, unsigned codePage) {
    const std::string& bytes = leaf.native();
    if (!converted(bytes, "UTF-8", "UTF-8")) return bytes;
    return converted(bytes, ("CP" + std::to_string(codePage)).c_str(), "UTF-8");
}

fs::path pathFromBytes(const std::string& bytes) { return bytes; }

fs::path pathOfName(const std::string& name, unsigned) { return name; }

std::string bytesOf(const fs::path& path) { return path.native(); }

bool isLink(const fs::path& path, std::error_code& error) { return fs::is_symlink(fs::symlink_status(path, error)); }

Destination destinationOf(const fs::path& path, std::error_code& error) {
    Destination destination{fs::canonical(path, error)};
    if (!error) destination.type = fs::status(destination.path, error).type();
    if (!error && destination.type == fs::file_type::regular) destination.size = fs::file_size(destination.path, error);
    return destination;
}

void flushToDisk(const fs::path& file, std::error_code& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) error.assign(errno, std::generic_category());
    if (fd >= 0) ::close(fd);
}

std::unique_ptr<updater::Sha256Source> platformSha256() { return std::make_unique<OpenSslSha256Source>(); }

LocalTime currentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {.year = local.tm_year + 1900,
            .month = local.tm_mon + 1,
            .day = local.tm_mday,
            .hour = local.tm_hour,
            .minute = local.tm_min,
            .second = local.tm_sec};
}

}  // namespace mkmanifest
