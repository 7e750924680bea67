// A full WriteToRom on the default board: the library core, the driver
// channel, the driver core, the Intel host-controller model and the R39218.
// Reports the driver requests of one run, the modelled bus time (the bits of
// the traffic the controller took part in, at 100 kHz), the host's software
// time for the run, and software time / bus time.
//
//   cmake --build --preset host --target hotkey_bench && build/host/hotkey_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "boards.h"
#include "chipset_hosts.h"
#include "driver_channel.h"
#include "hotkey_core.h"
#include "hotkey_exports.h"

namespace {

constexpr double kBitSeconds = 10e-6;  // 100 kHz

struct alignas(sim::Board) Storage {
    unsigned char bytes[sizeof(sim::Board)];
};

void WriteToRomOnTheDefaultBoard(benchmark::State& state)
{
    auto storage = std::make_unique<Storage>();
    sim::Board* board = sim::BuildIntelBoard(storage.get(), sizeof(Storage));
    if (board == nullptr) {
        state.SkipWithError("no default board");
        return;
    }
    auto hosts = std::make_unique<sim::ChipsetHosts>();
    if (!hosts->Equip(*board)) {
        state.SkipWithError("no host-controller model on the default board");
        board->~Board();
        return;
    }
    sim::SetCurrent(&board->machine);
    auto ext = std::make_unique<OrvaneDeviceExtension>();
    std::memset(ext.get(), 0, sizeof(OrvaneDeviceExtension));
    DriverChannel channel;
    channel.ext = ext.get();
    channel.machine = &board->machine;
    channel.recordRequests = false;
    channel.keepTrace = false;
    hotkey::ResetGlobals();
    hotkey::SetHostBackend(&channel);

    std::vector<uint8_t> image(8192);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = (uint8_t)(i * 13 + 5);
    image[0x1FFC] = 0x92;
    image[0x1FFD] = 0x18;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("hotkey_bench_" + std::to_string(getpid()) + ".bin")).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), (std::streamsize)image.size());

    if (SelectInterfaceType(1, 0) != 1)
        state.SkipWithError("selection failed");
    double requests = 0, busSeconds = 0, softwareSeconds = 0, traceLines = 0;
    int runs = 0;
    for (auto _ : state) {
        channel.Clear();
        board->controller.busBits = 0;
        const auto start = std::chrono::steady_clock::now();
        const int result = WriteToRom(path.c_str());
        const auto end = std::chrono::steady_clock::now();
        if (result != 1)
            state.SkipWithError("WriteToRom failed");
        requests += (double)channel.requestCount;
        traceLines += (double)channel.traceLines;
        busSeconds += (double)board->controller.busBits * kBitSeconds;
        softwareSeconds += std::chrono::duration<double>(end - start).count();
        ++runs;
    }
    if (runs > 0) {
        state.counters["driver_requests"] = requests / runs;
        state.counters["trace_lines"] = traceLines / runs;
        state.counters["bus_s"] = busSeconds / runs;
        state.counters["software_s"] = softwareSeconds / runs;
        state.counters["software_per_bus"] = busSeconds > 0 ? softwareSeconds / busSeconds : 0;
    }
    hotkey::SetHostBackend(nullptr);
    sim::SetCurrent(nullptr);
    board->~Board();
    std::filesystem::remove(path);
}

BENCHMARK(WriteToRomOnTheDefaultBoard)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
