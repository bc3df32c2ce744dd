#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/Workspace.h"
#include "protocol/LineControl.h"
#include "text/DateTime.h"

namespace kv {

namespace {

std::optional<int> hexByte(const std::string& s)
{
    if (s.empty() || s.size() > 2)
        return std::nullopt;
    int v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        v = v * 16 + d;
    }
    return v;
}

std::optional<ParamCode> parseCode(const std::string& s)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (true) {
        const std::size_t slash = s.find('/', pos);
        parts.push_back(s.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    if (parts.size() != 3)
        return std::nullopt;
    const auto a = hexByte(parts[0]), b = hexByte(parts[1]), c = hexByte(parts[2]);
    if (!a || !b || !c)
        return std::nullopt;
    return ParamCode{uint8_t(*a), uint8_t(*b), uint8_t(*c)};
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM".
std::optional<double> parseDate(const std::string& s)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    char tail = 0;
    text::CivilDateTime c;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &tail) == 5
        || (std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3 && s.size() == 10)) {
        c.year = y;
        c.month = mo;
        c.day = d;
        c.hour = h;
        c.minute = mi;
        double v = 0;
        if (text::encodeDateTime(c, v))
            return v;
    }
    return std::nullopt;
}

std::string fixed3(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

class Session {
public:
    Session(Workspace& ws, std::ostream& out, std::ostream& err) : ws_(ws), out_(out), err_(err) {}

    // 0 when connected; otherwise the exit status.
    int open()
    {
        if (!ws_.openPort())
            return kCliExchangeFailed;
        if (!ws_.connect()) {
            err_ << "Нет связи с ЗЕНТАР\n";
            ws_.hangUpModem();
            ws_.closePort();
            return kCliExchangeFailed;
        }
        ws_.exchange().probeFrameCounter(*ws_.port(), type());
        return kCliOk;
    }

    void close()
    {
        if (ws_.port()) {
            releaseAtEnd(ws_.exchange(), *ws_.port(), type());
            // A modem call is not left running after the tool has ended.
            ws_.hangUpModem();
            ws_.closePort();
        }
    }

    int fail(ExchangeResult r)
    {
        err_ << exchangeMessage(r) << "\n";
        return kCliExchangeFailed;
    }

    int type() const { return ws_.settings().channelType; }
    SerialPort& port() { return *ws_.port(); }

    Workspace& ws_;
    std::ostream& out_;
    std::ostream& err_;
};

int usage(std::ostream& err, const std::string& why)
{
    if (!why.empty())
        err << "kvarnik-cli: " << why << "\n";
    err << cliUsage();
    return kCliUsage;
}

int cmdVersion(Session& s)
{
    VersionInfo info;
    const ExchangeResult r = s.ws_.commands().readVersion(s.port(), s.type(), info);
    if (r != 0)
        return s.fail(r);
    s.out_ << "model=" << info.model << " version=" << int(info.version[0]) << "." << int(info.version[1]) << "\n";
    return kCliOk;
}

int cmdStatus(Session& s)
{
    uint8_t status = 0;
    const ExchangeResult r = s.ws_.commands().readStatus(s.port(), s.type(), 0x18, 0, &status);
    if (r != 0 && r != kStatusDiffers)
        return s.fail(r);
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", status);
    s.out_ << "state=" << s.ws_.commands().stateName() << " status=" << hex << "\n";
    return kCliOk;
}

int cmdClock(Session& s)
{
    double t = 0;
    const ExchangeResult r = s.ws_.archives().readClock(s.port(), s.type(), kClockAsRead, t);
    if (r != 0)
        return s.fail(r);
    s.out_ << text::formatDateTime("yyyy-mm-dd hh:nn", t) << "\n";
    return kCliOk;
}

enum class Shape { Auto, Real, Int, Raw };

int cmdRead(Session& s, const ParamCode& code, Shape shape)
{
    Commands& cmd = s.ws_.commands();
    if (shape == Shape::Auto) {
        const auto fmt = s.ws_.catalog().findFormat(code.classIndex, code.number);
        shape = !fmt ? Shape::Raw : (*fmt == 8 || *fmt == 9) ? Shape::Real : *fmt == 2 ? Shape::Int : Shape::Raw;
    }
    if (shape == Shape::Real) {
        double v = 0;
        const ExchangeResult r = cmd.readReal(s.port(), s.type(), code, v);
        if (r != 0)
            return s.fail(r);
        s.out_ << fixed3(v) << "\n";
        return kCliOk;
    }
    std::array<uint8_t, 256> buf{};
    int len = 0;
    ExchangeResult r = 0;
    if (shape == Shape::Raw) {
        // Raw bytes of any format: the catalog gives the length, the value is not interpreted.
        const auto fmt = s.ws_.catalog().findFormat(code.classIndex, code.number);
        if (!fmt)
            return s.fail(14);
        len = std::clamp(formatLength(*fmt), 1, int(buf.size()));
        r = cmd.readAddress(s.port(), s.type(), code.address(), std::span<uint8_t>(buf.data(), std::size_t(len)));
    } else {
        r = cmd.readParam(s.port(), s.type(), code, ValueKind::Format2, buf, &len);
    }
    if (r != 0)
        return s.fail(r);
    if (shape == Shape::Int) {
        s.out_ << decodeControllerInteger(std::span<const uint8_t, 4>(buf.data(), 4)) << "\n";
    } else {
        std::string h = hexBytes(std::span<const uint8_t>(buf.data(), std::size_t(std::max(len, 0))));
        if (!h.empty() && h.back() == ' ')
            h.pop_back();
        s.out_ << h << "\n";
    }
    return kCliOk;
}

int cmdArchive(Session& s, const std::string& kind, int number, double from, double to, bool asInt)
{
    ArchiveCommands& a = s.ws_.archives();
    double controllerTime = 0;   // not read yet
    ArchiveRead read;
    ExchangeResult r = 0;
    if (kind == "hourly")
        r = a.readHourly(s.port(), s.type(), number, from, to, controllerTime, read);
    else if (kind == "daily")
        r = a.readDaily(s.port(), s.type(), number, from, to, controllerTime, read);
    else
        r = a.readMonthly(s.port(), s.type(), number, from, to, controllerTime, read);
    if (r != 0)
        return s.fail(r);
    const std::vector<double> reals = asInt ? std::vector<double>{} : archiveReals(read, s.type());
    const std::vector<uint32_t> ints = asInt ? archiveIntegers(read) : std::vector<uint32_t>{};
    for (std::size_t i = 0; i < read.records.size(); ++i) {
        double t = read.firstTime;
        if (kind == "hourly")
            t += double(i) / 24.0;
        else if (kind == "daily")
            t += double(i);
        else
            t = text::addMonths(read.firstTime, int(i));
        s.out_ << text::formatDateTime("yyyy-mm-dd hh:nn", t) << ";"
               << (asInt ? std::to_string(ints[i]) : fixed3(reals[i])) << "\n";
    }
    return kCliOk;
}

} // namespace

const char* cliUsage()
{
    return "usage: kvarnik-cli [--data-dir DIR] [--trace] COMMAND ...\n"
           "commands:\n"
           "  version                          controller model and program version\n"
           "  status                           controller state and status byte\n"
           "  clock                            controller date and time\n"
           "  read CLASS/NUMBER/INDEX [--real|--int|--raw]\n"
           "                                   one parameter, code bytes in hexadecimal (00/11/03)\n"
           "  archive hourly|daily|monthly N --from 'YYYY-MM-DD[ HH:MM]' --to 'YYYY-MM-DD[ HH:MM]' [--int]\n"
           "                                   archive N over the period, one 'YYYY-MM-DD HH:MM;VALUE' line per value\n";
}

bool parseCliOptions(const std::vector<std::string>& args, CliOptions& out, std::string& error)
{
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--data-dir") {
            if (i + 1 >= args.size()) {
                error = "--data-dir needs a folder";
                return false;
            }
            out.dataDir = args[++i];
        } else if (a.rfind("--data-dir=", 0) == 0) {
            out.dataDir = a.substr(11);
        } else if (a == "--trace") {
            out.trace = true;
        } else if (a == "--help" || a == "-h") {
            error.clear();
            return false;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            break;
        }
    }
    out.command.assign(args.begin() + std::ptrdiff_t(i), args.end());
    if (out.command.empty()) {
        error = "no command";
        return false;
    }
    return true;
}

int runCli(Workspace& ws, const CliOptions& opts, std::ostream& out, std::ostream& err)
{
    const auto& c = opts.command;
    const std::string& name = c.empty() ? std::string() : c[0];

    // Check the whole command before touching the line.
    std::optional<ParamCode> code;
    Shape shape = Shape::Auto;
    std::string kind;
    int number = 0;
    std::optional<double> from, to;
    bool asInt = false;
    if (name == "version" || name == "status" || name == "clock") {
        if (c.size() != 1)
            return usage(err, name + " takes no arguments");
    } else if (name == "read") {
        if (c.size() < 2 || c.size() > 3 || !(code = parseCode(c[1])))
            return usage(err, "read needs a code CLASS/NUMBER/INDEX in hexadecimal");
        if (c.size() == 3) {
            if (c[2] == "--real") shape = Shape::Real;
            else if (c[2] == "--int") shape = Shape::Int;
            else if (c[2] == "--raw") shape = Shape::Raw;
            else return usage(err, "unknown read option " + c[2]);
        }
    } else if (name == "archive") {
        if (c.size() < 3)
            return usage(err, "archive needs a kind and an archive number");
        kind = c[1];
        if (kind != "hourly" && kind != "daily" && kind != "monthly")
            return usage(err, "archive kind must be hourly, daily or monthly");
        try {
            std::size_t used = 0;
            number = std::stoi(c[2], &used);
            if (used != c[2].size() || number < 0)
                return usage(err, "bad archive number " + c[2]);
        } catch (...) {
            return usage(err, "bad archive number " + c[2]);
        }
        for (std::size_t i = 3; i < c.size(); ++i) {
            if (c[i] == "--int") {
                asInt = true;
            } else if ((c[i] == "--from" || c[i] == "--to") && i + 1 < c.size()) {
                const auto d = parseDate(c[i + 1]);
                if (!d)
                    return usage(err, "bad date " + c[i + 1]);
                (c[i] == "--from" ? from : to) = d;
                ++i;
            } else {
                return usage(err, "unknown archive option " + c[i]);
            }
        }
        if (!from || !to)
            return usage(err, "archive needs --from and --to");
        if (*to < *from)
            return usage(err, "--to is before --from");
    } else {
        return usage(err, "unknown command " + name);
    }

    Session s(ws, out, err);
    if (const int rc = s.open(); rc != kCliOk)
        return rc;
    int rc = kCliOk;
    if (name == "version") rc = cmdVersion(s);
    else if (name == "status") rc = cmdStatus(s);
    else if (name == "clock") rc = cmdClock(s);
    else if (name == "read") rc = cmdRead(s, *code, shape);
    else rc = cmdArchive(s, kind, number, *from, *to, asInt);
    s.close();
    return rc;
}

} // namespace kv
