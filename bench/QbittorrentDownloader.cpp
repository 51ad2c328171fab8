#include "QbittorrentDownloader.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include "tools/swarm/WaitFor.h"

using namespace std::chrono_literals;

namespace {

const char kProgram[] = "/usr/bin/qbittorrent-nox";

} // namespace

bool QbittorrentDownloader::available() {
    return access(kProgram, X_OK) == 0;
}

QbittorrentDownloader::QbittorrentDownloader(const std::filesystem::path& profile, int webPort,
                                             int peerPort) {
    const auto configDir = profile / "qBittorrent" / "config";
    std::filesystem::create_directories(configDir);
    finishedFlag_ = profile / "finished";
    // Its web API refreshes torrent states every 1.5 s; the program it runs when a torrent
    // finishes tells the moment itself.
    std::ofstream(configDir / "qBittorrent.conf")
        << "[AutoRun]\nenabled=true\nprogram=/usr/bin/touch " << finishedFlag_.string() << "\n\n"
        << "[LegalNotice]\nAccepted=true\n\n"
        << "[BitTorrent]\nSession\\Port=" << peerPort << "\n\n"
        << "[Preferences]\nWebUI\\Port=" << webPort
        << "\nWebUI\\Address=127.0.0.1\nWebUI\\LocalHostAuth=false\n"
           "WebUI\\CSRFProtection=false\nWebUI\\HostHeaderValidation=false\n";

    const std::string profileArg = "--profile=" + profile.string();
    const std::string logPath = (profile / "stdout.log").string();
    pid_ = fork();
    if (pid_ == 0) {
        const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        execl(kProgram, kProgram, profileArg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) {
        throw std::runtime_error("cannot start qbittorrent-nox");
    }
    client_ = std::make_unique<httplib::Client>("127.0.0.1", webPort);
    client_->set_connection_timeout(1);
    if (!swarm::waitFor(
            [this] {
                auto res = client_->Get("/api/v2/app/version");
                return res && res->status == 200;
            },
            30s)) {
        throw std::runtime_error("qbittorrent-nox: web API not up; see " + logPath);
    }
}

QbittorrentDownloader::~QbittorrentDownloader() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string QbittorrentDownloader::version() {
    auto res = client_->Get("/api/v2/app/version");
    return res ? res->body : "";
}

void QbittorrentDownloader::add(const std::vector<char>& torrent,
                                const std::filesystem::path& saveFolder) {
    std::filesystem::remove(finishedFlag_);
    httplib::MultipartFormDataItems items = {
        {"torrents", std::string(torrent.begin(), torrent.end()), "set.torrent",
         "application/x-bittorrent"},
        {"savepath", saveFolder.string(), "", ""},
    };
    auto res = client_->Post("/api/v2/torrents/add", items);
    if (!res || res->status != 200 || res->body != "Ok.") {
        throw std::runtime_error("qbittorrent-nox refused the torrent: " +
                                 (res ? res->body : std::string("no answer")));
    }
}

bool QbittorrentDownloader::isComplete() const {
    return std::filesystem::exists(finishedFlag_);
}

void QbittorrentDownloader::remove() {
    client_->Post("/api/v2/torrents/delete", "hashes=all&deleteFiles=true",
                  "application/x-www-form-urlencoded");
    swarm::waitFor(
        [this] {
            auto res = client_->Get("/api/v2/torrents/info");
            return res && res->body == "[]";
        },
        30s);
}
