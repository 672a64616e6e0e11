// A first fetch of a POP mailbox of 2,000 messages (every seventh with an attachment)
// from a private Dovecot: Fenwick (GetAllMsgs through its exports, in a process of its
// own) against fetchmail delivering each message to a Maildir through its MDA option.
// Each run is one child process; wall time, CPU (user + system, the child and what it
// waited for) and peak resident memory come from wait4. Ratios are Fenwick / fetchmail
// over the medians (below 1.00: Fenwick is cheaper).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr int kMessages = 2000;

struct Sample {
    double wall = 0, cpu = 0, peakMb = 0;
};
std::map<std::string, std::vector<Sample>> gSamples;

struct Env {
    fs::path dir;
    std::map<std::string, std::string> values;
    std::string operator[](const std::string& key) const { return values.at(key); }
} gEnv;

// Runs argv as a child (output to log) and measures it.
Sample RunMeasured(const std::vector<std::string>& argv, const fs::path& log,
                   const std::vector<std::string>& extraEnv = {}) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        std::FILE* out = std::freopen(log.c_str(), "w", stdout);
        if (!out || dup2(fileno(stdout), STDERR_FILENO) < 0) _exit(126);
        for (const auto& kv : extraEnv) putenv(const_cast<char*>(kv.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    Sample s;
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    s.peakMb = usage.ru_maxrss / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        throw std::runtime_error(argv[0] + " failed: " + text.str());
    }
    return s;
}

void Run(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& a : argv) line += a + " ";
    if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + line);
}

void StartServers() {
    char tmpl[] = "/tmp/tess-pop-bench-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    gEnv.dir = tmpl;
    Run({"bash", TESS_SERVERS_SCRIPT, "start", gEnv.dir.string(), "--watch", std::to_string(getpid()), ">",
         (gEnv.dir / "start.log").string(), "2>&1"});
    std::ifstream in(gEnv.dir / "servers.env");
    for (std::string line; std::getline(in, line);) {
        auto eq = line.find('=');
        if (eq != std::string::npos) gEnv.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    // The second user's mailbox holds the sample mail, owned as the servers expect.
    std::string owner;
    std::ifstream passwd(gEnv.dir / "passwd");
    for (std::string line; std::getline(passwd, line);) {
        if (line.rfind(gEnv["USER2"] + ":", 0) != 0) continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string part; std::getline(ss, part, ':');) f.push_back(part);
        if (f.size() > 3) owner = f[2] + ":" + f[3];
    }
    Run({"python3", TESS_SAMPLE_MAIL, "--maildir", gEnv["MAILDIR2"], "--count", std::to_string(kMessages), "--days",
         "30", "--seed", "11", "--owner", owner, ">/dev/null"});
    setenv("TESSALINE_HOME", (gEnv.dir / "home").c_str(), 1);
    fs::create_directories(gEnv.dir / "home");

    // fetchmail: keep the mail on the server, take all of it, deliver through a small MDA.
    const fs::path mda = gEnv.dir / "mda.sh";
    std::ofstream(mda) << "#!/bin/sh\nf=\"$1/tmp/$$.$(date +%s%N)\"\ncat > \"$f\" && mv \"$f\" \"$1/new/\"\n";
    fs::permissions(mda, fs::perms::owner_all);
    const fs::path rc = gEnv.dir / "fetchmailrc";
    std::ofstream(rc) << "set no bouncemail\npoll " << gEnv["HOST"] << " with port " << gEnv["POP3_PORT"]
                      << " protocol POP3 auth password\n  user \"" << gEnv["USER2"] << "\" there with password \""
                      << gEnv["PASS2"] << "\" is root here options keep fetchall no rewrite sslproto \"\"\n  mda \""
                      << mda.string() << " " << (gEnv.dir / "fetched").string() << "\"\n";
    fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
}

void ClearFetched() {
    const fs::path out = gEnv.dir / "fetched";
    fs::remove_all(out);
    for (const char* sub : {"tmp", "new", "cur"}) fs::create_directories(out / sub);
}

void Record(benchmark::State& state, const std::string& name, const Sample& s) {
    state.SetIterationTime(s.wall);
    gSamples[name].push_back(s);
    state.counters["cpu_s"] = s.cpu;
    state.counters["peak_MB"] = s.peakMb;
}

void Fenwick(benchmark::State& state) {
    for (auto _ : state) {
        Record(state, "Fenwick",
               RunMeasured({TESS_POP_DRIVER, gEnv["HOST"], gEnv["POP3_PORT"], gEnv["USER2"], gEnv["PASS2"],
                            std::to_string(kMessages)},
                           gEnv.dir / "fenwick.log"));
    }
}

void Fetchmail(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ClearFetched();
        state.ResumeTiming();
        Record(state, "fetchmail",
               RunMeasured({"fetchmail", "-f", (gEnv.dir / "fetchmailrc").string(), "-N", "--nosyslog", "-i",
                            (gEnv.dir / "fetchids").string()},
                           gEnv.dir / "fetchmail.log", {"HOME=" + gEnv.dir.string()}));
        const auto delivered =
            std::distance(fs::directory_iterator(gEnv.dir / "fetched" / "new"), fs::directory_iterator());
        if (delivered != kMessages) state.SkipWithError("fetchmail delivered a different count");
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void PrintRatios() {
    auto med = [](const std::string& name, double Sample::*field) {
        std::vector<double> v;
        for (const auto& s : gSamples[name]) v.push_back(s.*field);
        return Median(v);
    };
    std::printf("\nFirst fetch of %d POP3 messages (medians of %zu runs each)\n", kMessages,
                gSamples["Fenwick"].size());
    std::printf("%-12s %10s %10s %10s\n", "", "wall s", "CPU s", "peak MB");
    for (const char* name : {"Fenwick", "fetchmail"}) {
        std::printf("%-12s %10.2f %10.2f %10.1f\n", name, med(name, &Sample::wall), med(name, &Sample::cpu),
                    med(name, &Sample::peakMb));
    }
    auto ratio = [&](double Sample::*field) {
        const double f = med("fetchmail", field);
        return f > 0 ? med("Fenwick", field) / f : 0.0;
    };
    std::printf("%-12s %10.2f %10.2f %10.2f\n", "ratio", ratio(&Sample::wall), ratio(&Sample::cpu),
                ratio(&Sample::peakMb));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        StartServers();
        // One untimed pass builds Dovecot's indexes, so neither side pays for it.
        RunMeasured(
            {TESS_POP_DRIVER, gEnv["HOST"], gEnv["POP3_PORT"], gEnv["USER2"], gEnv["PASS2"], std::to_string(kMessages)},
            gEnv.dir / "warmup.log");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pop_bench: %s\n", e.what());
        return 1;
    }
    benchmark::RegisterBenchmark("Fenwick/first-fetch-2000", Fenwick)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("fetchmail/first-fetch-2000", Fetchmail)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
    benchmark::Shutdown();
    Run({"bash", TESS_SERVERS_SCRIPT, "stop", gEnv.dir.string(), ">/dev/null", "2>&1"});
    fs::remove_all(gEnv.dir);
    return 0;
}
