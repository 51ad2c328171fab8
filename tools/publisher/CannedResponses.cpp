#include "CannedResponses.h"

#include <algorithm>

namespace publisher {

std::string htmlPage(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body><h1>" + title +
           "</h1></body></html>\n";
}

void fillPattern(char* out, std::size_t length, std::uint64_t offset) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint64_t at = offset + i;
        out[i] = static_cast<char>('a' + (at * 7 + at / 26) % 26);
    }
}

void providePattern(httplib::Response& res, std::uint64_t length, std::uint64_t cutAt) {
    res.set_content_provider(
        static_cast<std::size_t>(length), "application/octet-stream",
        [cutAt](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
            if (offset >= cutAt) {
                return false;
            }
            char chunk[16 * 1024];
            const std::size_t n = std::min<std::size_t>(
                {want, sizeof chunk, static_cast<std::size_t>(cutAt - offset)});
            fillPattern(chunk, n, offset);
            return sink.write(chunk, n);
        });
}

httplib::Server::HandlerResponse
answerWithFault(const Fault& fault, httplib::Response& res,
                const std::function<void(std::chrono::milliseconds)>& pause) {
    switch (fault.kind) {
    case Fault::Kind::EmptyBody:
        res.status = 200;
        res.set_content("", "text/plain");
        break;
    case Fault::Kind::CutOff:
    case Fault::Kind::Reset: // the file server has no way to reset; it cuts off
        res.status = 200;
        providePattern(res, fault.bytes, fault.bytes / 2);
        break;
    case Fault::Kind::NotFound:
        res.status = 404;
        res.set_content(htmlPage("404 Not Found"), "text/html");
        break;
    case Fault::Kind::ServerError:
        res.status = 500;
        res.set_content(htmlPage("500 Internal Server Error"), "text/html");
        break;
    case Fault::Kind::SizedBody:
        res.status = 200;
        providePattern(res, fault.bytes, fault.bytes);
        break;
    case Fault::Kind::Stall:
        pause(fault.delay);
        return httplib::Server::HandlerResponse::Unhandled;
    case Fault::Kind::Trickle: {
        res.status = 200;
        const std::uint64_t total = fault.bytes;
        const auto delay = fault.delay;
        res.set_content_provider(
            static_cast<std::size_t>(total), "application/octet-stream",
            [pause, total, delay](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                const std::size_t piece =
                    static_cast<std::size_t>(std::max<std::uint64_t>(1, (total + 9) / 10));
                const std::size_t n = std::min<std::size_t>(piece, total - offset);
                if (offset > 0) {
                    pause(delay);
                }
                std::string chunk(n, '\0');
                fillPattern(chunk.data(), n, offset);
                return sink.write(chunk.data(), n);
            });
        break;
    }
    case Fault::Kind::Redirect:
        res.set_redirect(fault.location, 302);
        break;
    case Fault::Kind::Unavailable:
        res.status = 503;
        if (fault.retryAfterSeconds() > 0) {
            res.set_header("Retry-After", std::to_string(fault.retryAfterSeconds()));
        }
        res.set_content(htmlPage("503 Service Unavailable"), "text/html");
        break;
    case Fault::Kind::NoLength: {
        res.status = 200;
        const std::uint64_t total = fault.bytes;
        res.set_chunked_content_provider(
            "application/octet-stream", [total](std::size_t offset, httplib::DataSink& sink) {
                std::string chunk(static_cast<std::size_t>(total), '\0');
                fillPattern(chunk.data(), chunk.size(), offset);
                sink.write(chunk.data(), chunk.size());
                sink.done();
                return true;
            });
        break;
    }
    }
    return httplib::Server::HandlerResponse::Handled;
}

} // namespace publisher
