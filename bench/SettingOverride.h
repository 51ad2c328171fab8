#pragma once

#include <string>
#include <vector>

#include <libtorrent/settings_pack.hpp>

// One library setting by its name, with the value to give it, as `--settings` takes it.
struct SettingOverride {
    std::string name;
    std::string value;
    std::string label() const { return name + "=" + value; }
};

// "NAME=VALUE,NAME=VALUE,...": each entry is one setting to change. Empty names or values, or
// an entry without '=', make the whole list invalid (an empty result and `error` set).
std::vector<SettingOverride> ParseSettingOverrides(const std::string& list, std::string& error);

// Puts the setting into `pack`, as the type the library keeps it in: whole numbers for
// numeric settings, true/false or 1/0 for switches, text as it is. False with `error` set for a
// name the library does not know or a value not of the setting's type.
bool AddSettingOverride(const SettingOverride& setting, libtorrent::settings_pack& pack,
                        std::string& error);
