// mkmanifest: publishes a release folder as an update folder with its manifest.
#include <iostream>
#include <string>
#include <vector>

#include "tools/mkmanifest/command_line.h"
#include "tools/mkmanifest/manifest_signer.h"
#include "tools/mkmanifest/publisher.h"
#include "tools/mkmanifest/release_store.h"

int main(int argc, char** argv) {
    using namespace mkmanifest;
    const CommandLine line = parseCommandLine({argv + 1, argv + argc});
    if (line.help) {
        std::cout << usageText();
        return 0;
    }
    if (!line.error.empty()) {
        std::cerr << "mkmanifest: " << line.error << "\n" << "Try 'mkmanifest --help'.\n";
        return 2;
    }
    try {
        if (line.keygen) {
            writeKeyPair(line.privateKeyPath, line.publicKeyPath);
            std::cout << "wrote the private key " << line.privateKeyPath << " and the public key "
                      << line.publicKeyPath << "\n";
            return 0;
        }
        // The key is read first, so a dry run finds a bad one too.
        std::unique_ptr<ManifestSigner> signer;
        if (!line.options.signingKey.empty()) signer = loadSigner(line.options.signingKey);
        std::unique_ptr<ReleaseStore> store = makeReleaseStore(line.options.codePage);
        return publish(line.options, *store, currentLocalTime(), std::cout, std::cerr, signer.get());
    } catch (const std::exception& error) {
        std::cerr << "mkmanifest: " << error.what() << "\n";
        return 1;
    }
}
