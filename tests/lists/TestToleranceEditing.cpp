#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "lists/ToleranceEditing.h"
#include "protocol/ControllerReal.h"
#include "ScriptedOperator.h"

using namespace kv;

namespace {

const text::DecimalSeparators kComma{',', '.'};
const text::DecimalSeparators kPoint{'.', ','};

// Two groups: a sensor temperature (class 0), a pipeline flow (class 0x80) and a controller
// parameter (class 0x40) that takes no bounds; the second group repeats the first entry's name.
GroupList twoGroups()
{
    GroupList list;
    auto a = std::make_unique<ParamGroup>();
    a->setGroup("Котельная", 10);
    a->addParam({0x00, 0x20, 1, kFormatReal}, -1, "Температура");
    a->addParam({0x80, 0x05, 3, kFormatReal}, -1, "Расход");
    a->addParam({0x40, 0x20, 0, kFormatReal}, -1, "Часы");
    list.append(std::move(a));
    auto b = std::make_unique<ParamGroup>();
    b->setGroup("Котельная", 20);
    b->addParam({0x00, 0x20, 2, kFormatReal}, -1, "Температура");
    list.append(std::move(b));
    return list;
}

void putReal(ParamGroup& g, int pos, double v)
{
    const auto bytes = encodeControllerReal(v);
    std::copy(bytes.begin(), bytes.end(), g.reply().begin() + g.entry(pos)->replyOffset);
}

} // namespace

TEST(ToleranceEditing, SensorAndPipelineEntriesTakeBoundsOthersDoNot)
{
    GroupList list = twoGroups();
    EXPECT_TRUE(takesBounds(*list.at(0).entry(0)));
    EXPECT_TRUE(takesBounds(*list.at(0).entry(1)));
    EXPECT_FALSE(takesBounds(*list.at(0).entry(2)));

    BoundsEditing ed(list, kPoint);
    EXPECT_FALSE(ed.select(0, 2));
    EXPECT_FALSE(ed.selected());
    EXPECT_FALSE(ed.select(5, 0));
    EXPECT_FALSE(ed.select(0, 9));
}

TEST(ToleranceEditing, TypedKeysTakeTheLocaleSeparatorAndDropLetters)
{
    struct Case { char typed; text::DecimalSeparators seps; std::optional<char> out; };
    const Case cases[] = {
        {'.', kComma, ','}, {',', kComma, ','}, {',', kPoint, '.'}, {'.', kPoint, '.'},
        {'7', kPoint, '7'}, {'-', kPoint, '-'}, {'+', kPoint, '+'}, {' ', kPoint, ' '},
        {8, kPoint, char(8)}, {13, kPoint, char(13)},
        {'e', kPoint, std::nullopt}, {'a', kComma, std::nullopt}, {'/', kPoint, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filterBoundKey(c.typed, c.seps), c.out) << int(c.typed);
}

TEST(ToleranceEditing, BoundFieldsAreReadAfterStrayCharactersGo)
{
    EXPECT_EQ(readBound("   5,500", kComma), 5.5);
    EXPECT_EQ(readBound("-12.25", kPoint), -12.25);
    EXPECT_EQ(readBound("1 000.5", kPoint), 1000.5);
    EXPECT_EQ(readBound("t=20", kPoint), 20.0);
    EXPECT_EQ(readBound("", kPoint), std::nullopt);
    EXPECT_EQ(readBound("   ", kPoint), std::nullopt);
    EXPECT_EQ(readBound("1-2", kPoint), std::nullopt);
    EXPECT_EQ(readBound("1.2.3", kPoint), std::nullopt);
}

TEST(ToleranceEditing, SelectingShowsStoredBoundsInSevenPlaces)
{
    GroupList list = twoGroups();
    list.at(0).setBound(1, 0, 2.5);
    list.at(0).setBound(1, 1, 120);
    BoundsEditing ed(list, kComma);
    ASSERT_TRUE(ed.select(0, 1));
    EXPECT_EQ(ed.entryName(), "Расход");
    EXPECT_EQ(ed.lowerText(), "  2,500");
    EXPECT_EQ(ed.upperText(), "120,000");
    EXPECT_FALSE(ed.modified());
}

TEST(ToleranceEditing, StoringSetsTheSelectedEntryAndMarksTheBoundsChanged)
{
    GroupList list = twoGroups();
    BoundsEditing ed(list, kComma);
    ASSERT_TRUE(ed.select(1, 0));
    EXPECT_EQ(ed.store(nullptr), BoundsEditing::Store::NothingToStore);

    ed.setTexts("5,5", "90");
    test::ScriptedOperator op;
    op.expectQuestion(kStoreBoundsQuestion, true);
    EXPECT_EQ(ed.store(&op), BoundsEditing::Store::Stored);
    EXPECT_TRUE(op.problems().empty());
    // The entry of the group selected, not the first group's entry of the same name.
    EXPECT_EQ(list.at(1).getBound(0, 0), 5.5);
    EXPECT_EQ(list.at(1).getBound(0, 1), 90.0);
    EXPECT_EQ(list.at(0).getBound(0, 0), 0.0);
    EXPECT_EQ(ed.lowerText(), "  5,500");
    EXPECT_FALSE(ed.modified());
    EXPECT_TRUE(ed.boundsChanged());
}

TEST(ToleranceEditing, RefusedOrDeclinedBoundsLeaveTheEntryAlone)
{
    GroupList list = twoGroups();
    list.at(0).setBound(0, 0, 1);
    list.at(0).setBound(0, 1, 2);
    BoundsEditing ed(list, kPoint);
    ASSERT_TRUE(ed.select(0, 0));

    ed.setTexts("10", "5");
    EXPECT_EQ(ed.store(nullptr), BoundsEditing::Store::Invalid);
    ed.setTexts("", "5");
    EXPECT_EQ(ed.store(nullptr), BoundsEditing::Store::Invalid);

    ed.setTexts("3", "4");
    test::ScriptedOperator op;
    op.expectQuestion(kStoreBoundsQuestion, false);
    EXPECT_EQ(ed.store(&op), BoundsEditing::Store::Declined);
    EXPECT_TRUE(op.problems().empty());
    EXPECT_TRUE(ed.modified());

    EXPECT_EQ(list.at(0).getBound(0, 0), 1.0);
    EXPECT_EQ(list.at(0).getBound(0, 1), 2.0);
    EXPECT_FALSE(ed.boundsChanged());

    // "Отмена" shows the stored bounds again; what was typed still counts as modified.
    ed.cancel();
    EXPECT_EQ(ed.lowerText(), "  1.000");
    EXPECT_EQ(ed.upperText(), "  2.000");
    EXPECT_TRUE(ed.modified());
}

TEST(ToleranceEditing, ZeroBoundsAreStoredAndMeanNoBounds)
{
    GroupList list = twoGroups();
    list.at(0).setBound(0, 0, 1);
    list.at(0).setBound(0, 1, 2);
    BoundsEditing ed(list, kPoint);
    ASSERT_TRUE(ed.select(0, 0));
    ed.setTexts("0", "0");
    EXPECT_EQ(ed.store(nullptr), BoundsEditing::Store::Stored);
    EXPECT_FALSE(list.at(0).entry(0)->hasBounds());
}

TEST(ToleranceEditing, SoundFileIsKeptOnlyWithTheBoxAndCutTo255Characters)
{
    EXPECT_EQ(keptSoundFile(false, "alarm.wav"), "");
    EXPECT_EQ(keptSoundFile(true, "alarm.wav"), "alarm.wav");
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += "ж";
    const std::string kept = keptSoundFile(true, longName);
    EXPECT_EQ(kept.size(), 255u * 2);
    EXPECT_EQ(kept, longName.substr(0, 510));
}

TEST(ToleranceEditing, ViolationRowsListOnlyEntriesOutOfBoundsWithTheGroupNameOnce)
{
    GroupList list = twoGroups();
    list.at(0).setGroup("Котельная 1", 10);
    list.at(1).setGroup("Котельная 2", 10);
    ParamGroup& a = list.at(0);
    a.setBound(0, 0, 10);
    a.setBound(0, 1, 20);
    a.setBound(1, 0, 0);
    a.setBound(1, 1, 5);
    uint8_t area[kDescrAreaSize];
    a.makeDescr(area);
    putReal(a, 0, 25.0);
    putReal(a, 1, 6.0);
    putReal(a, 2, 1e6);   // no bounds: never out of tolerance
    ParamGroup& b = list.at(1);
    b.setBound(0, 0, 10);
    b.setBound(0, 1, 20);
    b.makeDescr(area);
    putReal(b, 0, 15.0);   // the whole group in tolerance: no row

    const auto rows = violationRows(list, ValueStyle{true, ','});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (ViolationRow{"Котельная 1", "Температура", " 10,000", "       25,000", " 20,000"}));
    EXPECT_EQ(rows[1], (ViolationRow{"", "Расход", "  0,000", "        6,000", "  5,000"}));
}
