#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/ParamCatalog.h"
#include "text/Cp1251.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv;
using kv::text::toCp1251;

namespace {

ReferenceFile reference(const std::string& utf8Text)
{
    ReferenceFile f;
    f.parse(toCp1251(utf8Text));
    return f;
}

ParamCatalog catalog(const std::string& utf8Text, int model = 0, ArchiveCounts* counts = nullptr)
{
    ParamCatalog c;
    c.build(reference(utf8Text), model, counts);
    return c;
}

std::vector<std::string> sectionLines(const ReferenceFile& f, int model)
{
    const auto b = f.section(model);
    return {f.lines().begin() + long(b.begin), f.lines().begin() + long(b.end)};
}

using Lines = std::vector<std::string>;

// Two models; section 0 is closed by the "1=" marker, the last by a line of its own.
const char* const kTwoModels =
    "Справочник ЗЕНТАР\r\n"
    "0=ЗЕНТАР 10 базовый\r\n"
    "Датчики\r\n"
    "Ток датчика;00;01;1F;08\r\n"
    "\r\n"
    "Трубопроводы\r\n"
    "Расход;80;05;0F;08\r\n"
    "Ток датчика повтор;00;01;1F;02\r\n"
    "Контроллер\r\n"
    "Групповой описатель;40;50;06;0A\r\n"
    "Групповые значения;40;51;06;04\r\n"
    "Описатель P датчика;00;50;00;03\r\n"
    "Статус;40;00;00;03\r\n"
    "1=ЗЕНТАР 10 минимальный\r\n"
    "Датчики\r\n"
    "Ток датчика;00;01;0F;05\r\n"
    "Хвост\r\n"
    "Без закрытия;00;02;0F;08\r\n";

} // namespace

TEST(ReferenceFile, SectionsRunFromMarkerToMarkerInOrder)
{
    const ReferenceFile f = reference(kTwoModels);
    EXPECT_EQ(f.sectionCount(), 2);
    EXPECT_EQ(sectionLines(f, 0).front(), "Датчики");
    EXPECT_EQ(sectionLines(f, 0).back(), "1=ЗЕНТАР 10 минимальный");   // the marker closes section 0
    EXPECT_EQ(sectionLines(f, 1), (Lines{"Датчики", "Ток датчика;00;01;0F;05", "Хвост", "Без закрытия;00;02;0F;08"}));
    EXPECT_EQ(sectionLines(f, 3), sectionLines(f, 0));   // no section 3: section 0
    EXPECT_EQ(sectionLines(f, -1), sectionLines(f, 0));

    // Markers are searched only in order: a "2=" before the "1=" is an ordinary line.
    const ReferenceFile g = reference("0=\nA\n2=x\nB\n1=\nC\n");
    EXPECT_EQ(g.sectionCount(), 2);
    EXPECT_EQ(sectionLines(g, 0), (Lines{"A", "2=x", "B", "1="}));
    EXPECT_EQ(sectionLines(g, 1), Lines{"C"});

    // Without "0=" the whole file is section 0, a "1=" line included.
    const ReferenceFile h = reference("A\n1=\nB;00;01\n");
    EXPECT_EQ(h.sectionCount(), 1);
    EXPECT_EQ(sectionLines(h, 1), (Lines{"A", "1=", "B;00;01"}));

    const ReferenceFile four = reference("0=\na\n1=\nb\n2=\nc\n3=\nd\n");
    EXPECT_EQ(four.sectionCount(), 4);
    EXPECT_EQ(sectionLines(four, 3), Lines{"d"});
    EXPECT_EQ(sectionLines(four, 2), (Lines{"c", "3="}));
    EXPECT_EQ(sectionLines(reference("0=\n"), 0), Lines{});
}

TEST(ReferenceFile, LoadTellsAMissingOrEmptyFile)
{
    const fs::path dir = fs::temp_directory_path() / "kv_sprav_load";
    fs::remove_all(dir);
    fs::create_directories(dir);
    ReferenceFile f;
    EXPECT_EQ(f.load(dir.string()), ReferenceLoad::MissingOrEmpty);
    ASSERT_TRUE(kv::text::writeFileAtomic((dir / "SPRAV.TXT").string(), "\r\n  \r\n\r\n"));
    EXPECT_EQ(f.load(dir.string()), ReferenceLoad::MissingOrEmpty);
    ASSERT_TRUE(kv::text::writeFileAtomic((dir / "SPRAV.TXT").string(), toCp1251(kTwoModels)));
    EXPECT_EQ(f.load(dir.string()), ReferenceLoad::Loaded);
    EXPECT_EQ(f.sectionCount(), 2);
    EXPECT_EQ(f.lines().front(), "Справочник ЗЕНТАР");
    fs::remove_all(dir);
    EXPECT_EQ(f.load(dir.string()), ReferenceLoad::MissingOrEmpty);
    EXPECT_TRUE(f.empty());
}

TEST(ParamCatalog, ParameterLinesHoldFourHexadecimalByteFields)
{
    const struct { const char* line; int cls, code, maxIndex, format; } cases[] = {
        {"Расход;80;0A;03;08", 0x80, 0x0A, 3, 8},
        {"Три цифры;1A2", 0xA2, 0, 0, 0},
        {"Пробелы; 8 0 ;0 A;", 0x80, 0x0A, 0, 0},
        {"Лишние;;;;5;9", 0, 0, 0, 5},
        {"Мусор;G1x;Ж2;ff", 0x01, 0x02, 0xFF, 0},
        {"Пусто;", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const ParamCatalogEntry e = parseCatalogLine(c.line);
        EXPECT_FALSE(e.header) << c.line;
        EXPECT_EQ(e.cls, c.cls) << c.line;
        EXPECT_EQ(e.code, c.code) << c.line;
        EXPECT_EQ(e.maxIndex, c.maxIndex) << c.line;
        EXPECT_EQ(e.format, c.format) << c.line;
    }
    EXPECT_EQ(parseCatalogLine("Расход;80;0A").name, "Расход");

    const ParamCatalogEntry h = parseCatalogLine("Параметры трубопроводов и их очень длинное название");
    EXPECT_TRUE(h.header);
    EXPECT_EQ(h.format, ParamCatalogEntry::kHeaderFormat);
    EXPECT_EQ(h.name, "Параметры трубопроводов и их очень ");   // 35 characters
    EXPECT_EQ(parseCatalogLine("Очень длинное имя параметра датчика номер;00;01").name,
              "Очень длинное имя параметра датчика");
}

TEST(ParamCatalog, LookupScansOnlyClosedGroupsAndTheFirstMatchWins)
{
    const ParamCatalog c0 = catalog(kTwoModels, 0);
    EXPECT_EQ(c0.findFormat(0x00, 0x01), 8);              // first definition, not the 2 of the repeat
    EXPECT_EQ(c0.findFormat(0x8F, 0x05), 8);              // index bits do not count
    EXPECT_EQ(c0.findFormat(0x43, 0x50), 0x0A);           // special entries are found
    EXPECT_EQ(c0.findFormat(0x40, 0x00), 3);              // closed by the "1=" marker
    EXPECT_EQ(c0.findFormat(0x00, 0x05), std::nullopt);   // class must match
    const uint8_t code[3] = {0x80, 0x05, 0x02};
    EXPECT_EQ(c0.findFormat(code), 8);
    EXPECT_EQ(c0.findFormat(std::span<const uint8_t>(code, 1)), std::nullopt);

    // In the last section a group with no closing line after it is not searched.
    const ParamCatalog c1 = catalog(kTwoModels, 1);
    EXPECT_EQ(c1.findFormat(0x00, 0x01), 5);
    EXPECT_EQ(c1.findFormat(0x00, 0x02), std::nullopt);
    EXPECT_EQ(catalog(std::string(kTwoModels) + "Конец\r\n", 1).findFormat(0x00, 0x02), 8);

    // Entries before the first header belong to no group.
    EXPECT_EQ(catalog("Ток;00;01;00;08\nГруппа\nКонец\n").findFormat(0, 1), std::nullopt);
    EXPECT_EQ(ParamCatalog().findFormat(0, 1), std::nullopt);
}

TEST(ParamCatalog, GroupEditorIsOfferedClosedGroupsWithoutTheGroupParameters)
{
    const ParamCatalog c = catalog(kTwoModels, 0);
    const auto groups = c.referenceGroups();
    ASSERT_EQ(groups.size(), 3u);   // the "1=" closing header opens no offered group
    EXPECT_EQ(groups[0].name, "Датчики");
    EXPECT_EQ(groups[1].name, "Трубопроводы");
    EXPECT_EQ(groups[2].name, "Контроллер");
    EXPECT_EQ(groups[0].entries, std::vector<std::size_t>{1});
    EXPECT_EQ(groups[1].entries, (std::vector<std::size_t>{3, 4}));
    ASSERT_EQ(groups[2].entries.size(), 2u);
    EXPECT_EQ(c.entries()[groups[2].entries[0]].name, "Описатель P датчика");   // class 0, code 'P'
    EXPECT_EQ(c.entries()[groups[2].entries[1]].name, "Статус");
    EXPECT_EQ(c.headers(), (std::vector<std::size_t>{0, 2, 5, 10}));

    const auto last = catalog(kTwoModels, 1).referenceGroups();
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].name, "Датчики");
}

TEST(ParamCatalog, ArchiveCountsFromTheModelTableAndTheSpecialEntries)
{
    const struct { int model; ArchiveCounts want; } table[] = {
        {0, {32, 64, 64, 13}}, {1, {32, 32, 32, 13}}, {2, {32, 64, 63, 13}},
        {3, {32, 64, 63, 12}}, {7, {32, 64, 64, 13}},
    };
    for (const auto& t : table) {
        ArchiveCounts c;
        c.applyModel(t.model);
        EXPECT_EQ(c, t.want) << "model " << t.model;
    }
    ArchiveCounts c3;
    c3.applyModel(3);
    c3.applyModel(1);
    EXPECT_EQ(c3, (ArchiveCounts{32, 32, 32, 12}));   // model 1 leaves the interval count
    EXPECT_EQ(c3.count(3), 12);
    EXPECT_EQ(c3.count(4), 0);

    const std::string sprav =
        "Датчики\n"
        "Описатель часов не в счет;40;0A;63;03\n"   // group does not start with a special entry
        "Архивы\n"
        "Статус;40;00;00;03\n"
        "Ток;00;01;0F;08\n"
        "Часовой;40;0A;0F;03\n"
        "Суточный;40;0B;1F;03\n"
        "Месячный;40;0C;FF;03\n"
        "Конец\n";
    // At activation: catalog first, model table afterwards; only the hourly override stays.
    ArchiveCounts activation;
    catalog(sprav, 0, &activation);
    activation.applyModel(3);
    EXPECT_EQ(activation, (ArchiveCounts{16, 64, 63, 12}));
    // After a version read: model table first, catalog afterwards; all three overrides stand.
    ArchiveCounts versionRead;
    versionRead.applyModel(3);
    catalog(sprav, 0, &versionRead);
    EXPECT_EQ(versionRead, (ArchiveCounts{16, 32, 256, 12}));   // a largest index of FF keeps all 256
}

TEST(ParamCatalog, LargeSectionsKeepEveryEntryAndHeader)
{
    // 600 parameters in 20 groups: far beyond 256 entries and 11 headers.
    std::string sprav;
    for (int g = 0; g < 20; ++g) {
        sprav += "Группа " + std::to_string(g) + "\n";
        for (int i = 0; i < 30; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "П%d_%d;%02X;%02X;00;%02X\n", g, i, g == 19 && i == 29 ? 0x80 : 0,
                          (g * 30 + i) % 256, g % 11);
            sprav += line;
        }
    }
    sprav += "Конец\n";
    const ParamCatalog c = catalog(sprav);
    EXPECT_EQ(c.entries().size(), 20u * 31u + 1u);
    EXPECT_EQ(c.headers().size(), 21u);
    const auto groups = c.referenceGroups();
    ASSERT_EQ(groups.size(), 20u);
    EXPECT_EQ(c.entries()[groups[19].entries.back()].name, "П19_29");
    EXPECT_EQ(c.findFormat(0x80, 0x57), 19 % 11);                   // the very last entry is found
    EXPECT_EQ(c.entries()[*c.find(0x00, 0x57)].name, "П2_27");     // a code met again later: first wins
}

TEST(ParamCatalog, DemoReferenceGivesEachModelItsArchiveCounts)
{
    ReferenceFile f;
    ASSERT_EQ(f.load(std::string(KV_SOURCE_DIR) + "/data/demo"), ReferenceLoad::Loaded);
    EXPECT_EQ(f.sectionCount(), 4);
    const ArchiveCounts want[4] = {{32, 64, 64, 13}, {16, 32, 32, 13}, {32, 64, 63, 13}, {32, 64, 63, 12}};
    for (int model = 0; model < 4; ++model) {
        ArchiveCounts counts;
        ParamCatalog c;
        c.build(f, model, &counts);
        counts.applyModel(model);
        EXPECT_EQ(counts, want[model]) << "model " << model;
        EXPECT_EQ(c.findFormat(0x40, 0x50), 0x0A) << "model " << model;
        EXPECT_GE(c.referenceGroups().size(), 2u);
    }
}
