#include "app/StatusText.h"

#include <array>
#include <charconv>

namespace {

// Two decimals, rounded to the nearest as printf does, and always with a point: the program's
// locale must not turn "1.50 KB" into "1,50 KB".
QString TwoDecimals(double value) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 2);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

} // namespace

QString ScaledText(std::uint64_t count) {
    const ScaledBytes scaled = ScaleBytes(count);
    return TwoDecimals(scaled.value) + QLatin1Char(' ') + UnitName(scaled.unit);
}

ScaledBytes ScaleBytes(std::uint64_t count) {
    if (count == 0) {
        return {1, 0.0};
    }
    std::uint64_t divisor = 1;
    int k = 0;
    while (k < 3) {
        const std::uint64_t next = divisor * 1024;
        if (count / next == 0) {
            break;
        }
        ++k;
        divisor = next;
    }
    return {k + 1, static_cast<double>(count) / static_cast<double>(divisor)};
}

QString UnitName(int unit) {
    switch (unit) {
    case 1:
        return QStringLiteral("B");
    case 2:
        return QStringLiteral("KB");
    case 3:
        return QStringLiteral("MB");
    case 4:
        return QStringLiteral("GB");
    default:
        return {};
    }
}

QString SizeLineText(std::uint64_t done, std::uint64_t total) {
    return QStringLiteral(" : ") + ScaledText(done) + QStringLiteral(" / ") + ScaledText(total);
}

QString RateLineText(std::uint32_t rate, std::optional<RemainingTime> left) {
    const QString speed = QStringLiteral(" : ") + ScaledText(rate) + QStringLiteral("/s");
    // 65535 hours stands for "no estimate": the rate is 0, or the hours wrapped onto it.
    if (!left || left->hours == 0xFFFF) {
        return speed;
    }
    if (left->hours > 0) {
        return speed +
               QStringLiteral(" - About %1h %2m Remains").arg(left->hours).arg(left->minutes);
    }
    return speed + QStringLiteral(" - About %1m %2s Remains").arg(left->minutes).arg(left->seconds);
}

QString PeersLineText(int count, quint16 listenPort) {
    if (listenPort != 0) {
        return QStringLiteral(" : %1 peers (Listen port : %2)").arg(count).arg(listenPort);
    }
    return QStringLiteral(" : %1 peers").arg(count);
}

QString PercentText(int percent) {
    return QStringLiteral("%1%").arg(percent);
}

QString FilePathText(const QString& folder, const QString& name) {
    // Only a slash counts as a separator here; a folder ending in anything else gets one.
    QString path = folder;
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return QStringLiteral(" : ") + path + name;
}
