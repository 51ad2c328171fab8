#include "net/LocalAddress.h"

#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include <QProcess>

namespace {

// Set by scripts/in-netns in the fresh namespace it makes. This test changes the loopback
// device's addresses, which it must never do on the machine's own network.
bool InOwnNetworkNamespace() {
    return qEnvironmentVariableIntValue("KESTREL_OWN_NETNS") == 1;
}

bool Ip(const QStringList& arguments) {
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    return ip.waitForFinished(30'000) && ip.exitStatus() == QProcess::NormalExit &&
           ip.exitCode() == 0;
}

} // namespace

TEST(LocalAddress, FirstUsableIpv4ThenIpv6ThenUnspecified) {
    EXPECT_EQ(PickLocalAddress({}), "0.0.0.0");
    EXPECT_EQ(PickLocalAddress({"127.0.0.1", "::1", "0.0.0.0", "224.0.0.1", "junk"}), "0.0.0.0");
    EXPECT_EQ(PickLocalAddress({"127.0.0.1", "192.168.1.5", "10.0.0.2"}), "192.168.1.5");
    EXPECT_EQ(PickLocalAddress({"2001:db8::5", "127.0.0.1", "198.51.100.7"}), "198.51.100.7");
    EXPECT_EQ(PickLocalAddress({"::1", "ff02::1", "2001:db8::5", "2001:db8::6"}), "2001:db8::5");
}

// The guess reads the machine's real interfaces: loopback alone gives the unspecified address,
// an IPv6 address is taken when there is no IPv4 one, and an IPv4 address wins.
TEST(LocalAddress, GuessTakesTheInterfacesAddresses) {
    if (!InOwnNetworkNamespace()) {
        GTEST_SKIP() << "changes loopback addresses: runs only under scripts/in-netns";
    }
    EXPECT_EQ(GuessLocalAddress(), "0.0.0.0");
    const bool v6 = Ip({"-6", "addr", "add", "2001:db8::5/128", "dev", "lo"});
    if (v6) {
        EXPECT_EQ(GuessLocalAddress(), "2001:db8::5");
    } else {
        std::cerr << "IPv6 is off here: its row is not checked\n";
    }
    ASSERT_TRUE(Ip({"addr", "add", "203.0.113.7/32", "dev", "lo"}));
    EXPECT_EQ(GuessLocalAddress(), "203.0.113.7");

    Ip({"addr", "del", "203.0.113.7/32", "dev", "lo"});
    if (v6) {
        Ip({"-6", "addr", "del", "2001:db8::5/128", "dev", "lo"});
    }
}
