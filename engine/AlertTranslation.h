#pragma once

// Private to engine/: speaks the library's notifications.
#ifndef KESTREL_ENGINE_PRIVATE
#error "engine/AlertTranslation.h is private to engine/ and its tests"
#endif

#include <optional>

#include <libtorrent/alert.hpp>
#include <libtorrent/alert_types.hpp>

#include "engine/EngineEvent.h"
#include "engine/EngineInternals.h"

// Every category that can carry a notification the window reacts to (tracker errors
// included), and none of the log, block, piece or statistics categories: at full speed those
// add over a thousand notifications a second, which overflowed the queue and dropped listed
// ones.
inline constexpr libtorrent::alert_category_t kAlertMask =
    libtorrent::alert_category::error | libtorrent::alert_category::peer |
    libtorrent::alert_category::port_mapping | libtorrent::alert_category::storage |
    libtorrent::alert_category::tracker | libtorrent::alert_category::status |
    libtorrent::alert_category::ip_block | libtorrent::alert_category::performance_warning;

// Room for every listed notification between two 300 ms ticks, with a wide margin.
inline constexpr int kAlertQueueSize = 20000;

// One notification as the program's event, or none for a kind the window does not react to.
// A failed listen attempt counts only while the session is not listening: the attempts before
// the port that worked are no failure. Only the first file error until the next resume counts:
// writes under way when it struck fail too and are the same error. Counts dropped
// notifications in state.
std::optional<EngineEvent> TranslateAlert(const libtorrent::alert& alert,
                                          DownloadEngine::Impl& state);
