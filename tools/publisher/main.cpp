// kestrel-publisher: the sample publisher's file server as a program, for the demo and by hand.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "Publisher.h"
#include "TorrentSigner.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/Swarm.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

const char kUsage[] =
    "usage: kestrel-publisher [options]\n"
    "  --host ADDR              listen address (127.0.0.1)\n"
    "  --port N                 listen port (28080; 0 for any)\n"
    "  --tls-cert FILE          serve https with this certificate (PEM, chain allowed)\n"
    "  --tls-key FILE           and this key\n"
    "  --folder DIR             serve this folder instead of a generated one\n"
    "  --work DIR               where to generate the file set (a temporary folder)\n"
    "  --size BYTES             size of the generated file set (67108864)\n"
    "  --seed N                 content seed of the generated file set (1)\n"
    "  --piece-size BYTES       torrent piece size (libtorrent's choice)\n"
    "  --torrent-kind KIND      v1, v2 or hybrid (v1)\n"
    "  --announce URL           tracker URL for the torrent (repeatable)\n"
    "  --web-seed-in-torrent    also name the web seed inside the torrent\n"
    "  --sign-key FILE          sign the torrent with this Ed25519 private key (PEM)\n"
    "  --wrong-signature        give the torrent a signature that does not verify\n"
    "  --sign-torrent IN OUT    sign the torrent file IN (made by any tool) with --sign-key,\n"
    "                           write it to OUT, print the public key in hex and end\n"
    "  --server-peer ADDR       server peer address for the check answer (repeatable)\n"
    "  --server-peer-port N     server peer port for the check answer (0)\n"
    "  --rates CALLIN,RELEASE   server peer rates in KiB/s (100,200)\n"
    "  --field N=TEXT           replace field N (0-10) of the check answer\n"
    "  --speed-test-bytes N     size of the speed-test file (3000000)\n"
    "  --web-seed-host ADDR     the web seed's own address (127.0.0.5)\n"
    "  --web-seed-port N        the web seed's own port (any free one)\n"
    "  --web-seed-rate KIB      web seed speed per connection in KiB/s (0: no limit)\n"
    "  --stats-log FILE         append statistics reports as JSON lines (statistics.jsonl)\n"
    "  --fault PATH=KIND[:N]    empty, cutoff:N, 404, 500, size:N, stall:MS, redirect:URL\n"
    "  --quiet                  do not print requests\n"
    "  --tracker                run a tracker on 127.0.0.1 and name it in the torrent\n"
    "  --tracker-port N         the tracker's port (any free one)\n"
    "  --tracker-host ADDR      the tracker's address (127.0.0.1)\n"
    "  --first-server-peer ADDR the first server peer's address (127.0.0.2); the same as the\n"
    "                           tracker's and --web-seed-host's puts them all on one host\n"
    "  --server-peers N         seed from N server peers on 127.0.0.2, 127.0.0.3, ... at the\n"
    "                           server peer port (31000 unless set); the answer names them\n"
    "  --seeders N              swarm seeders on 127.0.1.x, announcing to the tracker\n"
    "  --partials N             swarm peers on 127.0.2.x holding a share of the pieces\n"
    "  --partial-share F        that share, 0 to 1 (0.5)\n"
    "  --server-peer-rate KIB   upload limit of each server peer in KiB/s (0: none)\n"
    "  --seeder-rate KIB        upload limit of each seeder in KiB/s (0: none)\n"
    "  --partial-rate KIB       upload limit of each partial peer in KiB/s (0: none)\n"
    "  --utp                    peers also speak uTP (TCP only otherwise)\n"
    "  --swarm-log FILE         announces and who uploaded what to whom (swarm.log)\n";

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "kestrel-publisher: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

std::uint64_t number(const std::string& text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') {
        fail("not a number: " + text);
    }
    return value;
}

publisher::Fault parseFault(const std::string& text) {
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : text.substr(colon + 1);
    publisher::Fault f;
    using K = publisher::Fault::Kind;
    if (kind == "empty") {
        f.kind = K::EmptyBody;
    } else if (kind == "cutoff") {
        f.kind = K::CutOff;
        f.bytes = number(arg);
    } else if (kind == "404") {
        f.kind = K::NotFound;
    } else if (kind == "500") {
        f.kind = K::ServerError;
    } else if (kind == "size") {
        f.kind = K::SizedBody;
        f.bytes = number(arg);
    } else if (kind == "stall") {
        f.kind = K::Stall;
        f.delay = std::chrono::milliseconds(number(arg));
    } else if (kind == "redirect") {
        f.kind = K::Redirect;
        f.location = arg;
    } else {
        fail("unknown fault: " + text);
    }
    return f;
}

int signTorrentFile(const std::string& in, const std::string& out,
                    const publisher::PublisherOptions& options) {
    if (options.signingKey.empty()) {
        fail("--sign-torrent needs --sign-key");
    }
    try {
        std::ifstream input(in, std::ios::binary);
        const std::vector<char> torrent((std::istreambuf_iterator<char>(input)),
                                        std::istreambuf_iterator<char>());
        const publisher::SigningKey key(options.signingKey);
        const std::vector<char> signedTorrent =
            publisher::SignTorrent(torrent, key, options.wrongSignature);
        std::ofstream output(out, std::ios::binary | std::ios::trunc);
        output.write(signedTorrent.data(), static_cast<std::streamsize>(signedTorrent.size()));
        if (!input || !output) {
            fail("cannot read " + in + " or write " + out);
        }
        std::printf("%s\n", key.publicKeyHex().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel-publisher: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    publisher::PublisherOptions options;
    options.port = 28080;
    options.statisticsLog = "statistics.jsonl";
    options.statisticsToStdout = true;
    options.logRequestsToStdout = true;
    // An address of its own, so that a client that limits the web seed limits nothing else.
    options.webSeedHost = "127.0.0.5";
    swarm::Swarm::Options swarmOptions;
    swarmOptions.tracker = false;
    std::string swarmLog = "swarm.log";
    std::string signIn, signOut;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                fail(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--host") {
            options.host = value();
        } else if (arg == "--tls-cert") {
            options.tlsCertificate = value();
        } else if (arg == "--tls-key") {
            options.tlsKey = value();
        } else if (arg == "--port") {
            options.port = static_cast<int>(number(value()));
        } else if (arg == "--folder") {
            options.contentFolder = value();
        } else if (arg == "--work") {
            options.workFolder = value();
        } else if (arg == "--size") {
            options.generatedBytes = number(value());
        } else if (arg == "--seed") {
            options.seed = static_cast<std::uint32_t>(number(value()));
        } else if (arg == "--piece-size") {
            options.pieceSize = static_cast<int>(number(value()));
        } else if (arg == "--torrent-kind") {
            const std::string v = value();
            if (v == "v1") {
                options.torrentKind = publisher::TorrentKind::V1;
            } else if (v == "v2") {
                options.torrentKind = publisher::TorrentKind::V2;
            } else if (v == "hybrid") {
                options.torrentKind = publisher::TorrentKind::Hybrid;
            } else {
                fail("unknown torrent kind: " + v);
            }
        } else if (arg == "--announce") {
            options.announceUrls.push_back(value());
        } else if (arg == "--web-seed-in-torrent") {
            options.webSeedInTorrent = true;
        } else if (arg == "--sign-key") {
            options.signingKey = value();
        } else if (arg == "--wrong-signature") {
            options.wrongSignature = true;
        } else if (arg == "--sign-torrent") {
            signIn = value();
            signOut = value();
        } else if (arg == "--server-peer") {
            options.serverPeerAddresses.push_back(value());
        } else if (arg == "--server-peer-port") {
            options.serverPeerPort = static_cast<std::uint16_t>(number(value()));
        } else if (arg == "--rates") {
            const std::string v = value();
            const auto comma = v.find(',');
            if (comma == std::string::npos) {
                fail("--rates needs CALLIN,RELEASE");
            }
            options.callInKiB = static_cast<int>(number(v.substr(0, comma)));
            options.releaseKiB = static_cast<int>(number(v.substr(comma + 1)));
        } else if (arg == "--field") {
            const std::string v = value();
            const auto eq = v.find('=');
            if (eq == std::string::npos) {
                fail("--field needs N=TEXT");
            }
            options.checkFields[static_cast<int>(number(v.substr(0, eq)))] = v.substr(eq + 1);
        } else if (arg == "--speed-test-bytes") {
            options.speedTestBytes = number(value());
        } else if (arg == "--web-seed-host") {
            options.webSeedHost = value();
        } else if (arg == "--web-seed-port") {
            options.webSeedPort = static_cast<int>(number(value()));
        } else if (arg == "--web-seed-rate") {
            options.webSeedBytesPerSecond = number(value()) * 1024;
        } else if (arg == "--stats-log") {
            options.statisticsLog = value();
        } else if (arg == "--fault") {
            const std::string v = value();
            const auto eq = v.find('=');
            if (eq == std::string::npos) {
                fail("--fault needs PATH=KIND");
            }
            options.faults[v.substr(0, eq)] = parseFault(v.substr(eq + 1));
        } else if (arg == "--tracker") {
            swarmOptions.tracker = true;
        } else if (arg == "--tracker-host") {
            swarmOptions.trackerAddress = value();
        } else if (arg == "--first-server-peer") {
            swarmOptions.firstServerPeerAddress = value();
        } else if (arg == "--tracker-port") {
            swarmOptions.trackerPort = static_cast<int>(number(value()));
        } else if (arg == "--server-peers") {
            swarmOptions.serverPeers = static_cast<int>(number(value()));
        } else if (arg == "--seeders") {
            swarmOptions.seeders = static_cast<int>(number(value()));
        } else if (arg == "--partials") {
            swarmOptions.partials = static_cast<int>(number(value()));
        } else if (arg == "--partial-share") {
            swarmOptions.partialShare = std::strtod(value().c_str(), nullptr);
        } else if (arg == "--server-peer-rate") {
            swarmOptions.serverPeerRate = static_cast<int>(number(value()) * 1024);
        } else if (arg == "--seeder-rate") {
            swarmOptions.seederRate = static_cast<int>(number(value()) * 1024);
        } else if (arg == "--partial-rate") {
            swarmOptions.partialRate = static_cast<int>(number(value()) * 1024);
        } else if (arg == "--utp") {
            swarmOptions.utp = true;
        } else if (arg == "--swarm-log") {
            swarmLog = value();
        } else if (arg == "--quiet") {
            options.logRequestsToStdout = false;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            fail("unknown option " + arg);
        }
    }
    if (!signIn.empty()) {
        return signTorrentFile(signIn, signOut, options);
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    try {
        // The tracker must exist before the torrent (which names it); the peers need the torrent.
        std::unique_ptr<swarm::Swarm> peers;
        if (swarmOptions.tracker ||
            swarmOptions.serverPeers + swarmOptions.seeders + swarmOptions.partials > 0) {
            swarmOptions.log = std::make_shared<swarm::Log>(swarmLog);
            if (options.serverPeerPort != 0) {
                swarmOptions.serverPeerPort = options.serverPeerPort;
            }
            if (!options.workFolder.empty()) {
                swarmOptions.workFolder = options.workFolder / "peers";
            }
            peers = std::make_unique<swarm::Swarm>(swarmOptions);
            if (!peers->announceUrl().empty()) {
                options.announceUrls.insert(options.announceUrls.begin(), peers->announceUrl());
            }
            for (const auto& address : peers->serverPeerAddresses()) {
                options.serverPeerAddresses.push_back(address);
            }
            if (swarmOptions.serverPeers > 0) {
                options.serverPeerPort = peers->serverPeerPort();
            }
        }
        publisher::Publisher server(options);
        server.start();
        if (peers) {
            peers->start(server.torrent(), server.contentRoot().parent_path());
            for (const auto& p : peers->peers()) {
                std::printf("peer:    %s on %s\n", p->options().name.c_str(),
                            p->endpoint().c_str());
            }
            if (!peers->announceUrl().empty()) {
                std::printf("tracker: %s\n", peers->announceUrl().c_str());
            }
        }
        std::printf("kestrel-publisher: serving %s on %s\n", server.contentRoot().c_str(),
                    server.origin().c_str());
        std::printf("check:   %s\n", server.checkUrl().c_str());
        std::printf("answer:  %s\n", server.checkAnswer().c_str());
        std::fflush(stdout);
        while (gStop == 0) {
            usleep(100 * 1000);
        }
        server.stop();
        std::vector<std::string> totals;
        if (peers) {
            for (const auto& line : peers->uploadSummary()) {
                std::printf("%s\n", line.c_str());
            }
            totals = peers->sourceTotals();
        }
        totals.push_back("from the web seed " + server.webSeedUrl() + ": " +
                         std::to_string(server.webSeedBytesSent()) + " bytes");
        for (const auto& line : totals) {
            std::printf("total %s\n", line.c_str());
            if (swarmOptions.log) {
                swarmOptions.log->write("total " + line);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel-publisher: %s\n", e.what());
        return 1;
    }
    return 0;
}
