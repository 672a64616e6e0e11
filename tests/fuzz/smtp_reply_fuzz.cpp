// The SMTP reply test over arbitrary bytes: piecewise and whole agree, and a complete
// reply always ends with a line of three digits and a blank or line end.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hosts/inet/mail_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    inet::SmtpReplyEnd whole;
    const bool complete = whole.Complete(text);
    inet::SmtpReplyEnd pieces;
    bool completePieces = false;
    for (std::size_t n = 0; n < size && !completePieces; n += 3) {
        completePieces = pieces.Complete(text.substr(0, std::min(size, n + 3)));
    }
    if (complete != completePieces) std::abort();
    if (complete && text.find('\n') == std::string_view::npos) std::abort();
    inet::LineStartsWith end("250 ");
    end.Complete(text);
    return 0;
}
