#include "platform/notes/mail_router.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <random>

#include "platform/notes/client_state.h"
#include "platform/notes/mail_items.h"

namespace platform::notes {

namespace {

std::string textOf(const NoteData& note, const char* name) {
    const Item* item = note.find(name);
    return item ? itemText(*item, ", ") : std::string();
}

std::vector<std::string> listOf(const NoteData& note, const char* name) {
    const Item* item = note.find(name);
    if (!item) return {};
    if (item->type == TYPE_TEXT_LIST) return decodeTextList(item->value);
    return item->value.empty() ? std::vector<std::string>{} : std::vector<std::string>{item->value};
}

// "Ann Lee <alee@tess.test>" gives "alee@tess.test"; anything else stays as it is.
std::string bareAddress(const std::string& text) {
    const size_t open = text.find('<');
    const size_t close = text.find('>', open == std::string::npos ? 0 : open);
    std::string out =
        open != std::string::npos && close != std::string::npos ? text.substr(open + 1, close - open - 1) : text;
    while (!out.empty() && out.front() == ' ') out.erase(0, 1);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The Internet form of a name: the person's address from the address book when the name
// is a local person's, else the name itself.
std::string internetForm(NoteDb& names, const std::string& name) {
    const std::string bare = bareAddress(name);
    const auto people = names.findPeople(bare);
    if (!people.empty() && !people.front().internetAddress.empty()) return people.front().internetAddress;
    return bare;
}

std::string joinInternet(NoteDb& names, const std::vector<std::string>& list) {
    std::string out;
    for (const auto& n : list) out += (out.empty() ? "" : ", ") + internetForm(names, n);
    return out;
}

std::string base64Lines(const std::string& data) {
    std::string out;
    for (size_t at = 0; at < data.size(); at += 57) {
        const size_t n = std::min<size_t>(57, data.size() - at);
        unsigned char line[80];
        const int len =
            EVP_EncodeBlock(line, reinterpret_cast<const unsigned char*>(data.data() + at), static_cast<int>(n));
        out.append(reinterpret_cast<const char*>(line), static_cast<size_t>(len));
        out += "\r\n";
    }
    return out;
}

// Lines end in CR LF; a line holding only "." is left as it is (libcurl stuffs dots).
std::string crlf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string rfcDate(const NoteData& note) {
    const Item* posted = note.find("PostedDate");
    TIMEDATE td = nowTimeDate();
    if (posted && posted->value.size() == sizeof td) std::memcpy(&td, posted->value.data(), sizeof td);
    const time_t secs = static_cast<time_t>(toTicks(td) / 100);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return buf;
}

std::string buildMessage(NoteDb& names, const NoteData& note, const std::string& from) {
    std::string head = "From: " + from + "\r\nTo: " + joinInternet(names, listOf(note, "SendTo")) + "\r\n";
    if (const auto cc = listOf(note, "CopyTo"); !cc.empty()) head += "Cc: " + joinInternet(names, cc) + "\r\n";
    head += "Subject: " + textOf(note, "Subject") + "\r\nDate: " + rfcDate(note) + "\r\n";
    head += "Message-ID: <" + std::to_string(note.oid.Note[1]) + "." + std::to_string(note.oid.Note[0]) +
            "@notes.tess.test>\r\nMIME-Version: 1.0\r\n";
    std::string body = crlf(textOf(note, "Body"));
    if (!body.empty() && body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") != 0) body += "\r\n";
    const auto files = attachments(note);
    if (files.empty())
        return head + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + body;
    const std::string boundary = "=_notes_" + std::to_string(std::random_device{}());
    std::string out = head + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           body;
    for (const Item* file : files) {
        std::string name, data;
        if (!readFileObject(file->value, name, data)) continue;
        out += "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
               "\"\r\nContent-Disposition: attachment; filename=\"" + name +
               "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Lines(data);
    }
    return out + "--" + boundary + "--\r\n";
}

struct Upload {
    const std::string* data;
    size_t offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* u = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, u->data->size() - u->offset);
    std::memcpy(buffer, u->data->data() + u->offset, n);
    u->offset += n;
    return n;
}

// One SMTP transaction for all recipients; empty on success, else the reason.
std::string smtpSend(const IniMap& server, const std::string& from, const std::vector<std::string>& recipients,
                     const std::string& message) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto get = [&](const char* key) {
        auto it = server.find(key);
        return it == server.end() ? std::string() : it->second;
    };
    const std::string url = get("SMTPRelay");
    if (url.empty()) return "no SMTP relay is set in server.ini";
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return "out of memory";
    CURL* c = curl.get();
    curl_slist* rcpts = nullptr;
    for (const auto& r : recipients) rcpts = curl_slist_append(rcpts, ("<" + r + ">").c_str());
    const std::string fromArg = "<" + from + ">", user = get("SMTPUser"), password = get("SMTPPassword");
    Upload upload{&message};
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, fromArg.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpts);
    if (!user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 300L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    const CURLcode rc = curl_easy_perform(c);
    curl_slist_free_all(rcpts);
    if (rc == CURLE_OK) return {};
    return errbuf[0] ? errbuf : curl_easy_strerror(rc);
}

}  // namespace

NOTEID deliverToMailFile(const std::filesystem::path& dataDir, const Person& person, NoteData note,
                         const std::string& folder, bool unread) {
    NoteDb db(resolveDbPath(person.mailFile, dataDir), false);
    note.id = NOTEID_ADD;
    note.oid = ORIGINATORID{};
    note.noteClass = NOTE_CLASS_DOCUMENT;
    note.remove("Recipients");
    const TIMEDATE now = nowTimeDate();
    note.set("DeliveredDate", TYPE_TIME, std::string(reinterpret_cast<const char*>(&now), sizeof now));
    db.store(note);
    if (auto f = db.findDesign(folder, NOTE_CLASS_VIEW)) db.folderAdd(*f, {note.id});
    const std::string owner = db.meta("owner");
    if (!owner.empty()) db.setUnread(owner, note.id, unread);
    return note.id;
}

RouteResult routeMailBox(const std::filesystem::path& dataDir) {
    RouteResult result;
    try {
        NoteDb box(dataDir / "mail.box", false);
        NoteDb names(dataDir / "names.nsf", false);
        const IniMap server = readIni(dataDir / "server.ini");
        for (NOTEID id : box.documents()) {
            auto note = box.load(id);
            if (!note) continue;
            std::vector<std::string> recipients = listOf(*note, "Recipients");
            if (recipients.empty())
                for (const char* item : {"SendTo", "CopyTo", "BlindCopyTo"})
                    for (auto& r : listOf(*note, item)) recipients.push_back(r);
            std::string from = textOf(*note, "From");
            if (!from.empty() && from[0] == '+') from.erase(0, 1);  // a sender given as typed
            std::vector<Person> local;
            std::vector<std::string> internet, unknown;
            for (const auto& r : recipients) {
                const std::string bare = bareAddress(r);
                if (bare.empty()) continue;
                const auto people = names.findPeople(bare);
                if (!people.empty()) {
                    bool seen = false;
                    for (const auto& p : local) seen |= p.fullName == people.front().fullName;
                    if (!seen) local.push_back(people.front());
                } else if (bare.find('@') != std::string::npos) {
                    internet.push_back(bare);
                } else {
                    unknown.push_back(r);
                }
            }
            // The relay first: a note it does not take stays whole for the next pass, so
            // no local recipient gets it twice.
            if (!internet.empty()) {
                const std::string sender = internetForm(names, from);
                const std::string error = smtpSend(server, sender, internet, buildMessage(names, *note, sender));
                if (!error.empty()) {
                    ++result.failed;
                    result.error = error;
                    continue;
                }
                ++result.sent;
            }
            for (const auto& p : local) {
                deliverToMailFile(dataDir, p, *note, "($Inbox)", true);
                ++result.delivered;
            }
            if (!unknown.empty()) {
                ++result.failed;
                const auto senders = names.findPeople(bareAddress(from));
                if (!senders.empty()) {
                    NoteData report;
                    std::string who;
                    for (const auto& u : unknown) who += (who.empty() ? "" : ", ") + u;
                    report.set("Form", TYPE_TEXT, "NonDelivery Report");
                    report.set("From", TYPE_TEXT, "Mail Router");
                    report.set("SendTo", TYPE_TEXT_LIST, encodeTextList(unknown));
                    report.set("Subject", TYPE_TEXT, textOf(*note, "Subject"));
                    report.set("FailureReason", TYPE_TEXT, "No such user: " + who);
                    deliverToMailFile(dataDir, senders.front(), report, "($Inbox)", true);
                }
            }
            box.remove(id, false);
        }
    } catch (const std::exception& e) {
        result.error = e.what();
        ++result.failed;
    }
    return result;
}

}  // namespace platform::notes
