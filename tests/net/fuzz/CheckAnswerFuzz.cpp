// libFuzzer entry point: a check answer body through decoding, splitting and every field parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/AnsiText.h"
#include "net/CheckAnswer.h"
#include "net/ExplorerLauncher.h"
#include "net/TextFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size); // adds the zero byte
    const QString text = DecodeAnsiText(body.c_str());
    const QStringList fields = SplitFields(text, QStringLiteral("|"));
    if (ClassifyCheckAnswer(fields) == CheckVerdict::Proceed) {
        const std::uint16_t port = ServerPeerPort(fields[6]);
        ServerPeerList(fields[7], port);
        std::uint32_t callIn = 0;
        std::uint32_t release = 0;
        ServerPeerRates(fields[8], callIn, release);
    }
    for (QString field : fields) {
        EscapeUrlQuery(field);
    }
    return 0;
}
