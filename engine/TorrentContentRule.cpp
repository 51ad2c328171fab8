#include "engine/TorrentContentRule.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The folder as the system finds it: links resolved as far as it exists, lexically beyond.
fs::path Resolved(const fs::path& folder) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(folder, error);
    return (error ? folder.lexically_normal() : resolved).lexically_normal();
}

fs::path WithoutTrailingSeparator(const fs::path& folder) {
    return folder.has_filename() ? folder : folder.parent_path();
}

} // namespace

bool IsHiddenName(std::string_view name) {
    return name.starts_with('.');
}

bool HasLinkAttribute(std::string_view attr) {
    return attr.find('l') != std::string_view::npos;
}

bool HasBidiControl(std::string_view name) {
    static constexpr std::array<std::string_view, 12> kControls = {
        "\u200E", "\u200F", "\u202A", "\u202B", "\u202C", "\u202D",
        "\u202E", "\u2066", "\u2067", "\u2068", "\u2069", "\u061C"};
    return std::any_of(kControls.begin(), kControls.end(), [&](std::string_view control) {
        return name.find(control) != std::string_view::npos;
    });
}

std::vector<fs::path> CommandFolders(std::string_view path, const fs::path& home) {
    std::vector<fs::path> out;
    while (true) {
        const std::size_t colon = path.find(':');
        const std::string_view entry = path.substr(0, colon);
        // An empty entry is the current folder, which a started program does not choose.
        if (!entry.empty()) {
            out.emplace_back(entry);
        }
        if (colon == std::string_view::npos) {
            break;
        }
        path.remove_prefix(colon + 1);
    }
    if (!home.empty()) {
        out.push_back(home / "bin");
        out.push_back(home / ".local" / "bin");
    }
    return out;
}

bool AnyIsCommandFolder(const std::vector<fs::path>& folders,
                        const std::vector<fs::path>& commandFolders) {
    std::vector<fs::path> resolved;
    for (const auto& f : commandFolders) {
        resolved.push_back(WithoutTrailingSeparator(Resolved(f)));
    }
    return std::any_of(folders.begin(), folders.end(), [&](const fs::path& folder) {
        return std::find(resolved.begin(), resolved.end(),
                         WithoutTrailingSeparator(Resolved(folder))) != resolved.end();
    });
}
