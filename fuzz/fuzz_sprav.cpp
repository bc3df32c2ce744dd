// The parameter reference parser and the catalog lookups, fed arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/ParamCatalog.h"

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kv::ReferenceFile file;
    file.parse(std::string_view(reinterpret_cast<const char*>(data), size));
    check(file.sectionCount() >= 0 && file.sectionCount() <= 4);
    check(file.empty() == (file.sectionCount() == 0));

    for (int model = -1; model <= 4; ++model) {
        const auto b = file.section(model);
        check(b.begin <= b.end && b.end <= file.lines().size());

        kv::ArchiveCounts counts;
        kv::ParamCatalog catalog;
        catalog.build(file, model, &counts);
        counts.applyModel(model);
        for (int kind = 0; kind < 4; ++kind)
            check(counts.count(kind) >= 1 && counts.count(kind) <= 256);

        for (std::size_t h : catalog.headers())
            check(h < catalog.entries().size() && catalog.entries()[h].header);
        for (const auto& group : catalog.referenceGroups()) {
            check(group.header < catalog.entries().size());
            for (std::size_t i : group.entries)
                check(i > group.header && i < catalog.entries().size() && !catalog.entries()[i].header);
        }
        for (const auto& e : catalog.entries()) {
            const auto found = catalog.find(e.cls, e.code);
            if (found) {
                const auto& hit = catalog.entries()[*found];
                check(hit.cls == (e.cls & 0xC0) && hit.code == e.code);
            }
        }
    }
    return 0;
}
