#include <gtest/gtest.h>

#include "SettingOverride.h"

namespace lt = libtorrent;

namespace {

TEST(SettingOverrideList, SplitsEntriesAndRefusesAnyMalformedOne) {
    std::string error;
    const auto list = ParseSettingOverrides("aio_threads=4,user_agent=a=b", error);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "aio_threads");
    EXPECT_EQ(list[0].value, "4");
    EXPECT_EQ(list[1].label(), "user_agent=a=b"); // the first '=' splits

    for (const char* bad :
         {"", "aio_threads", "=4", "aio_threads=", "aio_threads=4,,a=1", "aio_threads=4,"}) {
        error.clear();
        EXPECT_TRUE(ParseSettingOverrides(bad, error).empty()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(SettingOverride, TakesEachSettingAsItsOwnType) {
    lt::settings_pack pack;
    std::string error;
    ASSERT_TRUE(AddSettingOverride({"aio_threads", "4"}, pack, error)) << error;
    ASSERT_TRUE(AddSettingOverride({"send_buffer_watermark", "-1"}, pack, error)) << error;
    ASSERT_TRUE(AddSettingOverride({"enable_dht", "false"}, pack, error)) << error;
    ASSERT_TRUE(AddSettingOverride({"enable_lsd", "1"}, pack, error)) << error;
    ASSERT_TRUE(AddSettingOverride({"user_agent", "x/1"}, pack, error)) << error;
    EXPECT_EQ(pack.get_int(lt::settings_pack::aio_threads), 4);
    EXPECT_EQ(pack.get_int(lt::settings_pack::send_buffer_watermark), -1);
    EXPECT_FALSE(pack.get_bool(lt::settings_pack::enable_dht));
    EXPECT_TRUE(pack.has_val(lt::settings_pack::enable_dht));
    EXPECT_TRUE(pack.get_bool(lt::settings_pack::enable_lsd));
    EXPECT_EQ(pack.get_str(lt::settings_pack::user_agent), "x/1");
}

TEST(SettingOverride, RefusesUnknownNamesAndValuesOfTheWrongType) {
    lt::settings_pack pack;
    for (const SettingOverride& bad : std::vector<SettingOverride>{{"no_such_setting", "1"},
                                                                   {"aio_threads", "4x"},
                                                                   {"aio_threads", "four"},
                                                                   {"aio_threads", "99999999999"},
                                                                   {"enable_dht", "yes"},
                                                                   {"enable_dht", "2"}}) {
        std::string error;
        EXPECT_FALSE(AddSettingOverride(bad, pack, error)) << bad.label();
        EXPECT_FALSE(error.empty()) << bad.label();
    }
    EXPECT_FALSE(pack.has_val(lt::settings_pack::aio_threads));
    EXPECT_FALSE(pack.has_val(lt::settings_pack::enable_dht));
}

} // namespace
