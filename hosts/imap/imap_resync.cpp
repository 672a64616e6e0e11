// Listing a folder with QRESYNC: the kept state of the last complete listing brought up
// to date by what the server says changed since, or, when that cannot be trusted, the
// flags of every message fetched anew.
#include <algorithm>

#include "hosts/imap/imap_connection.h"

namespace imap {
namespace {

// Applies FETCH and VANISHED lines to a folder's messages as they arrive, in the order
// the server sent them.
struct Changes {
    ListingState& state;
    bool unplaced = false;  // flags of a message without its UID: the state cannot follow

    bool Take(ParsedLine& line) {
        FetchData data;
        if (ReadFetch(line, data).Ok()) {
            if (!data.hasFlags && !data.hasInternalDate) return true;  // a MODSEQ alone changes nothing kept
            if (!data.hasUid) {
                unplaced = true;
                return true;
            }
            uint32_t day = 0;
            if (data.hasInternalDate && ImapDay(data.internalDate, day) && day != 0) state.days[data.uid] = day;
            if (!data.hasFlags) return true;
            uint8_t bits = 0;
            if (data.HasFlag("\\Seen")) bits |= ListingState::kSeen;
            if (data.HasFlag("\\Deleted")) bits |= ListingState::kDeleted;
            state.messages[data.uid] = bits;
            return true;
        }
        bool earlier = false;
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        if (!ReadVanished(line, earlier, ranges).Ok()) return false;
        // A range may span far more UIDs than the folder ever held: only kept ones are walked.
        for (const auto& [first, last] : ranges) {
            auto from = state.messages.lower_bound(first);
            auto to = last == UINT32_MAX ? state.messages.end() : state.messages.lower_bound(last + 1);
            state.messages.erase(from, to);
            auto dayFrom = state.days.lower_bound(first);
            auto dayTo = last == UINT32_MAX ? state.days.end() : state.days.lower_bound(last + 1);
            state.days.erase(dayFrom, dayTo);
        }
        return true;
    }
};

// Every message's flags, with the date that places it in or out of the date window.
constexpr const char* kAllFlags = "UID FETCH 1:* (UID FLAGS INTERNALDATE)";

// The last EXISTS count among replies (a message may arrive while they are answered).
bool LastExists(const std::vector<std::vector<ParsedLine>>& replies, uint32_t& count) {
    bool found = false;
    for (const auto& reply : replies) {
        for (const auto& line : reply) {
            uint64_t n = 0;
            if (!line.result.Ok() || line.kind != LineKind::kUntagged || line.args.size() != 2 ||
                !line.args[1].IsAtom("EXISTS") || !line.args[0].AsNumber(n, INT32_MAX))
                continue;
            count = static_cast<uint32_t>(n);
            found = true;
        }
    }
    return found;
}

}  // namespace

std::optional<ListingState> CImapConnection::TakeListingState() {
    std::optional<ListingState> state = std::move(listingState_);
    listingState_.reset();
    return state;
}

CImapConnection::ResyncPlan CImapConnection::PlanResync(const std::string& quoted, const ListingState* kept,
                                                        bool esearch) const {
    ResyncPlan plan;
    plan.resync = kept && kept->uidValidity != 0 && kept->highestModseq != 0;
    plan.enable = !qresyncEnabled_;
    plan.esearch = esearch;
    // The window is worked out from the flags and days: with the day of every kept message
    // known, only the messages that came since need their dates; a state kept without
    // them (an older file) has every date fetched once.
    plan.localWindow = WindowDay(plan.sinceDay);
    if (plan.enable) plan.commands.push_back("ENABLE QRESYNC");
    plan.selectAt = plan.commands.size();
    plan.commands.push_back("SELECT " + quoted +
                            (plan.resync ? " (QRESYNC (" + std::to_string(kept->uidValidity) + " " +
                                               std::to_string(kept->highestModseq) + "))"
                                         : ""));
    plan.searchAt = plan.commands.size();
    if (plan.localWindow && plan.resync) {
        // "n:*" past the last UID still names the last message: its date is known already.
        const uint32_t next = kept->messages.empty() || !kept->AllDated() ? 1 : kept->messages.rbegin()->first + 1;
        plan.commands.push_back("UID FETCH " + std::to_string(next == 0 ? UINT32_MAX : next) + ":* (UID INTERNALDATE)");
    } else if (!plan.localWindow) {
        std::string search = SearchCommand();
        if (esearch) search.insert(std::string("UID SEARCH").size(), " RETURN (ALL)");
        plan.commands.push_back(search);
    }
    // Without a state to bring up to date, the whole folder's flags make the next one.
    plan.flagsAt = plan.commands.size();
    if (!plan.resync) plan.commands.push_back(kAllFlags);
    if (plan.resync) {
        plan.state.messages = kept->messages;
        plan.state.days = kept->days;
    }
    return plan;
}

bool CImapConnection::WindowDay(uint32_t& day) const {
    day = 0;
    return settings_.sinceDate.empty() || ImapDay(settings_.sinceDate, day);
}

std::vector<uint32_t> CImapConnection::Window(const ListingState& state, uint32_t sinceDay) const {
    // As the search would: NOT DELETED, SINCE the day, NOT SEEN when only unread mail is
    // synchronised.
    std::vector<uint32_t> uids;
    uids.reserve(state.messages.size());
    auto dated = state.days.begin();
    for (const auto& [uid, flags] : state.messages) {
        while (dated != state.days.end() && dated->first < uid) ++dated;
        const uint32_t day = dated != state.days.end() && dated->first == uid ? dated->second : 0;
        if ((flags & ListingState::kDeleted) || day < sinceDay) continue;
        if (settings_.unreadOnly && (flags & ListingState::kSeen)) continue;
        uids.push_back(uid);
    }
    return uids;
}

int CImapConnection::LoginWithListing(const std::string& folder, const ListingState& kept) {
    std::string quoted;
    if (!Quote(folder, quoted)) return SendLogin(true);
    // Whether the server has ESEARCH is not known before the LOGIN's answer.
    ResyncPlan plan = PlanResync(quoted, &kept, false);
    Changes changes{plan.state};
    LoginExtra extra{plan.commands, [&changes](ParsedLine& line) { return changes.Take(line); }, {}, {}};
    const int rc = SendLogin(true, &extra);
    if (rc == kImapOk && FinishResync(folder, &kept, plan, extra.replies, extra.ok, changes.unplaced))
        listedAtLogin_ = folder;
    return rc;
}

bool CImapConnection::ListWithState(const std::string& folder, const std::string& quoted, const ListingState* kept) {
    ResyncPlan plan = PlanResync(quoted, kept, imap::HasCapability(capabilities_, "ESEARCH"));
    Changes changes{plan.state};
    std::vector<std::vector<ParsedLine>> replies;
    std::vector<bool> ok;
    Pipeline(plan.commands, replies, ok, [&changes](ParsedLine& line) { return changes.Take(line); });
    return FinishResync(folder, kept, plan, replies, ok, changes.unplaced);
}

bool CImapConnection::FinishResync(const std::string& folder, const ListingState* kept, ResyncPlan& plan,
                                   const std::vector<std::vector<ParsedLine>>& replies, const std::vector<bool>& ok,
                                   bool unplaced) {
    ListingState& state = plan.state;
    if (plan.enable) {
        std::vector<std::string> enabled;
        qresyncEnabled_ = ok[0] && ReadEnabled(replies[0], enabled).Ok() && imap::HasCapability(enabled, "QRESYNC");
        if (!qresyncEnabled_) qresyncRefused_ = true;
    }
    if (!ok[plan.selectAt]) {
        selectedFolder_.clear();
        ForgetPrefetched();
        if (qresyncEnabled_ && !plan.resync) return true;  // the folder itself was refused
        // The server would not enable QRESYNC or take the selection with it.
        Log("IMAP: QRESYNC not usable here; folders are listed without it.");
        qresyncRefused_ = true;
        return false;
    }
    Selected(folder, replies[plan.selectAt]);
    uint32_t exists = 0;
    if (LastExists(replies, exists)) existsCount_ = static_cast<int>(exists);
    uint64_t modseq = 0;
    if (!ReadCodeNumber(replies[plan.selectAt], "HIGHESTMODSEQ", modseq, INT64_MAX).Ok()) modseq = 0;
    if (!ok[plan.searchAt]) return true;  // SearchMessages asks again, its own way
    const std::size_t limit = existsCount_ > 0 ? static_cast<std::size_t>(existsCount_) : 0;
    std::vector<uint32_t> uids;
    auto search = [&](const std::vector<ParsedLine>& found) {
        // ESEARCH where it was asked for, else SEARCH (as behind a LOGIN, capabilities unknown).
        ParseResult read = ReadEsearchAll(found, uids, limit);
        if (read.error == ParseError::kNotFound) read = ReadSearch(found, uids, limit);
        if (!read.Ok()) return false;
        std::sort(uids.begin(), uids.end());
        uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
        return true;
    };
    if (!plan.localWindow && !search(replies[plan.searchAt])) return true;

    // The state is the folder's only when every message the server counts is in it and
    // every one the search found.
    auto whole = [&]() {
        return !unplaced && state.messages.size() == static_cast<std::size_t>(existsCount_) &&
               std::all_of(uids.begin(), uids.end(), [&](uint32_t uid) { return state.messages.count(uid) != 0; });
    };
    bool complete = plan.resync ? uidValidity_ == kept->uidValidity && whole() : ok[plan.flagsAt] && whole();
    if (plan.resync && !complete) {
        Log("IMAP: The kept listing of '" + folder + "' does not match the server's (" +
            std::to_string(state.messages.size()) + " messages where it counts " + std::to_string(existsCount_) +
            "); its flags are fetched anew.");
        state.messages.clear();
        state.days.clear();
        Changes changes{state};
        std::vector<std::vector<ParsedLine>> again;
        std::vector<bool> fetched;
        const bool all =
            Pipeline({kAllFlags}, again, fetched, [&changes](ParsedLine& line) { return changes.Take(line); });
        if (LastExists(again, exists)) existsCount_ = static_cast<int>(exists);
        unplaced = changes.unplaced;
        complete = all && fetched[0] && whole();
    }
    if (plan.localWindow) {
        // The window is worked out only from a state that is the folder's whole, every date
        // known; otherwise the server searches, a round trip more.
        if (complete && state.AllDated()) {
            uids = Window(state, plan.sinceDay);
        } else {
            std::vector<std::vector<ParsedLine>> found;
            std::vector<bool> searched;
            if (!Pipeline({SearchCommand()}, found, searched) || !searched[0] || !search(found[0])) return true;
            complete = complete && whole();
        }
    }
    prefetchFolder_ = selectedFolder_;
    for (uint32_t uid : uids) {
        auto it = state.messages.find(uid);
        if (it == state.messages.end()) continue;  // asked for on its own later
        Prefetched& p = prefetched_[uid];
        p.hasSeen = true;
        p.seen = (it->second & ListingState::kSeen) ? 1 : 0;
    }
    listed_ = std::move(uids);
    if (complete && qresyncEnabled_ && modseq != 0 && uidValidity_ != 0) {
        state.uidValidity = uidValidity_;
        state.highestModseq = modseq;
        listingState_ = std::move(state);
    }
    return true;
}

}  // namespace imap
