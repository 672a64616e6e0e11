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
            if (!data.hasFlags) return true;  // a MODSEQ alone changes nothing kept
            if (!data.hasUid) {
                unplaced = true;
                return true;
            }
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
        }
        return true;
    }
};

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

bool CImapConnection::ListWithState(const std::string& folder, const std::string& quoted, const ListingState* kept) {
    const bool resync = kept && kept->uidValidity != 0 && kept->highestModseq != 0;
    std::vector<std::string> commands;
    const bool enable = !qresyncEnabled_;
    if (enable) commands.push_back("ENABLE QRESYNC");
    const std::size_t selectAt = commands.size();
    commands.push_back(
        "SELECT " + quoted +
        (resync ? " (QRESYNC (" + std::to_string(kept->uidValidity) + " " + std::to_string(kept->highestModseq) + "))"
                : ""));
    const bool esearch = imap::HasCapability(capabilities_, "ESEARCH");
    std::string search = SearchCommand();
    if (esearch) search.insert(std::string("UID SEARCH").size(), " RETURN (ALL)");
    const std::size_t searchAt = commands.size();
    commands.push_back(search);
    // Without a state to bring up to date, the whole folder's flags make the next one.
    constexpr const char* kAllFlags = "UID FETCH 1:* (UID FLAGS)";
    if (!resync) commands.push_back(kAllFlags);

    ListingState state;
    if (resync) state.messages = kept->messages;
    Changes changes{state};
    std::vector<std::vector<ParsedLine>> replies;
    std::vector<bool> ok;
    Pipeline(commands, replies, ok, [&changes](ParsedLine& line) { return changes.Take(line); });
    if (enable) {
        std::vector<std::string> enabled;
        qresyncEnabled_ = ok[0] && ReadEnabled(replies[0], enabled).Ok() && imap::HasCapability(enabled, "QRESYNC");
        if (!qresyncEnabled_) qresyncRefused_ = true;
    }
    if (!ok[selectAt]) {
        selectedFolder_.clear();
        ForgetPrefetched();
        if (qresyncEnabled_ && !resync) return true;  // the folder itself was refused
        // The server would not enable QRESYNC or take the selection with it.
        Log("IMAP: QRESYNC not usable here; folders are listed without it.");
        qresyncRefused_ = true;
        return false;
    }
    Selected(folder, replies[selectAt]);
    uint32_t exists = 0;
    if (LastExists(replies, exists)) existsCount_ = static_cast<int>(exists);
    uint64_t modseq = 0;
    if (!ReadCodeNumber(replies[selectAt], "HIGHESTMODSEQ", modseq, INT64_MAX).Ok()) modseq = 0;
    if (!ok[searchAt]) return true;  // SearchMessages asks again, its own way
    const std::size_t limit = existsCount_ > 0 ? static_cast<std::size_t>(existsCount_) : 0;
    std::vector<uint32_t> uids;
    if (!(esearch ? ReadEsearchAll(replies[searchAt], uids, limit) : ReadSearch(replies[searchAt], uids, limit)).Ok())
        return true;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());

    // The state is the folder's only when every message the server counts is in it and
    // every one the search found.
    auto whole = [&]() {
        return !changes.unplaced && state.messages.size() == static_cast<std::size_t>(existsCount_) &&
               std::all_of(uids.begin(), uids.end(), [&](uint32_t uid) { return state.messages.count(uid) != 0; });
    };
    bool complete = resync ? uidValidity_ == kept->uidValidity && whole() : ok[searchAt + 1] && whole();
    if (resync && !complete) {
        Log("IMAP: The kept listing of '" + folder + "' does not match the server's (" +
            std::to_string(state.messages.size()) + " messages where it counts " + std::to_string(existsCount_) +
            "); its flags are fetched anew.");
        state.messages.clear();
        changes.unplaced = false;
        std::vector<std::vector<ParsedLine>> again;
        std::vector<bool> fetched;
        const bool all =
            Pipeline({kAllFlags}, again, fetched, [&changes](ParsedLine& line) { return changes.Take(line); });
        if (LastExists(again, exists)) existsCount_ = static_cast<int>(exists);
        complete = all && fetched[0] && whole();
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
