// Replay driver for the fuzz targets when libFuzzer is not linked: runs every file named on
// the command line (directories are walked, in name order) through LLVMFuzzerTestOneInput
// once, each in a process of its own, and fails when any input crashes, hangs or blows up
// memory, naming it:
//
//   target [-timeout=SECONDS] [-rss_limit_mb=MB] paths...
//
// An input fails when its process does not end normally with status 0, runs longer than the
// time limit (wall clock, so a blocked input counts too), or its resident memory passes the
// memory limit at any moment. Memory is measured from outside, on the child's resident pages,
// because the sanitizers reserve far more address space than they use.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct Limits {
    double seconds = 5;
    long rssMb = 512;
};

std::string number(double v)
{
    char s[32];
    std::snprintf(s, sizeof s, "%g", v);
    return s;
}

// Resident memory of a process in KB; 0 when it cannot be read.
long residentKb(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
    FILE* f = std::fopen(path, "r");
    if (!f)
        return 0;
    long pages = 0, resident = 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs one input in a child process; returns why it failed, or "" when it passed.
std::string runOne(const std::vector<uint8_t>& bytes, const Limits& limits)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return std::string("cannot start a process: ") + std::strerror(errno);
    if (pid == 0) {
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        std::exit(0); // through the exit handlers, so that leak checks run
    }
    const long limitKb = limits.rssMb * 1024;
    const std::string tooBig = "took more than " + std::to_string(limits.rssMb) + " MB";
    const auto start = std::chrono::steady_clock::now();
    auto stop = [pid](const std::string& why) {
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return why;
    };
    long peakKb = 0;
    int status = 0;
    rusage usage{};
    // Looks often at first, so that quick inputs cost little, then every 10 ms.
    for (useconds_t pause = 50;; pause = std::min<useconds_t>(pause * 2, 10000)) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return stop(std::string("lost its process: ") + std::strerror(errno));
        peakKb = std::max(peakKb, residentKb(pid));
        if (peakKb > limitKb)
            return stop(tooBig);
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > limits.seconds)
            return stop("ran longer than " + number(limits.seconds) + " s");
        usleep(pause);
    }
    // A peak between two looks still shows in the child's own high-water mark.
    peakKb = std::max(peakKb, long(usage.ru_maxrss));
    if (peakKb > limitKb)
        return tooBig + " (" + std::to_string(peakKb / 1024) + " MB)";
    if (WIFSIGNALED(status))
        return "died of signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    if (WEXITSTATUS(status) != 0)
        return "ended with status " + std::to_string(WEXITSTATUS(status));
    return "";
}

bool flag(const char* arg, const char* name, double& value)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0)
        return false;
    char* end = nullptr;
    value = std::strtod(arg + n, &end);
    if (end == arg + n || *end != '\0' || !(value > 0)) {
        std::fprintf(stderr, "bad value in %s\n", arg);
        std::exit(2);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Limits limits;
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        double v = 0;
        if (flag(argv[i], "-timeout=", v)) {
            limits.seconds = v;
        } else if (flag(argv[i], "-rss_limit_mb=", v)) {
            limits.rssMb = long(v);
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        } else {
            std::filesystem::path p(argv[i]);
            if (std::filesystem::is_directory(p)) {
                for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                    if (e.is_regular_file())
                        inputs.push_back(e.path());
            } else if (std::filesystem::exists(p)) {
                inputs.push_back(p);
            }
        }
    }
    std::sort(inputs.begin(), inputs.end());

    std::vector<std::string> failed;
    auto replay = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::fprintf(stderr, "input %s\n", name.c_str());
        const std::string why = runOne(bytes, limits);
        if (!why.empty()) {
            std::fprintf(stderr, "FAILED input %s: %s\n", name.c_str(), why.c_str());
            failed.push_back(name + ": " + why);
        }
    };
    for (const auto& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        replay(p.string(), std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    }
    // Every target also gets the empty input and a few degenerate ones.
    replay("(empty)", {});
    replay("(64 zero bytes)", std::vector<uint8_t>(64, 0));

    std::printf("replayed %zu inputs\n", inputs.size() + 2);
    if (failed.empty())
        return 0;
    std::fprintf(stderr, "%zu of %zu inputs failed:\n", failed.size(), inputs.size() + 2);
    for (const std::string& f : failed)
        std::fprintf(stderr, "  %s\n", f.c_str());
    return 1;
}
