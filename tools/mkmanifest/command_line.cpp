#include "tools/mkmanifest/command_line.h"

#include "engine/text/code_page.h"
#include "tools/mkmanifest/patch_maker.h"

namespace mkmanifest {
namespace {

bool setCodePage(CommandLine& line, const std::string& text) {
    const bool known = text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 5 &&
                       !text.empty() && updater::knownCodePage(static_cast<unsigned>(std::stoul(text)));
    if (known) line.options.codePage = static_cast<unsigned>(std::stoul(text));
    else line.error = "--code-page wants 936, 950, 932 or 1252, not \"" + text + "\"";
    return known;
}

bool setTime(CommandLine& line, const std::string& text) {
    line.options.time = parseTimestamp(text);
    if (!line.options.time) line.error = "--time wants \"YYYY-MM-DD HH:MM:SS\", not \"" + text + "\"";
    return line.options.time.has_value();
}

CommandLine parseKeygen(const std::vector<std::string>& args) {
    CommandLine line;
    line.keygen = true;
    if (args.size() != 3 || args[1].empty() || args[2].empty() || args[1] == args[2]) {
        line.error = "keygen wants PRIVATE_KEY PUBLIC_KEY, two different files";
        return line;
    }
    line.privateKeyPath = args[1];
    line.publicKeyPath = args[2];
    return line;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "keygen") return parseKeygen(args);
    CommandLine line;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
            return line;
        } else if (arg == "--dry-run" || arg == "-n") {
            line.options.dryRun = true;
        } else if (arg == "--force") {
            line.options.force = true;
        } else if (arg == "--per-file") {
            line.options.perFile = true;
        } else if (arg == "--strict") {
            line.options.strict = true;
        } else if (arg == "--seed-history") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                line.error = "--seed-history needs a release folder";
                return line;
            }
            line.options.seedHistoryDir = args[++i];
        } else if (arg == "--time") {
            if (i + 1 == args.size()) {
                line.error = "--time needs a value";
                return line;
            }
            if (!setTime(line, args[++i])) return line;
        } else if (arg.compare(0, 7, "--time=") == 0) {
            if (!setTime(line, arg.substr(7))) return line;
        } else if (arg == "--code-page") {
            if (i + 1 == args.size()) {
                line.error = "--code-page needs a number";
                return line;
            }
            if (!setCodePage(line, args[++i])) return line;
        } else if (arg.compare(0, 12, "--code-page=") == 0) {
            if (!setCodePage(line, arg.substr(12))) return line;
        } else if (arg == "--sign") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                line.error = "--sign needs the private key file";
                return line;
            }
            line.options.signingKey = args[++i];
        } else if (arg.compare(0, 7, "--sign=") == 0 && arg.size() > 7) {
            line.options.signingKey = arg.substr(7);
        } else {
            line.error = "unknown option " + arg;
            return line;
        }
    }
    if (positional.size() != 4) {
        line.error = "expected RELEASE_DIR PRODUCT VERSION OUT_DIR, got " + std::to_string(positional.size()) +
                     " argument" + (positional.size() == 1 ? "" : "s");
        return line;
    }
    line.options.releaseDir = positional[0];
    line.options.product = positional[1];
    line.options.version = positional[2];
    line.options.outDir = positional[3];
    return line;
}

std::string usageText() {
    std::string text = R"(Usage: mkmanifest [options] RELEASE_DIR PRODUCT VERSION OUT_DIR
       mkmanifest keygen PRIVATE_KEY PUBLIC_KEY

Publishes a release for the updater: copies every file below RELEASE_DIR into
the update folder OUT_DIR and then writes OUT_DIR/update.ini, the manifest the
updater reads. Put OUT_DIR on the web server at the URL the clients use.

  RELEASE_DIR  the product's files as installed beside its executable
  PRODUCT      the product name, as clients have it in updataAdd.ini (strSoft)
  VERSION      the new version, a decimal number greater than the one
               published before (1.3 follows 1.26; 1.10 is LESS than 1.9)

Options:
  -n, --dry-run  show what would change (new, changed, unchanged and removed
                 files, and the version) and write nothing
  --force        publish even when VERSION is not greater than the published
                 one, or --time is not later than the previous publication
  --per-file     publish file by file: leave WHOLE=1 out of update.ini, so
                 clients install each file that arrives whole even when
                 another fails (by default they install all or none)
  --seed-history DIR
                 add the files of DIR, a release that was installed but never
                 published with mkmanifest (what an installer laid down), to
                 each file's history, so clients recognise them as the
                 vendor's and update them whatever their timestamps
  --time "YYYY-MM-DD HH:MM:SS"
                 the publication time (local time) instead of the clock
  --code-page N  the ANSI code page of the clients: 936 (the default,
                 Simplified Chinese), 950, 932 or 1252; see File names below
  --sign KEY     sign update.ini with the private key file KEY; updaters built
                 with the matching public key accept only signed manifests and
                 files that match their SIZE and SHA256
  --strict       refuse, with exit code 1, a release that would only be
                 warned about: one without an updataAdd.ini whose strVersion
                 is VERSION, or a publication time in the future
  -h, --help     show this text

Each file gets a timestamp: the publication time when it is new or its
content changed since the previous update.ini in OUT_DIR (compared by size and
SHA-256), else the timestamp it had. Clients download a file when it is
missing or older than its timestamp, in their own local time.

File names go into the manifest, and into OUT_DIR, as bytes of the clients'
code page (--code-page), with "/" between folders, sorted by those bytes. The
updater reads them in its system's code page, so a name that is not ASCII
reaches only clients of that code page; each such name gets a warning. Keep
names ASCII for a product sold across code pages. On Linux names on disk are
taken as UTF-8 and converted; a name that is not UTF-8 is taken as bytes of
the code page already. mkmanifest.exe takes them from Windows' Unicode names.
Names the updater cannot use are refused: names with
"..", ":", "\", a leading separator, control characters, leading or trailing
blanks, Windows device names, names over 259 bytes, names the code page
cannot write, and names that differ only in letter case (as the clients'
code page folds them). Links out of RELEASE_DIR and linked folders are
refused too.

update.ini also remembers, from the previous one in OUT_DIR, the last 8
sizes and SHA-256 values published for each file (PREV0_SIZE, PREV0_SHA256
... PREV7_*), and lists in DROP0, DROP1, ... the files that one of the last 8
publications had and this one has not; a whole release removes such a file
from a client only when it holds one of those contents. An empty OUT_DIR
starts the history anew.
Files dropped from the release leave OUT_DIR only when you delete them.
A manifest over 16 MiB, which the updater would refuse, is not published.

Objects: each file's content is also written as OUT_DIR/_objects/<SHA-256>
(OBJECT), a name caches may keep for ever; upload _objects/ first and
update.ini last. A release with a top-level _objects of its own is refused.
Smaller downloads, as objects too: a zlib copy when that is at least 10 %
smaller (ZFILE, ZSIZE, ZSHA256), and a patch from each of its last 3
published contents (PATCH0_* ... PATCH2_*), up to 128 MiB per file. The
contents patches start from are kept in OUT_DIR/.history, which need not be
served; keep OUT_DIR between publications (--force too keeps and adds to
it), and the first publication into a folder without it has no patches yet.
Objects neither this nor the previous manifest names, and kept contents no
patch can need any more, are deleted. When the manifest would pass 16 MiB,
the oldest patches are left out first, then the copies, then the objects.
@PATCHES@
keygen writes a new ECDSA P-256 key pair: PRIVATE_KEY (PEM, readable by you
only; keep it off the update server) and PUBLIC_KEY (65 bytes, for the build:
cmake -DUPDATER_PUBLIC_KEY=PUBLIC_KEY). It never replaces an existing file.
Exit status: 0 published, 1 refused or failed, 2 bad arguments.
)";
    const std::string patches = canMakePatches() ? "" :
        "This build (mkmanifest.exe) makes no patches: it keeps .history and the\n"
        "history keys, re-lists the intact patches of the previous publication for\n"
        "unchanged files, and writes copies. Publish with the Linux mkmanifest for patches.\n";
    text.replace(text.find("@PATCHES@\n"), 10, patches);
    return text;
}

}  // namespace mkmanifest
