#include "tools/swarm/Swarm.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "tools/swarm/Log.h"
#include "tools/swarm/WaitFor.h"

namespace swarm {

namespace {

// Swarm peers get addresses of their own so that a client allowing one connection per address
// (libtorrent's default) still reaches every one of them.
std::string swarmAddress(int block, int index) {
    return "127.0." + std::to_string(block) + "." + std::to_string(index + 1);
}

} // namespace

Swarm::Swarm(Options options) : options_(std::move(options)) {
    if (options_.workFolder.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrel-swarm-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("swarm: cannot make a temporary folder");
        }
        options_.workFolder = pattern;
        ownedFolder_ = pattern;
    }
    if (options_.tracker) {
        tracker_ = std::make_unique<Tracker>(
            Tracker::Options{options_.trackerAddress, options_.trackerPort,
                             options_.trackerInterval, Tracker::PeerList::AsAsked, options_.log});
    }
}

Swarm::~Swarm() {
    // Peers first: their last announce goes to a tracker that is still there.
    peers_.clear();
    tracker_.reset();
    if (!ownedFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(ownedFolder_, ec);
    }
}

std::string Swarm::announceUrl() const {
    return tracker_ ? tracker_->announceUrl() : "";
}

std::vector<std::string> Swarm::serverPeerAddresses() const {
    std::vector<std::string> addresses;
    for (int i = 0; i < options_.serverPeers; ++i) {
        addresses.push_back(i == 0 && !options_.firstServerPeerAddress.empty()
                                ? options_.firstServerPeerAddress
                                : "127.0.0." + std::to_string(i + 2));
    }
    return addresses;
}

void Swarm::start(const std::vector<char>& torrent, const std::filesystem::path& source) {
    auto make = [&](Peer::Role role, const std::string& name, const std::string& address, int port,
                    int rate, std::uint32_t seed) {
        Peer::Options o;
        o.role = role;
        o.name = name;
        o.address = address;
        o.port = port;
        o.uploadRate = rate;
        o.completed = options_.partialShare;
        o.pieceSeed = seed;
        o.utp = options_.utp;
        o.trustData = options_.trustData;
        o.dataDir = options_.workFolder / name;
        o.log = options_.log;
        peers_.push_back(std::make_unique<Peer>(torrent, source, o));
    };
    const auto servers = serverPeerAddresses();
    for (std::size_t i = 0; i < servers.size(); ++i) {
        make(Peer::Role::Server, "server-peer-" + std::to_string(i + 1), servers[i],
             options_.serverPeerPort, options_.serverPeerRate, 0);
    }
    for (int i = 0; i < options_.seeders; ++i) {
        make(Peer::Role::Seeder, "seeder-" + std::to_string(i + 1), swarmAddress(1, i), 0,
             options_.seederRate, 0);
    }
    for (int i = 0; i < options_.partials; ++i) {
        make(Peer::Role::Partial, "partial-" + std::to_string(i + 1), swarmAddress(2, i), 0,
             options_.partialRate, static_cast<std::uint32_t>(i + 1));
    }
}

bool Swarm::waitUntilReady(std::chrono::milliseconds deadline) const {
    return waitFor(
        [this] {
            for (const auto& p : peers_) {
                if (!p->isReady()) {
                    return false;
                }
            }
            return true;
        },
        deadline);
}

std::vector<std::string> Swarm::uploadSummary() const {
    std::vector<std::string> lines;
    for (const auto& p : peers_) {
        lines.push_back(p->options().name + " " + p->endpoint() + " uploaded " +
                        std::to_string(p->totalUploaded()) + " bytes");
    }
    return lines;
}

std::vector<std::string> Swarm::sourceTotals() const {
    std::int64_t swarm = 0;
    std::vector<std::string> servers;
    for (const auto& p : peers_) {
        if (p->options().role == Peer::Role::Server) {
            servers.push_back("from " + p->options().name + " " + p->endpoint() + ": " +
                              std::to_string(p->totalUploaded()) + " bytes");
        } else {
            swarm += p->totalUploaded();
        }
    }
    std::vector<std::string> lines{"from the swarm: " + std::to_string(swarm) + " bytes"};
    lines.insert(lines.end(), servers.begin(), servers.end());
    return lines;
}

} // namespace swarm
