// Answers of the wireless service of any shape: the status from the first two bytes, the
// body after them, judged as a registration answer and as a key answer. The results stay
// among the defined ones and the service's message is a piece of the lower-cased body.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/provisioning_client.h"

using platform::mfc::CString;

using tess::engine::CProvisioningClient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int status = data[0] == 0 ? 200 : data[0] * 3 + data[1];
    const std::string body(reinterpret_cast<const char*>(data + 2), size - 2);

    const int notice = CProvisioningClient::JudgeNotice(status, body);
    if (notice != 0 && notice != 5 && notice != 6 && notice != 7) __builtin_trap();
    if (status != 200 && notice != 5) __builtin_trap();

    CString message;
    const int key = CProvisioningClient::JudgeKeyAnswer(status, body, &message);
    if (key != 0 && key != 3 && key != 6 && key != 8) __builtin_trap();
    if (status == 200 && key != 3) {
        std::string lower = body;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (lower.find(message.str()) == std::string::npos) __builtin_trap();
    }
    return 0;
}
