#include "channels/LineSearch.h"

#include <algorithm>
#include <cstdio>

#include "app/Workspace.h"
#include "protocol/Commands.h"
#include "protocol/Exchange.h"
#include "protocol/LineControl.h"

namespace kv {

namespace {

constexpr int kLineModemSpeeds = 3;   // 300, 600, 1200 baud
constexpr int kWiredSpeeds = 7;       // 300 ... 19200 baud

const char* const kSearchSpeedTexts[kWiredSpeeds] = {"    300 бод", "    600 бод", "  1200 бод", "  2400 бод",
                                               "  4800 бод",  "  9600 бод", "19200 бод"};

int speedCount(int channelType)
{
    return channelType == channel::IsmLeased || channelType == channel::IsmSwitched ? kLineModemSpeeds
                                                                                     : kWiredSpeeds;
}

int digitValue(char32_t ch)
{
    if (ch >= U'0' && ch <= U'9')
        return int(ch - U'0');
    if (ch >= U'A' && ch <= U'F')
        return int(ch - U'A') + 10;
    if (ch >= U'a' && ch <= U'f')
        return int(ch - U'a') + 10;
    return -1;
}

std::string utf8Of(char32_t ch)
{
    std::string out;
    if (ch < 0x80) {
        out += char(ch);
    } else if (ch < 0x800) {
        out += char(0xC0 | (ch >> 6));
        out += char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += char(0xE0 | (ch >> 12));
        out += char(0x80 | ((ch >> 6) & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    } else {
        out += char(0xF0 | (ch >> 18));
        out += char(0x80 | ((ch >> 12) & 0x3F));
        out += char(0x80 | ((ch >> 6) & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    }
    return out;
}

} // namespace

std::vector<std::string> searchSpeedItems(int channelType)
{
    std::vector<std::string> items{"Подбор"};
    for (int s = 0; s < speedCount(channelType); ++s)
        items.emplace_back(kSearchSpeedTexts[s]);
    return items;
}

bool searchKeyAccepted(char32_t ch, bool hex)
{
    if (ch == 8 || ch == 10 || ch == 13 || (ch >= U'0' && ch <= U'9'))
        return true;
    return hex && digitValue(ch) >= 0;
}

int searchNumberFromText(const std::string& text, bool hex)
{
    if (text.empty())
        return kTryAllNumbers;
    const int base = hex ? 16 : 10;
    long long n = 0;
    for (unsigned char ch : text) {   // bytes of other characters are no digits and are skipped
        const int v = digitValue(ch);
        if (v < 0)
            continue;
        // Past the largest number the value can only stay too large; stop it growing further.
        n = std::min<long long>(n * base + v, 1 << 20);
    }
    return n > kMaxNetworkNumber ? -1 : int(n);
}

std::string searchNumberText(int number, bool hex)
{
    if (!hex)
        return std::to_string(number);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", unsigned(number) & 0xFFu);
    return buf;
}

std::string searchModelName(int modelIndex)
{
    static const char* const names[] = {"базовый комплект ЗЕНТАР 10", "минимальный комплект ЗЕНТАР 10",
                                        "расширяемый комплект ЗЕНТАР 10", "ЗЕНТАР-17"};
    return modelIndex >= 0 && modelIndex < 4 ? names[modelIndex] : std::string();
}

LineSearch::LineSearch(Workspace& ws) : ws_(ws) {}

void LineSearch::reset()
{
    texts_ = {};
    numberToTry_ = kTryAllNumbers;
    show();
}

std::string LineSearch::opened(bool hex)
{
    stop_ = false;
    return numberToTry_ == kTryAllNumbers ? std::string() : searchNumberText(numberToTry_, hex);
}

bool LineSearch::keyPressed(char32_t ch, bool hex)
{
    texts_.status.clear();
    const bool ok = searchKeyAccepted(ch, hex);
    if (!ok)
        texts_.status = "Недопустимый символ  " + utf8Of(ch);
    show();
    return ok;
}

bool LineSearch::search(const std::string& field, bool hex, int speedItem)
{
    running_ = true;
    texts_.outcome.clear();
    texts_.model.clear();
    bool found = false;
    const int number = searchNumberFromText(field, hex);
    if (number < 0) {
        texts_.status = "Сетевой номер больше допустимого";
        show();
    } else if (ws_.port()) {
        numberToTry_ = number;
        const int type = ws_.settings().channelType;
        const int firstNumber = number == kTryAllNumbers ? 0 : number;
        const int lastNumber = number == kTryAllNumbers ? kMaxNetworkNumber : number;
        const int speeds = speedCount(type);
        const bool oneSpeed = speedItem >= 1 && speedItem <= speeds;
        for (int n = firstNumber; n <= lastNumber && !found && !stop_; ++n) {
            texts_.number = "Сетевой номер  " + searchNumberText(n, hex);
            for (int s = oneSpeed ? speedItem - 1 : 0; s < (oneSpeed ? speedItem : speeds); ++s) {
                found = trySpeed(n, s);
                if (found || stop_)
                    break;
            }
        }
        if (found) {
            texts_.outcome = "OK";
            if (ws_.versionRead() == 0) {
                const auto& v = ws_.version.version;
                texts_.model = searchModelName(ws_.modelIndex) + "  версия " + std::to_string(v[0]) + "." +
                               std::to_string(v[1]);
            }
        } else {
            numberToTry_ = kTryAllNumbers;
            texts_.speed = "Скорость обмена ";
            texts_.outcome = "не установлена";
        }
        show();
    }
    releaseIfAddressed(false);
    running_ = false;
    return found;
}

bool LineSearch::trySpeed(int number, int speedIndex)
{
    SerialPort& port = *ws_.port();
    ChannelSettings& s = ws_.settings();
    ExchangeState& st = ws_.exchange().state();
    const int type = s.channelType;
    // The engine's waits follow the speed, so a slow speed gets the reply time it needs.
    st.speedIndex = speedIndex;
    port.setParams(lineParamsAtOpen(port.params(), speedIndex, type));
    texts_.speed = "Скорость обмена " + std::string(kSearchSpeedTexts[speedIndex]);
    show();
    ws_.pump().processEvents();
    if (stop_)
        return false;

    bool selected = true;
    if (frameEngineFor(s.prot) == FrameEngine::Traditional) {
        if (number > 0)
            selected = selectByNetworkNumber(port, ws_.clock(), number, s.channel, type, speedIndex);
    } else {
        st.protocol = s.prot;
        st.networkNumber = uint8_t(number);
        st.crcMode = s.crc;
        st.computerAddress = s.codePC;
        port.setParams(lineParamsAtOpen(port.params(), speedIndex, type));
    }
    if (!selected)
        return false;
    VersionInfo info;
    if (ws_.commands().readVersion(port, type, info) != 0)
        return false;
    s.speed = uint8_t(speedIndex);
    s.setNumber = uint8_t(number);
    return true;
}

void LineSearch::exit()
{
    stop_ = true;
    // Inside a running search the line is busy: the search ends at its next step, and the
    // window calls this again once it has.
    if (!running_)
        releaseIfAddressed(true);
}

void LineSearch::releaseIfAddressed(bool anyProtocol)
{
    if (numberToTry_ == 0)
        return;
    if (ws_.port() && (anyProtocol || frameEngineFor(ws_.settings().prot) == FrameEngine::Traditional))
        release(ws_.exchange(), *ws_.port(), ws_.settings().channelType);
    numberToTry_ = 0;
}

void LineSearch::show()
{
    if (show_)
        show_(texts_);
}

} // namespace kv
