#include "platform/mapi/mime_codec.h"

#include <gmime/gmime.h>

#include <ctime>
#include <memory>
#include <mutex>

#include "platform/mapi/text_util.h"

namespace platform::mapi {

namespace {

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <class T>
struct GUnref {
    void operator()(T* p) const {
        if (p) g_object_unref(p);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

struct GFreeChars {
    void operator()(char* p) const { g_free(p); }
};
using GChars = std::unique_ptr<char, GFreeChars>;

std::string convert(const std::string& text, const char* to, const char* from) {
    if (text.empty()) return {};
    gsize written = 0;
    char* out = g_convert_with_fallback(text.data(), static_cast<gssize>(text.size()), to, from, "?", nullptr, &written,
                                        nullptr);
    if (!out) return text;
    std::string s(out, written);
    g_free(out);
    return s;
}

std::string str(const char* s) { return s ? std::string(s) : std::string(); }

// Message bodies in the store end their lines with CR LF, whatever the file used.
std::string crlfLines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

void addRecipients(InternetAddressList* list, ULONG type, StoredMessage& out) {
    if (!list) return;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* a = internet_address_list_get_address(list, i);
        if (!INTERNET_ADDRESS_IS_MAILBOX(a)) {
            // A group: its members count as recipients of the same kind.
            addRecipients(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), type, out);
            continue;
        }
        const std::string addr = str(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
        const std::string name = ansiFromUtf8(str(internet_address_get_name(a)));
        PropMap r;
        r[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, name.empty() ? addr : name);
        r[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, addr);
        r[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
        r[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, static_cast<int32_t>(type));
        out.recipients.push_back(std::move(r));
    }
}

std::string partBytes(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return {};
    GPtr<GMimeStream> mem(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, mem.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

struct Walk {
    StoredMessage* out = nullptr;
    bool haveText = false, haveHtml = false;
    std::string reportText;  // delivery-status of a report
};

void visit(GMimeObject*, GMimeObject* part, gpointer data) {
    auto* w = static_cast<Walk*>(data);
    if (GMIME_IS_MESSAGE_PART(part)) return;
    if (!GMIME_IS_PART(part)) return;
    GMimePart* p = GMIME_PART(part);
    GMimeContentType* ct = g_mime_object_get_content_type(part);
    GChars mimeType(g_mime_content_type_get_mime_type(ct));  // allocated for us
    const std::string mime = lower(str(mimeType.get()));
    const char* filename = g_mime_part_get_filename(p);
    const bool attachment = filename || g_mime_part_is_attachment(p);
    if (!attachment && GMIME_IS_TEXT_PART(part) && mime == "text/plain" && !w->haveText) {
        GChars text(g_mime_text_part_get_text(GMIME_TEXT_PART(part)));
        w->out->props[PR_BODY] = SPropValue::String(PR_BODY, crlfLines(ansiFromUtf8(str(text.get()))));
        w->haveText = true;
        return;
    }
    if (!attachment && GMIME_IS_TEXT_PART(part) && mime == "text/html" && !w->haveHtml) {
        GChars text(g_mime_text_part_get_text(GMIME_TEXT_PART(part)));
        w->out->props[PR_BODY_HTML] = SPropValue::String(PR_BODY_HTML, crlfLines(ansiFromUtf8(str(text.get()))));
        w->haveHtml = true;
        return;
    }
    if (mime == "message/delivery-status") {
        w->reportText = partBytes(p);
        return;
    }
    PropMap a;
    const std::string name = ansiFromUtf8(filename ? filename : "attachment");
    const std::string bytes = partBytes(p);
    a[PR_ATTACH_METHOD] = SPropValue::Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
    a[PR_ATTACH_LONG_FILENAME] = SPropValue::String(PR_ATTACH_LONG_FILENAME, name);
    a[PR_ATTACH_FILENAME] = SPropValue::String(PR_ATTACH_FILENAME, name);
    a[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, name);
    a[PR_ATTACH_MIME_TAG] = SPropValue::String(PR_ATTACH_MIME_TAG, mime);
    a[PR_RENDERING_POSITION] = SPropValue::Long(PR_RENDERING_POSITION, -1);
    a[PR_ATTACH_DATA_BIN] = SPropValue::Binary(PR_ATTACH_DATA_BIN, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    w->out->attachments.push_back(std::move(a));
}

// The failed recipients of a delivery-status report: "Final-Recipient" with the
// "Diagnostic-Code" (or "Status") that follows it.
void addReportRecipients(const std::string& status, StoredMessage& out) {
    std::string recipient, diagnostic, action;
    auto flush = [&] {
        if (!recipient.empty() && (action.empty() || lower(action) == "failed")) {
            PropMap r;
            r[PR_DISPLAY_NAME] = SPropValue::String(PR_DISPLAY_NAME, recipient);
            r[PR_EMAIL_ADDRESS] = SPropValue::String(PR_EMAIL_ADDRESS, recipient);
            r[PR_ADDRTYPE] = SPropValue::String(PR_ADDRTYPE, "SMTP");
            r[PR_RECIPIENT_TYPE] = SPropValue::Long(PR_RECIPIENT_TYPE, MAPI_TO);
            r[PR_REPORT_TEXT] = SPropValue::String(PR_REPORT_TEXT, diagnostic);
            out.recipients.push_back(std::move(r));
        }
        recipient.clear();
        diagnostic.clear();
        action.clear();
    };
    size_t pos = 0;
    while (pos < status.size()) {
        size_t nl = status.find('\n', pos);
        std::string line = status.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? status.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string field = lower(line.substr(0, colon));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (field == "final-recipient") {
            flush();
            auto semi = value.find(';');
            recipient = semi == std::string::npos ? value : value.substr(semi + 1);
            recipient.erase(0, recipient.find_first_not_of(' '));
        } else if (field == "diagnostic-code") {
            auto semi = value.find(';');
            diagnostic = semi == std::string::npos ? value : value.substr(semi + 1);
            diagnostic.erase(0, diagnostic.find_first_not_of(' '));
        } else if (field == "status" && diagnostic.empty()) {
            diagnostic = value;
        } else if (field == "action") {
            action = value;
        }
    }
    flush();
}

}  // namespace

std::string utf8FromAnsi(const std::string& text) { return convert(text, "UTF-8", "WINDOWS-1252"); }
std::string ansiFromUtf8(const std::string& text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)
               ? convert(text, "WINDOWS-1252", "UTF-8")
               : text;
}

bool parseRfc822(const std::string& bytes, FileTime deliveredAt, StoredMessage& out) {
    initOnce();
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) return false;
    GMimeMessage* m = message.get();
    out.props.clear();
    out.recipients.clear();
    out.attachments.clear();

    out.props[PR_SUBJECT] = SPropValue::String(PR_SUBJECT, ansiFromUtf8(str(g_mime_message_get_subject(m))));
    InternetAddressList* from = g_mime_message_get_from(m);
    if (from && internet_address_list_length(from) > 0) {
        InternetAddress* a = internet_address_list_get_address(from, 0);
        std::string addr =
            INTERNET_ADDRESS_IS_MAILBOX(a) ? str(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a))) : "";
        std::string name = ansiFromUtf8(str(internet_address_get_name(a)));
        if (name.empty()) name = addr;
        for (auto [n, e, t] : {std::tuple{PR_SENDER_NAME, PR_SENDER_EMAIL_ADDRESS, PR_SENDER_ADDRTYPE},
                               std::tuple{PR_SENT_REPRESENTING_NAME, PR_SENT_REPRESENTING_EMAIL_ADDRESS,
                                          PR_SENT_REPRESENTING_ADDRTYPE}}) {
            out.props[n] = SPropValue::String(n, name);
            out.props[e] = SPropValue::String(e, addr);
            out.props[t] = SPropValue::String(t, "SMTP");
        }
    }
    InternetAddressList* replyTo = g_mime_message_get_reply_to(m);
    if (replyTo && internet_address_list_length(replyTo) > 0) {
        GChars text(internet_address_list_to_string(replyTo, nullptr, FALSE));
        out.props[PR_REPLY_RECIPIENT_NAMES] =
            SPropValue::String(PR_REPLY_RECIPIENT_NAMES, ansiFromUtf8(str(text.get())));
    }
    addRecipients(g_mime_message_get_to(m), MAPI_TO, out);
    addRecipients(g_mime_message_get_cc(m), MAPI_CC, out);
    addRecipients(g_mime_message_get_bcc(m), MAPI_BCC, out);
    if (GDateTime* date = g_mime_message_get_date(m))
        out.props[PR_CLIENT_SUBMIT_TIME] =
            SPropValue::Time(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(g_date_time_to_unix(date)));
    out.props[PR_MESSAGE_DELIVERY_TIME] = SPropValue::Time(PR_MESSAGE_DELIVERY_TIME, deliveredAt);
    if (const char* id = g_mime_message_get_message_id(m))
        out.props[PR_INTERNET_MESSAGE_ID] = SPropValue::String(PR_INTERNET_MESSAGE_ID, std::string("<") + id + ">");
    {
        GChars headers(g_mime_object_get_headers(GMIME_OBJECT(m), nullptr));
        out.props[PR_TRANSPORT_MESSAGE_HEADERS] = SPropValue::String(PR_TRANSPORT_MESSAGE_HEADERS, str(headers.get()));
    }
    std::string cls = "IPM.Note";
    if (const char* c = g_mime_object_get_header(GMIME_OBJECT(m), "X-MS-Message-Class")) cls = c;

    Walk w;
    w.out = &out;
    GMimeObject* body = g_mime_message_get_mime_part(m);
    if (body) {
        if (GMIME_IS_MULTIPART(body))
            g_mime_multipart_foreach(GMIME_MULTIPART(body), visit, &w);
        else
            visit(nullptr, body, &w);
        GMimeContentType* ct = g_mime_object_get_content_type(body);
        const char* reportType = g_mime_content_type_get_parameter(ct, "report-type");
        if (g_mime_content_type_is_type(ct, "multipart", "report") && reportType &&
            lower(reportType) == "delivery-status") {
            // A real MTA's bounce: the report's failed recipients replace the header ones.
            cls = "REPORT.IPM.Note.NDR";
            out.recipients.clear();
            addReportRecipients(w.reportText, out);
        }
    }
    out.props[PR_MESSAGE_CLASS] = SPropValue::String(PR_MESSAGE_CLASS, cls);
    return true;
}

std::string buildRfc822(const StoredMessage& msg, bool withBcc, bool crlf) {
    initOnce();
    auto text = [&](ULONG tag) {
        auto it = msg.props.find(tag);
        return it == msg.props.end() || it->second.isError() ? std::string() : it->second.str;
    };
    GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeMessage* m = message.get();
    std::string fromAddr = text(PR_SENT_REPRESENTING_EMAIL_ADDRESS), fromName = text(PR_SENT_REPRESENTING_NAME);
    if (fromAddr.empty()) {
        fromAddr = text(PR_SENDER_EMAIL_ADDRESS);
        fromName = text(PR_SENDER_NAME);
    }
    if (!fromAddr.empty())
        g_mime_message_add_mailbox(m, GMIME_ADDRESS_TYPE_FROM,
                                   fromName == fromAddr ? nullptr : utf8FromAnsi(fromName).c_str(), fromAddr.c_str());
    for (const auto& r : msg.recipients) {
        auto t = r.find(PR_RECIPIENT_TYPE);
        const ULONG type = t == r.end() ? MAPI_TO : static_cast<ULONG>(t->second.l);
        if (type == MAPI_BCC && !withBcc) continue;
        auto e = r.find(PR_EMAIL_ADDRESS);
        auto n = r.find(PR_DISPLAY_NAME);
        std::string addr = e != r.end() ? e->second.str : (n != r.end() ? n->second.str : "");
        std::string name = n != r.end() ? n->second.str : "";
        if (addr.empty()) continue;
        const GMimeAddressType kind = type == MAPI_CC    ? GMIME_ADDRESS_TYPE_CC
                                      : type == MAPI_BCC ? GMIME_ADDRESS_TYPE_BCC
                                                         : GMIME_ADDRESS_TYPE_TO;
        g_mime_message_add_mailbox(m, kind, name.empty() || name == addr ? nullptr : utf8FromAnsi(name).c_str(),
                                   addr.c_str());
    }
    g_mime_message_set_subject(m, utf8FromAnsi(text(PR_SUBJECT)).c_str(), "utf-8");
    time_t when = std::time(nullptr);
    if (auto it = msg.props.find(PR_CLIENT_SUBMIT_TIME); it != msg.props.end() && !it->second.isError())
        when = unixFromFileTime(it->second.ft);
    GDateTime* date = g_date_time_new_from_unix_utc(when);
    g_mime_message_set_date(m, date);
    g_date_time_unref(date);
    std::string id = text(PR_INTERNET_MESSAGE_ID);
    if (id.size() > 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    if (id.empty()) {
        GChars generated(g_mime_utils_generate_message_id("tessaline.local"));
        id = str(generated.get());
    }
    g_mime_message_set_message_id(m, id.c_str());
    const std::string cls = text(PR_MESSAGE_CLASS);
    if (!cls.empty() && cls != "IPM.Note")
        g_mime_object_set_header(GMIME_OBJECT(m), "X-MS-Message-Class", cls.c_str(), nullptr);

    GPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(body.get(), utf8FromAnsi(text(PR_BODY)).c_str());
    if (msg.attachments.empty()) {
        g_mime_message_set_mime_part(m, GMIME_OBJECT(body.get()));
    } else {
        GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
        for (const auto& a : msg.attachments) {
            auto get = [&](ULONG tag) {
                auto it = a.find(tag);
                return it == a.end() ? std::string() : it->second.str;
            };
            std::string name = get(PR_ATTACH_LONG_FILENAME);
            if (name.empty()) name = get(PR_ATTACH_FILENAME);
            if (name.empty()) name = "attachment";
            std::string type = get(PR_ATTACH_MIME_TAG);
            if (type.find('/') == std::string::npos) type = "application/octet-stream";
            auto slash = type.find('/');
            GPtr<GMimePart> part(
                g_mime_part_new_with_type(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str()));
            g_mime_part_set_filename(part.get(), utf8FromAnsi(name).c_str());
            auto data = a.find(PR_ATTACH_DATA_BIN);
            const std::vector<uint8_t> empty;
            const auto& bytes = data == a.end() ? empty : data->second.bin;
            GPtr<GMimeStream> stream(
                g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            GPtr<GMimeDataWrapper> wrapper(
                g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
            g_mime_part_set_content(part.get(), wrapper.get());
            g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        g_mime_message_set_mime_part(m, GMIME_OBJECT(mixed.get()));
    }
    GMimeFormatOptions* options = g_mime_format_options_clone(g_mime_format_options_get_default());
    g_mime_format_options_set_newline_format(options, crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
    GChars out(g_mime_object_to_string(GMIME_OBJECT(m), options));
    g_mime_format_options_free(options);
    return str(out.get());
}

}  // namespace platform::mapi
