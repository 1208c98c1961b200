#pragma once
// How much a benchmark runs: in full by default, or briefly with "--short"
// (or QX_BENCH_SHORT set in the environment), which only shows that it still
// runs and prints its figures. A number on the command line sets the
// benchmark's own count (exchanges, probes, passes) either way.
#include <cstdlib>
#include <cstring>

class BenchRun {
public:
    BenchRun(int argc, char** argv)
    {
        const char* env = std::getenv("QX_BENCH_SHORT");
        short_ = env && *env && std::strcmp(env, "0") != 0;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--short") == 0)
                short_ = true;
            else if (const int n = std::atoi(argv[i]); n > 0 && count_ == 0)
                count_ = n;
        }
    }

    bool isShort() const { return short_; }
    // The benchmark's count: as given, else its full or short default.
    int count(int full, int brief) const { return count_ > 0 ? count_ : pick(full, brief); }
    // Any other size of the run, full or short.
    template <class T>
    T pick(T full, T brief) const { return short_ ? brief : full; }

private:
    bool short_ = false;
    int count_ = 0;
};
