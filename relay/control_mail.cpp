// Control mails from the handheld: recognising the request by its subject, unsealing and
// checking the body, parsing it into the request record, and acting on it.
#include <cstdlib>
#include <cstring>

#include "common/base64.h"
#include "relay/mail_road.h"
#include "relay/mapi_redirect.h"
#include "relay/relay_log.h"
#include "relay/relay_text.h"
#include "relay/relay_util.h"

namespace tess::relay {

namespace {

struct RequestSubject {
    int32_t code;
    const char* subject;
    bool whole;
};
const RequestSubject kRequests[] = {
    {kRequestPause, "???S-P-", false},
    {kRequestStart, "???S-T-", false},
    {kRequestShutDown, "???S-D-", false},
    {kRequestForward, "???E-F-", false},
    {kRequestReply, "???E-R-", false},
    {kRequestDelete, "???C-D-2    Wayfarer Message - Do Not Delete", true},
    {kRequestFilters, "???C-F-2    Wayfarer Message - Do Not Delete", true},
    {kRequestHello, "???C-H-2    Wayfarer Message - Do Not Delete", true},
    {kRequestNewMail, "???E-N-2    Wayfarer Message - Do Not Delete", true},
    {kRequestReadState, "???C-S-2    Wayfarer Message - Do Not Delete", true},
    {kRequestCombined, "???C-C-2    Wayfarer Message - Do Not Delete", true},
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

EntryId decodeEntry(const std::string& text) {
    std::vector<uint8_t> out;
    uint32_t count = 0;
    if (Base64Decode(text, out, &count) != kBase64Ok) return {};
    out.resize(count);
    return out;
}

void copyField(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

}  // namespace

void CMAPIRedirect::GetWayfarerRequest(MessageData& record) {
    record.requestCode = kRequestNone;
    for (const RequestSubject& r : kRequests) {
        const bool match = r.whole ? record.subject == r.subject : record.subject.compare(0, 7, r.subject) == 0;
        if (match) {
            record.requestCode = r.code;
            return;
        }
    }
}

bool CMAPIRedirect::ValidateSender(MessageData& record) {
    const std::string report = Format(57448, record.subject, LocalAscTime(record.deliveryTime));
    const int32_t code = record.requestCode;
    if (code == kRequestHello) return true;
    if (record.body.empty()) {
        LogWrite(kLogWarning, Text(57365));
        return false;
    }
    // The handheld seals its text with the terminator: a text that does not end in one
    // was cut short on the way (the coder gives what the blocks that came hold), and a
    // request read from part of its body must not run.
    std::string plain;
    if (!RelayUnseal(seal_, record.body, plain) || plain.empty() || plain.back() != '\0') {
        LogWrite(kLogWarning, report);
        return false;
    }
    record.body = plain.c_str();
    switch (code) {
    case kRequestPause:
    case kRequestStart:
    case kRequestShutDown: return record.body.size() >= 7 && record.body.compare(0, 7, record.subject, 0, 7) == 0;
    case kRequestForward:
    case kRequestReply:
    case kRequestNewMail:
    case kRequestDelete:
    case kRequestFilters:
    case kRequestReadState:
    case kRequestCombined: return true;
    default: LogWrite(kLogWarning, Text(57366)); return false;
    }
}

void CMAPIRedirect::ParseValuesIntoStringList(const std::string& separator, const std::string& text,
                                              std::vector<std::string>& list) {
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        const std::string part =
            Trimmed(text.substr(start, at == std::string::npos ? std::string::npos : at - start), " ");
        if (!part.empty()) list.push_back(part);
        if (at == std::string::npos) break;
        start = at + separator.size();
    }
}

void CMAPIRedirect::ParseValuesIntoXValues(const std::string& line, const std::string& value, RequestData& request) {
    if (line.find("X-CORVID-ENTID: ") != std::string::npos) {
        request.entries.push_back(value);
    } else if (request.code == kRequestCombined) {
        (value.find(':') != std::string::npos ? request.entries : request.entries2).push_back(value);
    } else {
        request.entryId = decodeEntry(value);
    }
}

void CMAPIRedirect::ParseBodyIntoNewMsgDataStruct(const std::string& body, RequestData& request) {
    const size_t split = body.find("\r\n\r\n");
    const std::string head = split == std::string::npos ? body : body.substr(0, split);
    request.text = split == std::string::npos ? std::string() : body.substr(split + 4);
    for (const std::string& line : splitLines(head)) {
        if (line.empty()) continue;
        std::string value = line;
        if (line[0] != 'S') {
            // A value in angle brackets without its closing '>' runs to the end of the line.
            size_t open = line.find(": <");
            size_t from = open != std::string::npos ? open + 3 : std::string::npos;
            if (from == std::string::npos && (open = line.find('<')) != std::string::npos) from = open + 1;
            if (from != std::string::npos) {
                const size_t close = line.rfind('>');
                value =
                    close != std::string::npos && close >= from ? line.substr(from, close - from) : line.substr(from);
            }
        }
        switch (line[0]) {
        case 'T': ParseValuesIntoStringList(";", value, request.to); break;
        case 'C': ParseValuesIntoStringList(";", value, request.cc); break;
        case 'B': ParseValuesIntoStringList(";", value, request.bcc); break;
        case 'S': request.subject = line.size() > 9 ? line.substr(9) : std::string(); break;
        case 'X':
        case '<': ParseValuesIntoXValues(line, value, request); break;
        default: break;
        }
    }
}

void CMAPIRedirect::ProcessFilters(const std::string& body) {
    if (!Road().forwardingOn || !config_) return;
    if (body == "No filters present") {
        if (config_->SetFilters(0, nullptr) == 0)
            LogWrite(kLogInformation, Text(57398));
        else
            LogWrite(kLogWarning, Text(57399));
        return;
    }
    MessageFilter filters[11];
    MessageFilter* pointers[11];
    std::vector<std::string> lines;
    for (const std::string& raw : splitLines(body)) {
        const std::string line = Trimmed(raw);
        if (!line.empty()) lines.push_back(line);
    }
    std::string names;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t at; (at = lines[i].find(';', start)) != std::string::npos; start = at + 1)
            fields.push_back(lines[i].substr(start, at - start));
        fields.push_back(lines[i].substr(start));
        // More lines than the eleven filters the configuration keeps is refused like a
        // malformed request: no filter changes.
        if (fields.size() != 5 || i >= 11) {
            LogWrite(kLogWarning, Format(57445, lines[i]));
            return;
        }
        MessageFilter& f = filters[i];
        f.inUse = 1;
        pointers[i] = &f;
        if (fields[0].empty()) continue;
        copyField(f.name, sizeof f.name, fields[0]);  // names and values are cut to 31 characters
        f.kind = std::atoi(fields[1].c_str());
        const int op = std::atoi(fields[2].c_str());
        if (f.kind >= 4)
            f.numericOperator = op;
        else
            f.textOperator = op;
        copyField(f.value, sizeof f.value, fields[3]);
        f.flag = !fields[4].empty() && fields[4][0] == '1' ? 1 : 0;
        if (!names.empty()) names += ", ";
        names += f.name;
    }
    if (lines.empty()) return;
    if (config_->SetFilters(static_cast<short>(lines.size()), pointers) == 0)
        LogWrite(kLogInformation, Format(57363, names));
    else
        LogWrite(kLogWarning, Format(57362, names));
}

void CMAPIRedirect::DescribeMessages(const EntryId& id, std::vector<std::string>& list) {
    auto m = openMessage(id);
    std::vector<SPropValue> v;
    std::string sender, subject;
    if (m && SUCCEEDED(m->GetProps({PR_SENDER_NAME, PR_SUBJECT}, 0, v))) {
        if (!v[0].isError()) sender = v[0].str;
        if (!v[1].isError()) subject = v[1].str;
    }
    list.push_back(Format(57415, sender, subject));
}

void CMAPIRedirect::DeleteMessages(const NOTIFICATION& notification, RequestData& request) {
    if (notesMode_) return deleteNotes(request, false);
    auto trash = openStoreFolder(PR_IPM_WASTEBASKET_ENTRYID, MAPI_MODIFY);
    auto parent = openFolder(notification.parentId, MAPI_MODIFY | MAPI_DEFERRED_ERRORS);
    if (!trash || !parent) return;
    ENTRYLIST ids;
    std::vector<std::string> descriptions;
    for (const std::string& entry : request.entries) {
        EntryId id = decodeEntry(entry);
        if (id.empty()) continue;
        DescribeMessages(id, descriptions);
        ids.push_back(std::move(id));
    }
    if (ids.empty()) return;
    const bool moved = SUCCEEDED(parent->CopyMessages(ids, trash.get(), MESSAGE_MOVE));
    for (const std::string& d : descriptions) LogWrite(kLogInformation, Text(moved ? 57416 : 57417) + d);
}

void CMAPIRedirect::SetMessageReadFlag(const EntryId& id, bool read) {
    std::vector<std::string> description;
    DescribeMessages(id, description);
    auto m = openMessage(id);
    const bool ok = m && SUCCEEDED(m->SetReadFlag(read ? 0 : CLEAR_READ_FLAG));
    for (const std::string& d : description) LogWrite(kLogInformation, Text(ok ? 57468 : 57469) + d);
}

void CMAPIRedirect::ChangeMessageState(const NOTIFICATION& notification, RequestData& request) {
    if (notesMode_) return deleteNotes(request, true);
    if (!openFolder(notification.parentId, MAPI_MODIFY | MAPI_DEFERRED_ERRORS)) return;
    for (const std::string& entry : request.entries) {
        if (entry.size() < 3) continue;
        const EntryId id = decodeEntry(entry.substr(2));
        if (!id.empty()) SetMessageReadFlag(id, entry[0] == '1');
    }
}

void CMAPIRedirect::executeRequest(const NOTIFICATION& n, MessageData& record, RequestData& request) {
    switch (record.requestCode) {
    case kRequestForward:
    case kRequestReply:
    case kRequestNewMail:
        ParseBodyIntoNewMsgDataStruct(record.body, request);
        DeleteMessage(n);
        break;
    case kRequestDelete:
        ParseBodyIntoNewMsgDataStruct(record.body, request);
        DeleteMessages(n, request);
        DeleteMessage(n);
        break;
    case kRequestFilters:
        ProcessFilters(record.body);
        DeleteMessage(n);
        break;
    case kRequestPause:
        Road().forwardingOn = false;
        DeleteMessage(n);
        break;
    case kRequestStart:
        Road().forwardingOn = true;
        DeleteMessage(n);
        break;
    case kRequestShutDown:
        DeleteMessage(n);
        if (frame_) frame_->PostQuit(0);
        Road().stopRequested = true;  // ends the batch; the frame closes
        break;
    case kRequestReadState:
        ParseBodyIntoNewMsgDataStruct(record.body, request);
        ChangeMessageState(n, request);
        DeleteMessage(n);
        break;
    case kRequestCombined:
        ParseBodyIntoNewMsgDataStruct(record.body, request);
        if (!request.entries.empty()) ChangeMessageState(n, request);
        request.entries = request.entries2;
        if (!request.entries.empty()) DeleteMessages(n, request);
        request.entries.clear();
        request.entries2.clear();
        DeleteMessage(n);
        break;
    default: break;
    }
}

}  // namespace tess::relay
