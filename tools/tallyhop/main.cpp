// tallyhop: plays the desktop sync manager on the command line.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/core/module.h"
#include "platform/mapi/mail_client_registration.h"
#include "platform/syncmgr/handheld_store.h"
#include "tools/handheld_app/handheld_commands.h"
#include "tools/tallyhop/account_command.h"
#include "tools/tallyhop/configure_command.h"
#include "tools/tallyhop/handheld_listing.h"
#include "tools/tallyhop/notes_command.h"
#include "tools/tallyhop/relay_command.h"
#include "tools/tallyhop/runtime_setup.h"
#include "tools/tallyhop/sync_command.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: tallyhop init [--user NAME] [--handheld NAME] [--mail-client]\n"
           "       (--mail-client: the MAPI stand-in becomes the desktop's default mail client)\n"
           "       tallyhop sync [--user NAME] [--handheld NAME]\n"
           "       tallyhop action [--user NAME]  (the conduit's sync action dialog; needs a display)\n"
           "       tallyhop configure [--user NAME]  (the configuration window; needs a display)\n"
           "       tallyhop handheld [--handheld NAME]\n"
        << tallyhop::kAccountUsage << tallyhop::kNotesUsage << tallyhop::kRelayUsage << handheld_app::kCommandUsage
        << "The runtime root is $TESSALINE_HOME (default ~/.local/share/tessaline).\n";
}

// Reads "--name value" options into the given slots; false on anything else.
bool parseOptions(const std::vector<std::string>& args, std::vector<std::pair<const char*, std::string*>> known) {
    for (size_t i = 0; i < args.size(); ++i) {
        bool matched = false;
        for (auto& [name, slot] : known) {
            if (args[i] == name && i + 1 < args.size()) {
                *slot = args[++i];
                matched = true;
                break;
            }
        }
        if (!matched) {
            std::cerr << "tallyhop: unexpected argument '" << args[i] << "'\n";
            return false;
        }
    }
    return true;
}

int listCommand(const std::string& handheld) {
    if (!platform::syncmgr::HandheldStore::exists(handheld)) {
        std::cerr << "tallyhop: no handheld '" << handheld << "' (run tallyhop init)\n";
        return 1;
    }
    try {
        platform::syncmgr::HandheldStore store(handheld, false);
        tallyhop::listHandheld(store, std::cout);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "tallyhop: " << e.what() << "\n";
        return 1;
    }
}

// With a display the progress window, message boxes and dialogs are real windows. The
// windowed UI is a module loaded only by the commands that may open one, so that the
// others never map the toolkit.
bool installWindowedUi() {
    auto named = [](const char* variable) {
        const char* value = std::getenv(variable);
        return value && *value;
    };
    if (!named("DISPLAY") && !named("WAYLAND_DISPLAY") && !named("QT_QPA_PLATFORM")) return false;
    // Never freed: the toolkit cannot be unloaded cleanly, not even at exit.
    static const HMODULE windowed = LoadLibraryA("tessui_qt");
    const auto install = reinterpret_cast<int (*)()>(GetProcAddress(windowed, "TessInstallWindowedUi"));
    return install && install() == 1;
}

// A sync of a large mailbox builds tens of megabytes of small objects, and on a virtual
// machine the first touch of each 4 KiB page can cost more than the work done in it. The
// heap is grown once by a large step and that step is asked to be backed by transparent
// huge pages (where the kernel grants them on request), so that filling it takes one
// fault per 2 MiB. The memory is only reserved until touched: a small sync uses no more.
void heapOnHugePages() {
    constexpr size_t kStep = size_t{96} << 20;
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    // Large blocks come from the heap too, not from mappings of their own.
    if (mallopt(M_TOP_PAD, static_cast<int>(kStep)) != 1 || mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1) return;
    void* before = sbrk(0);
    // More than the heap has left, so that it grows (by the step too); kept from being
    // optimised away, as an allocation freed unused may be.
    void* volatile block = malloc(size_t{16} << 20);
    free(block);
    void* after = sbrk(0);
    if (before == reinterpret_cast<void*>(-1) || after == reinterpret_cast<void*>(-1) || after <= before) return;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(before) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = reinterpret_cast<uintptr_t>(after) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "init") {
        tallyhop::InitOptions options;
        options.userName = tallyhop::defaultUserName();
        bool mailClient = false;
        bool notes = false;
        std::string notesPassword = "notes";
        if (auto flag = std::find(args.begin(), args.end(), "--notes"); flag != args.end()) {
            notes = true;
            args.erase(flag);
        }
        if (auto flag = std::find(args.begin(), args.end(), "--mail-client"); flag != args.end()) {
            mailClient = true;
            args.erase(flag);
        }
        if (!parseOptions(args, {{"--user", &options.userName},
                                 {"--handheld", &options.handheld},
                                 {"--notes-password", &notesPassword}}))
            return 2;
        if (int rc = tallyhop::initRuntime(options, std::cout, std::cerr); rc != 0) return rc;
        if (notes) {
            if (int rc = tallyhop::initNotes(options.userName, notesPassword, std::cout, std::cerr); rc != 0) return rc;
        }
        if (mailClient) {
            // What a configured desktop has: a MAPI mail client registered as the default.
            std::error_code ec;
            const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
            if (!platform::mapi::registerDefaultMailClient(ec ? std::string("tallyhop") : self.string())) {
                std::cerr << "tallyhop: cannot register the default mail client\n";
                return 1;
            }
            std::cout << "Default mail client: " << platform::mapi::kMailClientName << " (the MAPI stand-in)\n";
        }
        return 0;
    }
    if (command == "sync") {
        heapOnHugePages();
        installWindowedUi();
        tallyhop::SyncOptions options;
        if (!parseOptions(args, {{"--user", &options.userName}, {"--handheld", &options.handheld}})) return 2;
        return tallyhop::runSync(options, std::cout, std::cerr);
    }
    if (command == "action") {
        installWindowedUi();
        tallyhop::SyncOptions options;
        if (!parseOptions(args, {{"--user", &options.userName}})) return 2;
        return tallyhop::runAction(options, std::cout, std::cerr);
    }
    if (command == "configure") {
        std::string userName;  // empty: the first user
        if (!parseOptions(args, {{"--user", &userName}})) return 2;
        return tallyhop::runConfigure(userName, installWindowedUi(), std::cout, std::cerr);
    }
    if (command == "account") return tallyhop::accountCommand(args, std::cout, std::cerr);
    if (command == "notes") return tallyhop::notesCommand(args, std::cout, std::cerr);
    if (command == "relay") return tallyhop::relayCommand(args, std::cout, std::cerr);
    if (command == "handheld") {
        if (!args.empty() && handheld_app::IsAppCommand(args[0]))
            return handheld_app::RunCommand(args, std::cout, std::cerr);
        std::string handheld = "default";
        if (!parseOptions(args, {{"--handheld", &handheld}})) return 2;
        return listCommand(handheld);
    }
    std::cerr << "tallyhop: unknown command '" << command << "'\n";
    usage(std::cerr);
    return 2;
}
