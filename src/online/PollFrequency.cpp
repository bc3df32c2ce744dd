#include "online/PollFrequency.h"

#include "lists/ToleranceEditing.h"

namespace kv {

bool acceptPeriodKey(char typed)
{
    return (typed >= '0' && typed <= '9') || typed == ' ' || typed == 8 || typed == 13;
}

std::optional<int> readPeriod(std::string_view field)
{
    while (!field.empty() && field.front() == ' ')
        field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ')
        field.remove_suffix(1);
    if (field.empty() || field.size() > 9)
        return std::nullopt;
    int v = 0;
    for (char ch : field) {
        if (ch < '0' || ch > '9')
            return std::nullopt;
        v = v * 10 + (ch - '0');
    }
    // One byte in the configuration: a larger period would silently turn into another one.
    if (v < 1 || v > 255)
        return std::nullopt;
    return v;
}

PollFrequencyForm pollFrequencyForm(const ChannelSettings& s, bool telesignalsShown)
{
    PollFrequencyForm f;
    f.failureWatch = s.timotk != 0;
    f.failurePeriod = std::to_string(s.timotk);
    f.failureSound = !s.voice[1].empty();
    f.failureSoundFile = s.voice[1];
    f.telesignalsShown = telesignalsShown;
    f.telesignalPeriod = std::to_string(s.timTc);
    f.telesignalSound = !s.voice[2].empty();
    f.telesignalSoundFile = s.voice[2];
    return f;
}

PollField savePollFrequency(const PollFrequencyForm& form, ChannelSettings& s)
{
    int failure = 0;
    if (form.failureWatch) {
        const auto v = readPeriod(form.failurePeriod);
        if (!v)
            return PollField::FailurePeriod;
        failure = *v;
    }
    int telesignal = kDefaultTelesignalPeriod;
    if (form.telesignalsShown) {
        const auto v = readPeriod(form.telesignalPeriod);
        if (!v)
            return PollField::TelesignalPeriod;
        telesignal = *v;
    }
    s.timotk = static_cast<uint8_t>(failure);
    s.timTc = static_cast<uint8_t>(telesignal);
    s.voice[1] = keptSoundFile(form.failureSound, form.failureSoundFile);
    s.voice[2] = keptSoundFile(form.telesignalSound, form.telesignalSoundFile);
    return PollField::None;
}

} // namespace kv
