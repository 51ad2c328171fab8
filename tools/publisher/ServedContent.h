#pragma once

#include <filesystem>

#include "PublisherOptions.h"

namespace publisher {

// The folder the file server and the web seed serve: the options' content folder, or a file set
// generated into their work folder or, without one, into a new temporary folder, which is then
// left in tempFolder for the caller to remove. Throws std::runtime_error when neither can be had.
std::filesystem::path ServedContentRoot(const PublisherOptions& options,
                                        std::filesystem::path& tempFolder);

} // namespace publisher
