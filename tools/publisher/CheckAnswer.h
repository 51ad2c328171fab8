#pragma once

#include <string>

#include "PublisherOptions.h"

namespace publisher {

// The download check's answer: the body set in the options, or the eleven "|"-separated
// fields, each the options' own text for it or the default one for this server's origin
// ("http://host:port") and web seed. The caller holds whatever guards the options.
std::string CheckAnswerText(const PublisherOptions& options, const std::string& origin,
                            const std::string& webSeedUrl);

} // namespace publisher
