#pragma once

#include <cstdlib>
#include <filesystem>

#include <QTemporaryDir>

// A fresh folder under the system's temporary folder, removed with the object, also after a test
// took its write permission away.
class TempFolder {
public:
    TempFolder() {
        if (!dir_.isValid()) {
            std::abort();
        }
        path_ = dir_.path().toStdString();
    }
    ~TempFolder() {
        // Each folder is opened up before the walk goes into it.
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    QTemporaryDir dir_;
    std::filesystem::path path_;
};
