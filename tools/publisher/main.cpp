// kestrel-publisher: the sample publisher's file server as a program, for the demo and by hand.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "Publisher.h"
#include "TorrentSigner.h"
#include "tools/swarm/Log.h"
#include "tools/swarm/Swarm.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

// Everything the command line can say: the file server's settings, the swarm's, and the one
// job that is no server.
struct Command {
    publisher::PublisherOptions options;
    swarm::Swarm::Options swarm;
    std::string swarmLog = "swarm.log";
    std::vector<std::string> signTorrent; // IN OUT
};

// The text split at the first `separator`; without one, a usage error of `option`, which takes
// the `form` named.
std::pair<std::string, std::string> SplitAt(const std::string& text, char separator,
                                            const std::string& option, const std::string& form) {
    const auto at = text.find(separator);
    if (at == std::string::npos) {
        throw CLI::ValidationError(option, "not " + form + ": " + text);
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

std::uint64_t Number(const std::string& text, const std::string& what) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw CLI::ValidationError(what, "not a number: " + text);
    }
    return value;
}

publisher::Fault ParseFault(const std::string& text) {
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : text.substr(colon + 1);
    publisher::Fault f;
    using K = publisher::Fault::Kind;
    if (kind == "empty") {
        f.kind = K::EmptyBody;
    } else if (kind == "cutoff") {
        f.kind = K::CutOff;
        f.bytes = Number(arg, "--fault");
    } else if (kind == "404") {
        f.kind = K::NotFound;
    } else if (kind == "500") {
        f.kind = K::ServerError;
    } else if (kind == "size") {
        f.kind = K::SizedBody;
        f.bytes = Number(arg, "--fault");
    } else if (kind == "stall") {
        f.kind = K::Stall;
        f.delay = std::chrono::milliseconds(Number(arg, "--fault"));
    } else if (kind == "redirect") {
        f.kind = K::Redirect;
        f.location = arg;
    } else {
        throw CLI::ValidationError("--fault", "unknown fault: " + text);
    }
    return f;
}

// A rate given in KiB/s, kept in bytes per second.
template <typename T>
void AddKiBRate(CLI::App& app, const std::string& name, T& bytes, const std::string& help) {
    app.add_option_function<std::uint64_t>(
        name, [&bytes](std::uint64_t kib) { bytes = static_cast<T>(kib * 1024); }, help);
}

void AddFileServerOptions(CLI::App& app, Command& c) {
    publisher::PublisherOptions& o = c.options;
    app.add_option("--host", o.host, "listen address")->capture_default_str();
    app.add_option("--port", o.port, "listen port; 0 for any")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--tls-cert", o.tlsCertificate,
                   "serve https with this certificate (PEM, chain allowed)");
    app.add_option("--tls-key", o.tlsKey, "and this key");
    app.add_option("--folder", o.contentFolder, "serve this folder instead of a generated one");
    app.add_option("--work", o.workFolder,
                   "where to generate the file set (a temporary folder unless set)");
    app.add_option("--size", o.generatedBytes, "size of the generated file set")
        ->capture_default_str();
    app.add_option("--seed", o.seed, "content seed of the generated file set")
        ->capture_default_str();
    app.add_option("--piece-size", o.pieceSize, "torrent piece size (libtorrent's choice)")
        ->check(CLI::NonNegativeNumber);
    const std::map<std::string, publisher::TorrentKind> kinds{
        {"v1", publisher::TorrentKind::V1},
        {"v2", publisher::TorrentKind::V2},
        {"hybrid", publisher::TorrentKind::Hybrid}};
    app.add_option("--torrent-kind", o.torrentKind, "v1, v2 or hybrid (v1)")
        ->transform(CLI::CheckedTransformer(kinds))
        ->option_text("v1|v2|hybrid");
    app.add_option("--announce", o.announceUrls, "tracker URL for the torrent (repeatable)");
    app.add_flag("--web-seed-in-torrent", o.webSeedInTorrent,
                 "also name the web seed inside the torrent");
    app.add_option("--sign-key", o.signingKey,
                   "sign the torrent with this Ed25519 private key (PEM)");
    app.add_flag("--wrong-signature", o.wrongSignature,
                 "give the torrent a signature that does not verify");
    app.add_option("--sign-torrent", c.signTorrent,
                   "IN OUT: sign the torrent file IN (made by any tool) with --sign-key, write "
                   "it to OUT, print the public key in hex and end")
        ->expected(2);
}

void AddAnswerOptions(CLI::App& app, Command& c) {
    publisher::PublisherOptions& o = c.options;
    app.add_option("--server-peer", o.serverPeerAddresses,
                   "server peer address for the check answer (repeatable)");
    app.add_option("--server-peer-port", o.serverPeerPort,
                   "server peer port for the check answer (0)");
    app.add_option_function<std::string>(
        "--rates",
        [&o](const std::string& v) {
            const auto [callIn, release] = SplitAt(v, ',', "--rates", "CALLIN,RELEASE");
            o.callInKiB = static_cast<int>(Number(callIn, "--rates"));
            o.releaseKiB = static_cast<int>(Number(release, "--rates"));
        },
        "CALLIN,RELEASE: server peer rates in KiB/s (100,200)");
    app.add_option_function<std::vector<std::string>>(
        "--field",
        [&o](const std::vector<std::string>& all) {
            for (const auto& v : all) {
                const auto [index, text] = SplitAt(v, '=', "--field", "N=TEXT");
                o.checkFields[static_cast<int>(Number(index, "--field"))] = text;
            }
        },
        "N=TEXT: replace field N (0-10) of the check answer (repeatable)");
    app.add_option("--speed-test-bytes", o.speedTestBytes, "size of the speed-test file")
        ->capture_default_str();
    app.add_option("--web-seed-host", o.webSeedHost, "the web seed's own address")
        ->capture_default_str();
    app.add_option("--web-seed-port", o.webSeedPort, "the web seed's own port (any free one)")
        ->check(CLI::Range(0, 65535));
    AddKiBRate(app, "--web-seed-rate", o.webSeedBytesPerSecond,
               "web seed speed per connection in KiB/s (0: no limit)");
    app.add_option("--stats-log", o.statisticsLog, "append statistics reports as JSON lines")
        ->capture_default_str();
    app.add_option_function<std::vector<std::string>>(
        "--fault",
        [&o](const std::vector<std::string>& all) {
            for (const auto& v : all) {
                const auto [path, kind] = SplitAt(v, '=', "--fault", "PATH=KIND");
                o.faults[path] = ParseFault(kind);
            }
        },
        "PATH=KIND[:N]: empty, cutoff:N, 404, 500, size:N, stall:MS, redirect:URL (repeatable)");
    app.add_flag_callback(
        "--quiet", [&o] { o.logRequestsToStdout = false; }, "do not print requests");
}

void AddSwarmOptions(CLI::App& app, Command& c) {
    swarm::Swarm::Options& s = c.swarm;
    app.add_flag("--tracker", s.tracker, "run a tracker and name it in the torrent");
    app.add_option("--tracker-port", s.trackerPort, "the tracker's port (any free one)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--tracker-host", s.trackerAddress, "the tracker's address")
        ->capture_default_str();
    app.add_option("--first-server-peer", s.firstServerPeerAddress,
                   "the first server peer's address (127.0.0.2); the same as the tracker's and "
                   "--web-seed-host's puts them all on one host");
    app.add_option("--server-peers", s.serverPeers,
                   "seed from N server peers on 127.0.0.2, 127.0.0.3, ... at the server peer "
                   "port (" +
                       std::to_string(swarm::kServerPeerPort) +
                       " unless set); the answer names them")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seeders", s.seeders, "swarm seeders on 127.0.1.x, announcing to the tracker")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--partials", s.partials,
                   "swarm peers on 127.0.2.x holding a share of the pieces")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--partial-share", s.partialShare, "that share, 0 to 1")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1.0));
    AddKiBRate(app, "--server-peer-rate", s.serverPeerRate,
               "upload limit of each server peer in KiB/s (0: none)");
    AddKiBRate(app, "--seeder-rate", s.seederRate,
               "upload limit of each seeder in KiB/s (0: none)");
    AddKiBRate(app, "--partial-rate", s.partialRate,
               "upload limit of each partial peer in KiB/s (0: none)");
    app.add_flag("--utp", s.utp, "peers also speak uTP (TCP only otherwise)");
    app.add_option("--swarm-log", c.swarmLog, "announces and who uploaded what to whom")
        ->capture_default_str();
}

int signTorrentFile(const std::string& in, const std::string& out,
                    const publisher::PublisherOptions& options) {
    if (options.signingKey.empty()) {
        std::fprintf(stderr, "kestrel-publisher: --sign-torrent needs --sign-key\n");
        return 2;
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
            std::fprintf(stderr, "kestrel-publisher: cannot read %s or write %s\n", in.c_str(),
                         out.c_str());
            return 2;
        }
        std::printf("%s\n", key.publicKeyHex().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel-publisher: %s\n", e.what());
        return 1;
    }
}

// Serves until SIGINT or SIGTERM, then prints what each source sent.
int Serve(Command& c) {
    publisher::PublisherOptions& options = c.options;
    swarm::Swarm::Options& swarmOptions = c.swarm;
    const std::string& swarmLog = c.swarmLog;
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

} // namespace

int main(int argc, char** argv) {
    Command c;
    // By default the file server the program was built to ask.
    c.options.port = KESTREL_PUBLISHER_PORT;
    c.options.statisticsLog = "statistics.jsonl";
    c.options.statisticsToStdout = true;
    c.options.logRequestsToStdout = true;
    // An address of its own, so that a client that limits the web seed limits nothing else.
    c.options.webSeedHost = "127.0.0.5";
    c.swarm.tracker = false;

    CLI::App app("The sample publisher: the file server, web seed, tracker and peers a "
                 "download needs, on loopback.",
                 "kestrel-publisher");
    AddFileServerOptions(app, c);
    AddAnswerOptions(app, c);
    AddSwarmOptions(app, c);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Wrong usage ends with status 2, as before; asking for help with 0.
        return app.exit(e) == 0 ? 0 : 2;
    }
    if (!c.signTorrent.empty()) {
        return signTorrentFile(c.signTorrent[0], c.signTorrent[1], c.options);
    }
    return Serve(c);
}
