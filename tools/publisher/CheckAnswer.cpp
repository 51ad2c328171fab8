#include "CheckAnswer.h"

#include "Publisher.h"

namespace publisher {

namespace {

std::string defaultField(int index, const PublisherOptions& options, const std::string& origin,
                         const std::string& webSeedUrl) {
    switch (index) {
    case 0:
        return "12";
    case 1:
        return origin + Publisher::kUpdatePage;
    case 2:
    case 3:
        return "";
    case 4:
        return origin + Publisher::kTorrentPath;
    case 5:
        return webSeedUrl;
    case 6:
        return std::to_string(options.serverPeerPort);
    case 7: {
        std::string list;
        for (const auto& a : options.serverPeerAddresses) {
            list += (list.empty() ? "" : ",") + a;
        }
        return list;
    }
    case 8:
        return std::to_string(options.callInKiB) + "," + std::to_string(options.releaseKiB);
    case 9:
        return origin + Publisher::kStatisticsPath;
    case 10:
        return origin + Publisher::kSpeedTestPath;
    default:
        return "";
    }
}

} // namespace

std::string CheckAnswerText(const PublisherOptions& options, const std::string& origin,
                            const std::string& webSeedUrl) {
    if (options.checkBody) {
        return *options.checkBody;
    }
    std::string body;
    for (int i = 0; i < 11; ++i) {
        auto over = options.checkFields.find(i);
        body += (i == 0 ? "" : "|") + (over != options.checkFields.end()
                                           ? over->second
                                           : defaultField(i, options, origin, webSeedUrl));
    }
    return body;
}

} // namespace publisher
