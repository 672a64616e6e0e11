// One synchronisation of N new messages from the scripted host into an emulated handheld:
// messages per second, and the peak resident size with the handheld's own records
// subtracted, which must not grow with N.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "engine/tidewater.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/engine/scripted_host/scripted_host.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/tallyhop/runtime_setup.h"

namespace {

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

long PeakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A fresh runtime root with one user, one handheld and one IMAP account.
int SetUp(const std::filesystem::path& home) {
    setenv("TESSALINE_HOME", home.c_str(), 1);
    std::ostringstream out, err;
    tallyhop::InitOptions o;
    o.userName = "bench";
    if (tallyhop::initRuntime(o, out, err) != 0) return 0;
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld("default");
    int userId = 0;
    RosterGetUserIdByIndex(0, &userId);
    platform::syncmgr::setSessionUser(userId);
    handheld_app::SetFreeSpace("default", 1u << 30);
    handheld_app::AccountSetup h;
    h.name = "Bench";
    h.server = "imap.example.org";
    h.smtpServer = "smtp.example.org";
    h.user = "bench";
    h.password = "secret";
    h.email = "bench@example.org";
    handheld_app::ConfigureAccount("default", h);
    CreateIniFileSettings(userId);
    QuietEnvironment env;
    tess::accounts::AccountInit i;
    i.userId = userId;
    i.userDirectory = (platform::syncmgr::userDirectory(userId) / "Tessaline").string();
    tess::accounts::CMailAccount a(i, env);
    a.Load();
    a.SetAccountName("Bench", 0);
    const int32_t imap = 7, one = 1, outboxOff = 0, days = 4, sizeKb = 50;
    a.SetValue(tess::accounts::kValueMailClient, &imap, 4);
    a.SetValue(tess::accounts::kValueActive, &one, 4);
    a.SetValue(tess::accounts::kValueDaysToSync, &days, 4);
    a.SetValue(tess::accounts::kValueSyncInbox, &one, 4);
    a.SetValue(tess::accounts::kValueMessageSize, &sizeKb, 4);
    a.SetValue(tess::accounts::kValueSyncOutbox, &outboxOff, 4);
    a.Save();
    return userId;
}

void BM_SyncNewMessages(benchmark::State& st) {
    const int n = int(st.range(0));
    char pattern[] = "/tmp/tess-bench-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    HMODULE host =
        LoadLibraryA((std::filesystem::path(getenv("TESSALINE_LIBDIR") ? getenv("TESSALINE_LIBDIR") : "build/lib") /
                      "libScriptedHost.so")
                         .c_str());
    for (auto _ : st) {
        st.PauseTiming();
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        const int userId = SetUp(home);
        scripted::reset();
        const int32_t now = int32_t(std::time(nullptr));
        for (int i = 0; i < n; ++i) {
            scripted::Message m;
            m.from = "Sender <sender@example.org>";
            m.to = "bench@example.org";
            m.subject = "Message " + std::to_string(i);
            m.body = std::string(600, 'x');
            m.date = now - 60 - i;
            scripted::state().add("Inbox", std::move(m));
        }
        const long before = PeakKb();
        st.ResumeTiming();
        SyncProperties p{};
        HMODULE hosts[5] = {host, nullptr, nullptr, host, host};
        const int rc = SynchronizeMail(0, &p, hosts, 4, userId);
        st.PauseTiming();
        if (rc != 0 || handheld_app::RecordCount("default", "Larkspur Messages") != n) {
            std::string log = "result " + std::to_string(rc) + ", records " + std::to_string(handheld_app::RecordCount("default", "Larkspur Messages")) + "\n";
            for (const auto& l : platform::syncmgr::capturedLog()) log += l.text + "\n";
            st.SkipWithError(("synchronisation incomplete:\n" + log).c_str());
            break;  // a skipped run must not resume its timing
        }
        st.counters["peak_growth_kb"] = double(PeakKb() - before);
        st.counters["handheld_records"] = double(handheld_app::RecordCount("default", "Larkspur Messages"));
        st.ResumeTiming();
    }
    st.counters["messages_per_s"] =
        benchmark::Counter(double(n) * double(st.iterations()), benchmark::Counter::kIsRate);
    if (host) FreeLibrary(host);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_SyncNewMessages)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
