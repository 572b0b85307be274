// Entry point of bench_dsp: the allocator is set up as the program's main does,
// before any benchmark runs, so that the figures describe the program.
#include "app/Allocator.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    Allocator::keepLargeBlocksInProcess();
    QCoreApplication app(argc, argv); // the decoder's spectrum worker runs an event loop
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
