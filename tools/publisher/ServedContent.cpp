#include "ServedContent.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "FileSet.h"

namespace publisher {

namespace fs = std::filesystem;

fs::path ServedContentRoot(const PublisherOptions& options, fs::path& tempFolder) {
    fs::path root;
    if (!options.contentFolder.empty()) {
        root = fs::absolute(options.contentFolder).lexically_normal();
        if (!root.has_filename()) {
            root = root.parent_path();
        }
        if (!fs::is_directory(root)) {
            throw std::runtime_error("not a folder: " + root.string());
        }
    } else {
        fs::path work = options.workFolder;
        if (work.empty()) {
            std::string templ = (fs::temp_directory_path() / "kestrel-publisher-XXXXXX");
            if (mkdtemp(templ.data()) == nullptr) {
                throw std::runtime_error("cannot make a temporary folder");
            }
            tempFolder = templ;
            work = tempFolder;
        }
        root = GenerateFileSet(work, options.generatedName, options.generatedBytes, options.seed);
    }
    return root;
}

} // namespace publisher
