#include "engine/TorrentAdmission.h"

#include <exception>
#include <set>

#include <libtorrent/bdecode.hpp>

#include "engine/TorrentContentRule.h"
#include "engine/TorrentSignature.h"

namespace lt = libtorrent;

namespace {

std::string_view View(lt::span<const char> bytes) {
    return {bytes.data(), static_cast<std::size_t>(bytes.size())};
}

bool IsSignedWith(std::string_view bytes, const lt::bdecode_node& torrent, const std::string& key) {
    if (torrent.type() != lt::bdecode_node::dict_t) {
        return false;
    }
    const lt::bdecode_node signature = torrent.dict_find_string(
        lt::string_view(kTorrentSignatureKey.data(), kTorrentSignatureKey.size()));
    if (!signature) {
        return false;
    }
    const std::string_view value = View(signature.data_section());
    const auto begin = static_cast<std::size_t>(value.data() - bytes.data());
    const std::string message = SignedTorrentBytes(bytes, begin, begin + value.size());
    const auto text = signature.string_value();
    return !message.empty() &&
           VerifyEd25519(message, std::string_view(text.data(), text.size()), key);
}

bool MarksLink(const lt::bdecode_node& file) {
    if (file.type() != lt::bdecode_node::dict_t) {
        return false;
    }
    const auto attr = file.dict_find_string_value("attr");
    return HasLinkAttribute(std::string_view(attr.data(), attr.size()));
}

// Nothing hidden at the top and no link, whichever way the torrent marks one: the library
// only makes a link of a file that also names its target, so the bare attribute counts too.
bool PutsOnlyVisibleFiles(const lt::torrent_info& info, const lt::bdecode_node& torrent) {
    if (IsHiddenName(info.name())) {
        return false;
    }
    const lt::file_storage& files = info.files();
    for (const lt::file_index_t i : files.file_range()) {
        if (files.file_flags(i) & lt::file_storage::flag_symlink) {
            return false;
        }
    }
    const lt::bdecode_node dict = torrent.dict_find_dict("info");
    if (MarksLink(dict)) {
        return false;
    }
    const lt::bdecode_node list = dict.dict_find_list("files");
    if (list.type() == lt::bdecode_node::list_t) {
        for (int i = 0; i < list.list_size(); ++i) {
            if (MarksLink(list.list_at(i))) {
                return false;
            }
        }
    }
    return true;
}

// No name that reads as another, and nothing where the player's shell looks for commands.
bool KeepsOffCommandFolders(const lt::torrent_info& info, const std::filesystem::path& saveFolder,
                            const std::vector<std::filesystem::path>& commandFolders) {
    const lt::file_storage& files = info.files();
    std::set<std::filesystem::path> folders;
    for (const lt::file_index_t i : files.file_range()) {
        if (files.pad_file_at(i)) {
            continue; // never written
        }
        const std::string path = files.file_path(i); // the torrent's name first, if a folder
        if (HasBidiControl(path)) {
            return false;
        }
        folders.insert(saveFolder / std::filesystem::path(path).parent_path());
    }
    return !AnyIsCommandFolder({folders.begin(), folders.end()}, commandFolders);
}

TorrentAdmission Refused(TorrentRefusal why) {
    return {why, nullptr};
}

} // namespace

TorrentAdmission AdmitTorrent(std::string_view bytes, const std::string& publisherKey,
                              const std::filesystem::path& saveFolder,
                              const std::vector<std::filesystem::path>& commandFolders) {
    try {
        lt::error_code ec;
        // The library's own decode limits (nesting depth, token count) bound the work.
        const lt::bdecode_node node = lt::bdecode(
            lt::span<const char>(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size())), ec);
        if (ec) {
            return Refused(TorrentRefusal::Undecodable);
        }
        if (!publisherKey.empty() && !IsSignedWith(bytes, node, publisherKey)) {
            return Refused(TorrentRefusal::Unsigned);
        }
        auto info = std::make_shared<const lt::torrent_info>(node, lt::load_torrent_limits{});
        if (!PutsOnlyVisibleFiles(*info, node)) {
            return Refused(TorrentRefusal::HiddenOrLink);
        }
        if (!KeepsOffCommandFolders(*info, saveFolder, commandFolders)) {
            return Refused(TorrentRefusal::CommandFolder);
        }
        return {TorrentRefusal::None, std::move(info)};
    } catch (const std::exception&) {
        // A dictionary the library cannot make a torrent of.
        return Refused(TorrentRefusal::Undecodable);
    }
}
