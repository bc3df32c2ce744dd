#include "sim/RealTimeClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace kv::sim {

double RealTimeClock::now() const
{
    using namespace std::chrono;
    const auto t = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&secs, &local);
    // Days since 1899-12-30 of the local calendar date, plus the local time of day.
    const int y = local.tm_year + 1900;
    const int m = local.tm_mon + 1;
    const int d = local.tm_mday;
    const int yy = y - (m <= 2 ? 1 : 0);
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = long(era) * 146097 + doe - 719468;
    const long days = days1970 + 25569;
    const auto sub = duration_cast<microseconds>(t.time_since_epoch()) % seconds(1);
    const double secOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec
                            + double(sub.count()) / 1e6;
    return double(days) + secOfDay / 86400.0;
}

void RealTimeClock::sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t RealTimeClock::nowUs() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealTimeClock::waitUntilUs(int64_t us)
{
    const int64_t now = nowUs();
    if (us > now)
        std::this_thread::sleep_for(std::chrono::microseconds(us - now));
}

} // namespace kv::sim
