// Peak resident memory of the open job's waveform read: the file opened as
// the application opens it, its sound read at 2 000 samples per second for at most six hours,
// and reduced to waveform bars. The bar: under 120 MB for a 60-minute file.
//
//   bench_waveform_rss FILE
//
// Prints the sample and bar counts, the time taken and the peak resident memory (getrusage's
// ru_maxrss); exits 1 when the peak is 120 MB or more.
#include "BCAudio.h"
#include "BCError.h"
#include "BCMediaOpener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_waveform_rss FILE\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    try {
        const BCOpenedMedia media = BCMediaOpener::open(QString::fromLocal8Bit(argv[1]));
        const std::vector<float> samples = BCAudio::monoSamples(media.asset, 2000, 21600);
        const int buckets = std::clamp(int(media.duration) * 40, 200, 20000);
        const std::vector<float> bars = BCAudio::peaks(samples, buckets);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double peakMB = double(usage.ru_maxrss) / 1024.0; // ru_maxrss is in KiB
        std::printf("duration %.1f s, %zu samples at 2000/s, %zu bars, %.2f s, peak RSS %.1f MB "
                    "(bar: under 120 MB)\n",
                    media.duration, samples.size(), bars.size(), double(timer.elapsed()) / 1000,
                    peakMB);
        return peakMB < 120 ? 0 : 1;
    } catch (const BCError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 3;
    }
}
