#include "app/crash/CrashDumpName.h"

#include <cstring>

DumpTime CalendarTime(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days to year, month and day, counting eras of 400 years from 0000-03-01 so that the
    // leap day falls at the end of each year.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // 0 is March
    DumpTime t;
    t.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    t.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    t.year = static_cast<int>(yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

namespace {

// Appends while room is left; the name is cut, never overrun.
struct NameBuilder {
    char* out;
    std::size_t length = 0;

    void text(const char* s) {
        for (; s && *s && length < kDumpNameMax; ++s) {
            out[length++] = *s;
        }
    }
    // At least `width` digits, zero-padded, as "%0*d" does for the values a time holds.
    void number(int value, int width) {
        char digits[12];
        int count = 0;
        const bool negative = value < 0;
        unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : value;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative && length < kDumpNameMax) {
            out[length++] = '-';
        }
        for (int pad = count; pad < width && length < kDumpNameMax; ++pad) {
            out[length++] = '0';
        }
        while (count > 0 && length < kDumpNameMax) {
            out[length++] = digits[--count];
        }
    }
};

} // namespace

std::size_t FormatDumpName(char* out, const char* folderPrefix, const char* baseName,
                           const DumpTime& time) {
    NameBuilder b{out};
    b.text(folderPrefix);
    b.text(baseName);
    b.text("_");
    b.number(time.year, 4);
    b.text("-");
    b.number(time.month, 2);
    b.text("-");
    b.number(time.day, 2);
    b.text("_");
    b.number(time.hour, 2);
    b.text("-");
    b.number(time.minute, 2);
    b.text("-");
    b.number(time.second, 2);
    b.text(".DMP");
    out[b.length] = '\0';
    return b.length;
}

void ProgramBaseName(const char* path, char* out, std::size_t capacity) {
    if (capacity == 0) {
        return;
    }
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    // The extension is taken from the file's own name, so that a dot in a folder
    // (~/.local/bin) does not cut the name; a leading dot is no extension.
    const char* dot = std::strrchr(name, '.');
    std::size_t length =
        dot && dot != name ? static_cast<std::size_t>(dot - name) : std::strlen(name);
    if (length >= capacity) {
        length = capacity - 1;
    }
    std::memcpy(out, name, length);
    out[length] = '\0';
}
