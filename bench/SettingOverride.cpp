#include "SettingOverride.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace lt = libtorrent;

std::vector<SettingOverride> ParseSettingOverrides(const std::string& list, std::string& error) {
    std::vector<SettingOverride> out;
    for (std::size_t at = 0; at <= list.size();) {
        const auto comma = std::min(list.find(',', at), list.size());
        const std::string entry = list.substr(at, comma - at);
        const auto equals = entry.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == entry.size()) {
            error = "not NAME=VALUE: \"" + entry + "\"";
            return {};
        }
        out.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
        at = comma + 1;
    }
    return out;
}

bool AddSettingOverride(const SettingOverride& setting, lt::settings_pack& pack,
                        std::string& error) {
    const int index = lt::setting_by_name(setting.name);
    if (index < 0) {
        error = "no such setting: " + setting.name;
        return false;
    }
    switch (index & lt::settings_pack::type_mask) {
    case lt::settings_pack::string_type_base:
        pack.set_str(index, setting.value);
        return true;
    case lt::settings_pack::int_type_base: {
        errno = 0;
        char* end = nullptr;
        const long value = std::strtol(setting.value.c_str(), &end, 10);
        if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) {
            error = setting.name + " takes a whole number, not " + setting.value;
            return false;
        }
        pack.set_int(index, static_cast<int>(value));
        return true;
    }
    case lt::settings_pack::bool_type_base:
        if (setting.value == "true" || setting.value == "1") {
            pack.set_bool(index, true);
        } else if (setting.value == "false" || setting.value == "0") {
            pack.set_bool(index, false);
        } else {
            error = setting.name + " takes true or false, not " + setting.value;
            return false;
        }
        return true;
    default:
        error = "no such setting: " + setting.name;
        return false;
    }
}
