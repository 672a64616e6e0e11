#pragma once
// Helpers the watcher's files share: sealing in the forms the road uses, the kind names
// of the reports, the attachment walk, and the size estimates of the forward body.
#include <cstdint>
#include <functional>
#include <string>

#include "common/sealing_coder.h"
#include "platform/mapi/mapi_interfaces.h"

namespace tess::relay {

// The sealed text of bytes; false when the coder refuses.
bool RelaySeal(SealContext* context, const std::string& bytes, bool lineBreaks, bool bracePadding, std::string& out);
bool RelayUnseal(SealContext* context, const std::string& text, std::string& out);
// "Officewide Post", "Device Forward eMail", ... by request kind; "" for a kind without one.
const char* RelayKindName(int32_t kind);
// The first ten attachments of a message that have a long file name, a handled method
// and data: their name (at most 259 characters), data stream and MIME tag.
void ForEachAttachment(IMessage* source, bool withMimeTag,
                       const std::function<void(const std::string&, IStream*, const std::string&)>& each);
uint16_t EstimateBase64Length(int length, bool lineBreaks);
uint16_t EstimateSealedLength(int length);

}  // namespace tess::relay
