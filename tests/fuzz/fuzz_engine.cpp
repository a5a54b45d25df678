// The whole check and update run against a scripted server (see
// engine_script.h for the input), an in-memory program directory and a
// recording view. Invariants, on every input:
// - only NetworkError, FileError and DateParserError escape;
// - nothing is created, written, replaced or removed outside the program
//   directory, except the manifest copy in the temporary directory; in the
//   program directory only download files (".upg") are written;
// - a program file is only ever replaced by the complete body of a 200
//   answer to the request for that very file, and only by one that matches
//   the SIZE and SHA256 of a section for that file when it carries them;
// - every status and list line is a text of the message table, a send
//   failure's error text, or the status line of an answer;
// - one request at a time; the wait cursor is off at the end; a run that
//   ends normally leaves the Finish stage and no manifest copy.
// An input that starts with the line "KEYED" runs a keyed build, with a toy
// verifier the fuzzer can satisfy (see ToyVerifier). There, in addition, no
// program file changes unless the manifest's signature was accepted, and a
// replacement has exactly the SIZE and "hash" of a section for that file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "engine/transfer/http_response.h"
#include "engine/text/byte_limits.h"
#include "engine/text/hex_text.h"
#include "engine/manifest/manifest_signature.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/manifest/update_manifest.h"
#include "engine/run/update_run.h"
#include "engine/run/version_check.h"
#include "engine_script.h"
#include "form_date_parser.h"
#include "tests/unit/fakes.h"
#include "windows_path.h"

using namespace updater;

namespace {

constexpr std::size_t kMaxAnswers = 24;
const std::string kProgramDirectory = "C:\\Prog\\";
const std::string kProgramFileName = "Update.exe";

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool startsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// The name a request asks for: only "%" and "#" are ever encoded.
std::string decodedName(std::string_view object) {
    std::string name;
    for (std::size_t i = 0; i < object.size(); ++i) {
        if (object.substr(i, 3) == "%25") name += '%', i += 2;
        else if (object.substr(i, 3) == "%23") name += '#', i += 2;
        else name += object[i];
    }
    return name;
}

// Whether the path starts with the program directory and stays within it.
bool isProgramPath(const std::string& path) {
    return startsWith(path, kProgramDirectory) &&
           fuzz::staysWithinDirectory(path.substr(kProgramDirectory.size()));
}

// Content-Length as a list: empty elements say nothing, the others must be
// the same text, read as atol reads it (0 when absent or negative). Nothing
// when they differ: such a body is never installed.
std::optional<std::uint64_t> announcedLength(std::string_view list) {
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    std::optional<std::string_view> single;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        std::string_view text = list.substr(start, comma - start);
        text.remove_prefix(std::min(text.find_first_not_of(kBlanks), text.size()));
        text.remove_suffix(text.size() - std::min(text.find_last_not_of(kBlanks) + 1, text.size()));
        if (!text.empty() && single && *single != text) return std::nullopt;
        if (!text.empty()) single = text;
        start = comma + 1;
    }
    if (!single || single->front() == '-') return 0;
    std::string_view text = single->front() == '+' ? single->substr(1) : *single;
    std::uint64_t value = 0;
    for (std::size_t pos = 0; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        if (value > (UINT64_MAX - 9) / 10) return UINT64_MAX;
        value = value * 10 + static_cast<unsigned>(text[pos] - '0');
    }
    return value;
}

// A signature whose first byte is 0 is refused, any other accepted; the
// "SHA-256" of a body is its first 32 bytes, padded with zeros. Weak on
// purpose: the fuzzer can write manifests that pass, which is what lets it
// reach the keyed run at all.
class ToyVerifier : public UpdateVerifier {
public:
    bool accepted = false;

    bool verifySignature(std::string_view, const EcdsaSignature& signature) override {
        accepted = accepted || signature[0] != 0;
        return signature[0] != 0;
    }
    static Sha256Digest digestOf(std::string_view bytes) {
        Sha256Digest digest{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), digest.size()), digest.begin());
        return digest;
    }

};

// The downloads' "SHA-256", in every build, with the toy digest above.
class ToySha256Source : public Sha256Source {
public:
    std::unique_ptr<Sha256Hasher> startSha256() override { return std::make_unique<Hasher>(); }

private:
    class Hasher : public Sha256Hasher {
    public:
        void update(const char* data, std::size_t size) override {
            seen_.append(data, std::min<std::size_t>(size, 32 - std::min<std::size_t>(seen_.size(), 32)));
        }
        Sha256Digest finish() override { return ToyVerifier::digestOf(seen_); }

    private:
        std::string seen_;
    };
};

// Whether the manifest has a section for file whose SIZE and SHA256 (both
// required when keyed, each when present otherwise) describe content.
bool isDescribedContent(std::string_view manifestBytes, const std::string& file, const std::string& content,
                        bool keyed) {
    const UpdateManifest manifest = UpdateManifest::parse(manifestBytes, cp936());
    const Sha256Digest digest = ToyVerifier::digestOf(content);
    for (std::size_t index = 0;; ++index) {
        const std::optional<ManifestEntry> entry = manifest.entry(index);
        if (!entry) return false;
        if (entry->file != file) continue;
        const std::optional<std::string>& size = entry->size;
        const std::optional<std::string>& hash = entry->sha256;
        if (keyed && (!size || !hash)) continue;
        Sha256Digest expected{};
        // SIZE is a decimal number: leading zeros say nothing.
        std::string_view digits = size ? std::string_view(*size) : std::string_view();
        while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
        if (size && digits != std::to_string(content.size())) continue;
        if (hash && !(decodeHex(*hash, expected.data(), expected.size()) && expected == digest)) continue;
        return true;
    }
}

// The in-memory file system, with the answer's file failures applied and
// every change judged as it happens.
class JudgedFiles : public fakes::FakeFileSystem {
public:
    JudgedFiles(const fuzz::ScriptedHttp& http, const std::string& urlPath, const ToyVerifier* verifier)
        : http_(http), urlPath_(urlPath), verifier_(verifier) {}

    std::unique_ptr<OutputFile> create(const std::string& path, ShareMode share) override {
        fuzz::require(isProgramPath(path) && endsWith(path, ".upg"), "a file is created outside the download files",
                      path);
        fuzz::require(!verifier_ || verifier_->accepted,
                      "a keyed build downloads without an accepted signature", path);
        const fuzz::ScriptedAnswer* answer = http_.current();
        if (answer && answer->createFails) {
            created.push_back(path);
            return nullptr;
        }
        if (answer && answer->writeFails) failingWrites.insert(path);
        if (answer && answer->closeFails) failingCloses.insert(path);
        return FakeFileSystem::create(path, share);
    }

    bool remove(const std::string& path) override {
        fuzz::require(isProgramPath(path) && endsWith(path, ".upg"), "a file is removed other than a download file",
                      path);
        return FakeFileSystem::remove(path);
    }

    bool replace(const std::string& from, const std::string& to) override {
        fuzz::require(isProgramPath(from) && endsWith(from, ".upg"), "a replace does not move a download file", from);
        fuzz::require(isProgramPath(to), "a replace targets a file outside the program directory", to);
        judgeReplacement(from, to);
        const fuzz::ScriptedAnswer* answer = http_.current();
        if (answer && answer->replaceFails) busy.insert(to);
        return FakeFileSystem::replace(from, to);
    }

private:
    void judgeReplacement(const std::string& from, const std::string& to) {
        const auto source = files.find(from);
        if (source == files.end()) return;  // a move of nothing changes nothing
        const fuzz::ScriptedAnswer* answer = http_.current();
        fuzz::require(answer != nullptr, "a file is replaced before any request", to);
        fuzz::require(!answer->sendFails && isDocumentStatus(answer->status),
                      "a program file is replaced by the body of an answer that is not 200", to);
        // The body ends where Content-Length says; bytes past it are never read.
        const std::optional<std::uint64_t> length = announcedLength(answer->contentLengthText());
        fuzz::require(length.has_value(), "a program file is replaced by a body whose lengths disagree", to);
        const std::uint64_t announced = *length;
        const std::string body =
            announced > 0 && announced < answer->body.size() ? answer->body.substr(0, announced) : answer->body;
        fuzz::require(source->second.content == body, "a program file is replaced by other bytes than the body", to);
        fuzz::require(answer->body.size() >= announced, "a program file is replaced by a body shorter than announced",
                      to);
        const std::string& object = http_.currentObject();
        fuzz::require(startsWith(object, urlPath_), "a request outside the URL path", object);
        const std::string file = decodedName(object.substr(urlPath_.size()));
        const std::string wanted = kProgramDirectory + file;
        const bool updaterItself = manifestNameKey(file, cp936()) == manifestNameKey(kProgramFileName, cp936());
        fuzz::require(to == wanted || (updaterItself && to == kProgramDirectory + kProgramFileName + ".bck"),
                      "a body is moved onto another file than its own", to);
        if (verifier_)
            fuzz::require(verifier_->accepted, "a keyed build replaces a file without an accepted signature", to);
        fuzz::require(isDescribedContent(http_.answers().front().body, file, body, verifier_ != nullptr),
                      "a file is replaced by a body its section does not describe", to);
    }

    const fuzz::ScriptedHttp& http_;
    const std::string& urlPath_;
    const ToyVerifier* verifier_;
};

struct World {
    UpdateSettings settings;
    fakes::FakeMessages messages;
    fakes::FakeView view;
    fuzz::ScriptedHttp http;
    fakes::FakeSession session{http};
    std::unique_ptr<ToyVerifier> verifier;  // keyed builds only
    ToySha256Source sha256;
    JudgedFiles files;
    fuzz::FormDateParser dates;
    fakes::FakeProcessSystem processes;
    UpdateServices services{.codePage = cp936(),
                            .messages = messages,
                            .http = session,
                            .files = files,
                            .dates = dates,
                            .processes = processes,
                            .systemErrorText = nullptr,
                            .applicationName = "Update",
                            .programDirectory = kProgramDirectory,
                            .sha256 = &sha256};
    UpdateContext context{.services = services, .settings = settings, .view = view, .http = http};

    World(std::vector<fuzz::ScriptedAnswer> answers, bool keyed)
        : http(std::move(answers)),
          verifier(keyed ? std::make_unique<ToyVerifier>() : nullptr),
          files(http, settings.urlPath, verifier.get()) {
        settings.urlPath = "/kelmor/";
        services.verifier = verifier.get();
        services.programFileName = kProgramFileName;
        const double installed = fuzz::oleDate(2024, 1, 1);
        files.put(kProgramDirectory + "kelmor.exe", "old kelmor.exe", installed);
        files.put(kProgramDirectory + "Update.exe", "old Update.exe", installed);
        files.put(kProgramDirectory + "data\\kelmor.dat", "old kelmor.dat", installed);
        files.put(kProgramDirectory + "readme.txt", "old readme.txt", fuzz::oleDate(2025, 1, 1, 12, 30));
        view.list.push_back(productLine(settings.installedVersion));
    }

    std::string productLine(const std::string& version) const { return settings.productName + " " + version; }
};

// What fills the "%s" of the pattern to give text, if anything does.
std::optional<std::string_view> filledArgument(std::string_view text, std::string_view pattern) {
    const std::size_t hole = pattern.find("%s");
    const std::string_view before = pattern.substr(0, hole), after = pattern.substr(hole + 2);
    if (text.size() < before.size() + after.size() || !startsWith(text, before) || !endsWith(text, after))
        return std::nullopt;
    return text.substr(before.size(), text.size() - before.size() - after.size());
}

// Whether text is the pattern filled with a FILE value of the manifest.
bool isFilledWithName(std::string_view text, std::string_view pattern) {
    const std::optional<std::string_view> name = filledArgument(text, pattern);
    return name && name->size() < kFileValueBufferBytes && name->find_first_of("\r\n") == std::string_view::npos;
}

std::string trimmedStatusLine(const fuzz::ScriptedAnswer& answer) {
    const std::string line = answer.status + " " + answer.reason;
    const char* blanks = " \t\n\v\f\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

bool isKnownLine(const World& world, const std::string& line, const std::string& newVersion) {
    const Messages& m = world.messages;
    for (MessageId id : {MessageId::Connecting, MessageId::ConnectFailed, MessageId::ReadingVersion,
                         MessageId::AlreadyNewest, MessageId::UpdateFinished, MessageId::SignatureInvalid,
                         MessageId::ReleaseNotDone})
        if (line == m.load(id)) return true;
    for (MessageId id : {MessageId::FileFailed, MessageId::FileUpdated, MessageId::FileRemoved, MessageId::Downloading,
                         MessageId::NotOnServer})
        if (isFilledWithName(line, m.load(id))) return true;
    if (line == fillPercentS(m.load(MessageId::NewVersionFound), {world.settings.productName, newVersion})) return true;
    if (line == world.productLine(world.settings.installedVersion) || line == world.productLine(newVersion))
        return true;
    for (const fuzz::ScriptedAnswer& answer : world.http.answers()) {
        if (answer.sendFails && line == answer.reason) return true;
        if (!answer.sendFails && line == trimmedStatusLine(answer)) return true;
    }
    return false;
}

void judgeView(const World& world, const std::string& newVersion, bool runCompleted) {
    for (const std::string& status : world.view.statuses)
        fuzz::require(isKnownLine(world, status, newVersion), "an unknown status line", status);
    for (const std::string& line : world.view.list)
        fuzz::require(isKnownLine(world, line, newVersion), "an unknown list line", line);
    const std::string cannotWrite = world.messages.load(MessageId::CannotWriteFile);
    for (const std::string& box : world.view.errorBoxes) {
        const std::optional<std::string_view> path = filledArgument(box, cannotWrite);
        fuzz::require(path && isProgramPath(std::string(*path)), "an error box other than 119 for a program file", box);
    }
    for (const int position : world.view.progress)
        fuzz::require(position >= 0 && position <= 100, "a progress position outside 0..100");
    fuzz::require(!world.view.waitCursor, "the wait cursor stays on");
    fuzz::require(!world.http.overlapped(), "a request was opened while another was open");
    if (runCompleted) {
        fuzz::require(world.view.caption == world.messages.load(MessageId::FinishCaption) && world.view.enabled,
                      "a completed run does not end in the Finish stage");
        fuzz::require(!world.view.list.empty() && world.view.list.back() == world.productLine(newVersion),
                      "a completed run does not end the list with the new product line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kKeyed = "KEYED\n";
    const bool keyed = startsWith(input, kKeyed);
    if (keyed) input.remove_prefix(kKeyed.size());
    World world(fuzz::parseScript(input, kMaxAnswers), keyed);
    std::string newVersion;
    bool runCompleted = false;
    std::string escaped;
    try {
        std::string manifest;
        if (fakes::checkVersion(world.context, newVersion, &manifest) == CheckOutcome::NewerFound) {
            // The judge knows the run file by file; a whole release's commit
            // and recovery are judged by the unit tests of the commit.
            if (UpdateManifest::parse(manifest, cp936()).wholeRelease(world.settings.productName)) return 0;
            runUpdate(world.context, manifest, newVersion);
            runCompleted = true;
        }
    } catch (const NetworkError& error) {
        escaped = error.what();
    } catch (const FileError& error) {
        escaped = error.what();
    } catch (const DateParserError& error) {
        escaped = error.what();
    } catch (const std::exception& error) {
        fuzz::fail("an unexpected exception escapes", error.what());
    } catch (...) {
        fuzz::fail("an unexpected exception escapes");
    }
    // FUZZ_TRACE=1 shows what the view was told, for reading a finding.
    if (std::getenv("FUZZ_TRACE")) {
        for (const std::string& entry : world.view.log) std::fprintf(stderr, "%s\n", entry.c_str());
        if (!escaped.empty()) std::fprintf(stderr, "escaped: %s\n", fuzz::printable(escaped).c_str());
    }
    judgeView(world, newVersion, runCompleted);
    return 0;
}
