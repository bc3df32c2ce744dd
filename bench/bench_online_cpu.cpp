// CPU use of the program while the online view polls seven groups of 64 entries every second
// from the simulated controller in real time (115200 baud), measured over a run of wall-clock
// time (60 s unless a number of seconds is given). Between polls the program should be idle:
// the line waits sleep, and only the values that changed are repainted.
//
//   bench_online_cpu [seconds]      (QT_QPA_PLATFORM=offscreen without a display)
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/Workspace.h"
#include "lists/GroupList.h"
#include "online/ui/OnlineView.h"
#include "platform/QtEventPump.h"
#include "platform/SystemClock.h"
#include "sim/SimPort.h"

using namespace kv;
namespace fs = std::filesystem;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 32 two-byte descriptors and 32 reals: 192 bytes, a group at its reply limit.
std::unique_ptr<ParamGroup> fullGroup(int n)
{
    auto g = std::make_unique<ParamGroup>();
    g->setGroup("Группа " + std::to_string(n + 1), 1);
    for (int i = 0; i < 32; ++i)
        g->addParam(ParamCode4{0x40, 0x0A, uint8_t(i), 3}, -1, "Описатель архива " + std::to_string(i));
    for (int i = 0; i < 16; ++i) {
        g->addParam(ParamCode4{0x80, 0x01, uint8_t(i), 8}, -1, "Температура подачи " + std::to_string(i));
        g->setBound(g->count() - 1, 0, 0);
        g->setBound(g->count() - 1, 1, 200);
        g->addParam(ParamCode4{0x80, 0x02, uint8_t(i), 8}, -1, "Температура обратной воды " + std::to_string(i));
    }
    return g;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;

    const fs::path dir = fs::temp_directory_path() / "kv_bench_online";
    fs::remove_all(dir);
    fs::copy(fs::path(KV_SOURCE_DIR) / "data" / "demo", dir, fs::copy_options::recursive);

    SystemClock clock;
    QtEventPump pump;
    SilentOperator op;
    Workspace ws(dir.string(), clock, pump, op);
    ws.activate();
    ws.settings().speed = 10;      // 115200 baud
    ws.settings().setNumber = 0;   // a line of its own: no addressing before each online work
    const auto& s = ws.settings();
    sim::StationOptions options = sim::stationOptionsFromSettings(
        ws.modelIndex, s.setNumber, s.prot, s.crc, s.channel, s.channelType, s.multNumb, (dir / "Sprav.txt").string());
    options.controller.baud = 115200;
    sim::SimPortOpener opener(options);
    ws.setPortOpener(&opener);

    // The trace goes to a hidden memo, as in the program outside the debug mode.
    QPlainTextEdit memo;
    ws.debugLog().setMemoSink([&memo](const std::string& line, bool clearFirst) {
        if (clearFirst)
            memo.clear();
        memo.appendPlainText(QString::fromStdString(line));
    });

    bool connected = false;
    for (int attempt = 0; attempt < 3 && !connected; ++attempt)
        connected = ws.openPort() && ws.connect();
    if (!connected) {
        std::fprintf(stderr, "no connection to the simulated controller\n");
        return 1;
    }
    GroupList groups;
    for (int n = 0; n < kMaxGroups; ++n) {
        ParamGroup& g = *groups.append(fullGroup(n));
        std::array<uint8_t, kDescrAreaSize> area{};
        g.makeDescr(area);   // 128 bytes: no terminator, the write sends the area's first 129
        if (ws.commands().writeGroupDescriptor(*ws.port(), s.channelType, n, area) != 0) {
            std::fprintf(stderr, "descriptor %d not written\n", n);
            return 1;
        }
    }
    groups.resetPrevValid();

    OnlineLinks links;
    links.groups = &groups;
    OnlineView view(ws, links);
    view.session().setSetup({true, 0});
    int ticks = 0;
    QObject::connect(view.pollTimer(), &QTimer::timeout, [&ticks] { ++ticks; });
    view.show();

    // The first second holds the first polls of everything; measure from then on.
    double cpuStart = 0;
    auto wallStart = std::chrono::steady_clock::now();
    int ticksStart = 0;
    QTimer::singleShot(2000, [&] {
        cpuStart = cpuSeconds();
        wallStart = std::chrono::steady_clock::now();
        ticksStart = ticks;
    });
    QTimer::singleShot(2000 + seconds * 1000, [&] { view.close(); app.quit(); });
    app.exec();

    const double cpu = cpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const int polled = ticks - ticksStart;
    std::printf("online view, 7 groups x 64 entries (192 bytes) every second at 115200 baud\n");
    std::printf("wall %.1f s, ticks %d, CPU %.2f s = %.1f %% of one core, %.1f ms CPU per tick\n", wall, polled, cpu,
                100.0 * cpu / wall, polled > 0 ? 1000.0 * cpu / polled : 0.0);
    std::printf("last status: %s\n", view.statusPanel(0)->text().toStdString().c_str());
    fs::remove_all(dir);
    return 0;
}
