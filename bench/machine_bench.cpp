// Speed of the machine on our own RSID tunes: three minutes of PAL machine
// time each, its register frames taken as the player takes them. Prints, per
// tune, "<tune> x_real_time <n> cpu_x_real_time <n>" (machine time over
// wall-clock time, and over the process's CPU time, which a busy shared
// machine disturbs less), then "machine_slowest_x_real_time <n>" and
// "machine_slowest_cpu_x_real_time <n>" for the slowest. The busy main loop
// (reading $D012 without pause) and the 8 kHz sample interrupts are the
// hardest cases here; a tune idling between interrupts runs much faster.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "machine/machine.h"

namespace {

constexpr uint64_t three_minutes = 180ull * 985248;

bool start(Machine* m, const std::string& name) {
    std::ifstream file(std::string(ZARVEL_TUNES_DIR) + "/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() <= 0x7E) return false;
    static uint8_t image[65536];
    std::fill(std::begin(image), std::end(image), 0);
    uint16_t load = static_cast<uint16_t>(bytes[0x7C] | bytes[0x7D] << 8);
    std::copy(bytes.begin() + 0x7E, bytes.end(), image + load);
    machine_init(m, pal_clock);
    machine_start(m, image, static_cast<uint16_t>(bytes[10] << 8 | bytes[11]), 0, 0x37);
    return true;
}

}  // namespace

int main() {
    const char* tunes[] = {"rsid_cia.sid", "rsid_raster4.sid", "rsid_nmi.sid", "rsid_main_loop.sid", "rsid_samples.sid"};
    auto m = std::make_unique<Machine>();
    double slowest = 1e300;
    double slowest_cpu = 1e300;
    for (const char* tune : tunes) {
        if (!start(m.get(), tune)) {
            std::fprintf(stderr, "cannot read %s\n", tune);
            return 1;
        }
        uint64_t frames = 0;
        auto began = std::chrono::steady_clock::now();
        std::clock_t cpu_began = std::clock();
        while (machine_run_until(m.get(), three_minutes) == MACHINE_FRAME_READY) {
            ++frames;
            machine_take_frame(m.get());
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        double cpu_seconds = static_cast<double>(std::clock() - cpu_began) / CLOCKS_PER_SEC;
        double x = 180.0 / seconds;
        double cpu_x = 180.0 / std::max(cpu_seconds, 1e-6);
        slowest = std::min(slowest, x);
        slowest_cpu = std::min(slowest_cpu, cpu_x);
        std::printf("%s x_real_time %.0f cpu_x_real_time %.0f (%llu frames)\n", tune, x, cpu_x,
                    static_cast<unsigned long long>(frames));
    }
    std::printf("machine_slowest_x_real_time %.0f\nmachine_slowest_cpu_x_real_time %.0f\n", slowest, slowest_cpu);
    return 0;
}
