#include <gtest/gtest.h>

#include "app/ParamCatalog.h"
#include "lists/GroupEditing.h"
#include "text/Cp1251.h"

using namespace kv;

namespace {

ParamCatalogEntry ref(uint8_t cls, uint8_t code, uint8_t maxIndex, uint8_t format, std::string name = "Параметр")
{
    ParamCatalogEntry e;
    e.name = std::move(name);
    e.cls = cls;
    e.code = code;
    e.maxIndex = maxIndex;
    e.format = format;
    return e;
}

ParamCatalog catalog(const std::string& utf8)
{
    ReferenceFile f;
    f.parse(text::toCp1251(utf8));
    ParamCatalog c;
    c.build(f, 0);
    return c;
}

} // namespace

TEST(GroupEditing, IndexLabelsByClassNumberAndLargestIndex)
{
    struct Case {
        ParamCatalogEntry ref;
        const char* label;
        const char* hint;
        bool shown;
    };
    const std::vector<Case> cases = {
        {ref(0x00, 24, 31, 8), "Номер датчика", "Ввод номера датчика", true},
        {ref(0x00, 25, 0, 8), "Индекс", "Ввод индекса", true},
        {ref(0x80, 0x05, 0, 8), "Номер трубопровода", "Ввод номера трубопровода", true},
        {ref(0x40, 0x3D, 3, 8), "Индекс", "Ввод индекса", true},
        {ref(0x40, 0x08, 0, 3), "", "", false},
        {ref(0xC0, 0x01, 0, 3), "", "", false},
    };
    for (const Case& c : cases) {
        const IndexLabel l = indexLabel(c.ref);
        EXPECT_EQ(l.label, c.label);
        EXPECT_EQ(l.hint, c.hint);
        EXPECT_EQ(l.shown, c.shown);
        EXPECT_EQ(l.maxIndex, c.ref.maxIndex);
    }
}

TEST(GroupEditing, AClickKeepsTheIndexOnlyForAWideRangeOfTheSameKind)
{
    const IndexLabel sensors = indexLabel(ref(0x00, 0x01, 31, 8));
    const IndexLabel pipelines = indexLabel(ref(0x80, 0x01, 15, 8));
    const IndexLabel small = indexLabel(ref(0x40, 0x3D, 3, 8));
    const IndexLabel fourteen = indexLabel(ref(0x40, 0x3D, 13, 8));
    const IndexLabel none = indexLabel(ref(0x40, 0x08, 0, 3));
    EXPECT_TRUE(keepIndexOnClick(sensors, indexLabel(ref(0x00, 0x11, 31, 8))));
    EXPECT_TRUE(keepIndexOnClick(pipelines, pipelines));
    EXPECT_FALSE(keepIndexOnClick(small, small));          // upper limit 4: always relabelled
    EXPECT_FALSE(keepIndexOnClick(fourteen, fourteen));    // upper limit 14
    // A kept index must still address the clicked parameter.
    EXPECT_FALSE(keepIndexOnClick(sensors, none));
    EXPECT_FALSE(keepIndexOnClick(sensors, pipelines));
    EXPECT_FALSE(keepIndexOnClick(sensors, indexLabel(ref(0x00, 0x30, 31, 8))));   // "Индекс", not a sensor

    EXPECT_EQ(wrapIndex(-1, 3), 3);
    EXPECT_EQ(wrapIndex(4, 3), 0);
    EXPECT_EQ(wrapIndex(2, 3), 2);
}

TEST(GroupEditing, EntriesGetTheIndexAndADefaultNameAndRespectThe192ByteLimit)
{
    const ParamCatalogEntry current = ref(0x00, 0x01, 3, 8, "Ток");
    NewEntry e = makeEntry(current, 2, true, "");
    EXPECT_EQ(e.code, (ParamCode4{0x00, 0x01, 2, 8}));
    EXPECT_EQ(e.name, "Ток (2)");
    EXPECT_EQ(makeEntry(current, 2, false, "").name, "Ток");
    EXPECT_EQ(makeEntry(current, 2, true, "Мой ток").name, "Мой ток");

    // Values summing to 190 bytes: a real (4 bytes) no longer fits, a time (2 bytes) does.
    ParamGroup g;
    for (int i = 0; i < 47; ++i)
        g.addParam({0, 1, 0, 8}, -1, "r");
    g.addParam({0x40, 0x15, 0, 1}, -1, "t");
    ASSERT_EQ(g.lengthSum(), 190);
    EXPECT_FALSE(fitsLengthLimit(g, ref(0x00, 0x01, 0, 8)));
    EXPECT_TRUE(fitsLengthLimit(g, ref(0x40, 0x15, 0, 1)));
    EXPECT_TRUE(fitsLengthLimit(g, ref(0x40, 0x16, 0, 0)));   // the date format is 2 bytes as well
    // Changing a real into another real takes no more room.
    EXPECT_TRUE(fitsLengthLimit(g, ref(0x00, 0x02, 0, 8), 0));
    EXPECT_TRUE(fitsLengthLimit(g, ref(0x00, 0x02, 0, 8), 47));    // the 2-byte time for a real: 192
    EXPECT_FALSE(fitsLengthLimit(g, ref(0x00, 0x02, 0, 6), 0));    // a real for 8 bytes: 194
}

TEST(GroupEditing, AnEntryFindsTheFirstMatchingReferenceParameterAmongTheOfferedGroups)
{
    const ParamCatalog c = catalog(
        "Датчики\r\n"
        "Ток;00;01;1F;08\r\n"
        "Контроллер\r\n"
        "Описатель;40;50;06;0A\r\n"
        "Время;40;15;00;01\r\n"
        "Ток снова;00;01;1F;08\r\n"
        "Особый класс;10;07;00;03\r\n"
        "Конец\r\n");
    const auto groups = c.referenceGroups();
    ASSERT_EQ(groups.size(), 2u);

    auto place = findReference(c, groups, {0x40, 0x15, 0});
    ASSERT_TRUE(place);
    EXPECT_EQ(place->group, 1);
    EXPECT_EQ(place->row, 0);   // the descriptor entry is not offered, so "Время" is row 0

    place = findReference(c, groups, {0x00, 0x01, 9});
    ASSERT_TRUE(place);
    EXPECT_EQ(place->group, 0);

    place = findReference(c, groups, {0x00, 0x07, 0});   // class 0x10 compares as 0x00
    ASSERT_TRUE(place);
    EXPECT_EQ(place->row, 2);
    EXPECT_FALSE(findReference(c, groups, {0x80, 0x01, 0}));
}
