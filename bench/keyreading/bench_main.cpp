// The window benchmarks need an application object; CTest passes --ios_smoke for its quick
// run, which the benchmark library does not know.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i)
        if (std::string_view(argv[i]) != "--ios_smoke")
            args.push_back(argv[i]);
    int n = static_cast<int>(args.size());
    QApplication app(n, args.data());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
