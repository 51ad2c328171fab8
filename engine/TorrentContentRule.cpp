#include "engine/TorrentContentRule.h"

bool IsHiddenName(std::string_view name) {
    return name.starts_with('.');
}

bool HasLinkAttribute(std::string_view attr) {
    return attr.find('l') != std::string_view::npos;
}
