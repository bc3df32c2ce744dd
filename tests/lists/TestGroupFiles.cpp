#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "lists/GroupList.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv;

namespace {

using Bytes = std::vector<uint8_t>;

// A 44-byte record: the name field (length byte and characters, zeros up to 40 bytes),
// then four bytes.
Bytes record44(Bytes name, Bytes tail)
{
    name.resize(40, 0);
    name.insert(name.end(), tail.begin(), tail.end());
    return name;
}

// A 24-byte tolerance record: group, entry, six bytes of padding, two little-endian doubles.
Bytes record24(uint8_t group, uint8_t entry, Bytes lower, Bytes upper)
{
    Bytes r{group, entry, 0, 0, 0, 0, 0, 0};
    r.insert(r.end(), lower.begin(), lower.end());
    r.insert(r.end(), upper.begin(), upper.end());
    return r;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kZero = {0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kTen = {0, 0, 0, 0, 0, 0, 0x24, 0x40};
const Bytes kTwenty = {0, 0, 0, 0, 0, 0, 0x34, 0x40};
const Bytes kMinusOneHalf = {0, 0, 0, 0, 0, 0, 0xF8, 0xBF};
const Bytes kTwoQuarter = {0, 0, 0, 0, 0, 0, 0x02, 0x40};

// Two groups as the tables lay them out: "Котельная" (cp1251, its last letter is 0xFF) with
// three entries polled every 300 s, and "B" with one unnamed entry every 15 s.
const Bytes kGroupFile = cat({
    record44({9, 0xCA, 0xEE, 0xF2, 0xE5, 0xEB, 0xFC, 0xED, 0xE0, 0xFF}, {3, 0x2C, 0x01, 0}),
    record44({2, 'T', '1'}, {0x80, 0x01, 0x00, 8}),
    record44({4, 0xC4, 0xE0, 0xF2, 0xE0}, {0x40, 0x16, 0x00, 41}),
    record44({1, 'P'}, {0x00, 0x11, 0x05, 8}),
    record44({1, 'B'}, {1, 0x0F, 0x00, 0}),
    record44({0}, {0x40, 0x15, 0x00, 1}),
});

const Bytes kToleranceFile = cat({
    record24(0, 0, kTen, kTwenty),
    record24(0, 1, kZero, kZero),
    record24(0, 2, kMinusOneHalf, kTwoQuarter),
    record24(1, 0, kZero, kZero),
});

Bytes asBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

GroupList parsed(const Bytes& groups, const Bytes& tolerances = {})
{
    GroupList list;
    parseGroupFile(list, groups);
    applyToleranceFile(list, tolerances);
    return list;
}

class GroupFilesOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_groups_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const Bytes& b) const
    {
        std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    Bytes read(const std::string& name) const
    {
        std::string s;
        EXPECT_TRUE(text::readFileBytes(path(name), s));
        return asBytes(s);
    }
    fs::path dir_;
};

} // namespace

TEST(GroupFiles, HandBuiltFilesLoadAsLaidOutAndSaveByteForByte)
{
    GroupList list = parsed(kGroupFile, kToleranceFile);
    ASSERT_EQ(list.size(), 2);

    const ParamGroup& a = list.at(0);
    EXPECT_EQ(a.name(), "Котельная");
    EXPECT_EQ(a.period(), 300);
    ASSERT_EQ(a.count(), 3);
    EXPECT_EQ(a.getName(0), "T1");
    EXPECT_EQ(a.getCode(0), (ParamCode3{0x80, 0x01, 0x00}));
    EXPECT_EQ(a.entry(0)->format, 8);
    EXPECT_EQ(a.getName(1), "Дата");
    EXPECT_EQ(a.entry(1)->format, kFormatDate);
    EXPECT_EQ(a.getCode(2), (ParamCode3{0x00, 0x11, 0x05}));
    EXPECT_EQ(a.getBound(0, 0), 10.0);
    EXPECT_EQ(a.getBound(0, 1), 20.0);
    EXPECT_FALSE(a.entry(1)->hasBounds());
    EXPECT_EQ(a.getBound(2, 0), -1.5);
    EXPECT_EQ(a.getBound(2, 1), 2.25);
    EXPECT_FALSE(a.prevValid());

    const ParamGroup& b = list.at(1);
    EXPECT_EQ(b.name(), "B");
    EXPECT_EQ(b.period(), 15);
    ASSERT_EQ(b.count(), 1);
    EXPECT_EQ(b.getName(0), "");
    EXPECT_EQ(b.entry(0)->format, 1);

    EXPECT_EQ(asBytes(groupFileBytes(list)), kGroupFile);
    EXPECT_EQ(asBytes(toleranceFileBytes(list)), kToleranceFile);
}

TEST(GroupFiles, GroupFileReadingRules)
{
    const Bytes header3 = record44({1, 'A'}, {3, 1, 0, 0});
    const Bytes entry = record44({1, 'e'}, {0, 1, 0, 8});
    const Bytes header1 = record44({1, 'B'}, {1, 2, 0, 0xEE});   // the reserved byte is ignored

    // A header of 3 entries takes exactly the next three records; the fourth is a header.
    GroupList list = parsed(cat({header3, entry, entry, entry, header1, entry}));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(0).count(), 3);
    EXPECT_EQ(list.at(1).name(), "B");
    EXPECT_EQ(list.at(1).count(), 1);

    // The file ends inside a group, or inside a record: what is there is kept, no more.
    Bytes cut = cat({header3, entry, entry});
    cut.insert(cut.end(), entry.begin(), entry.begin() + 43);
    list = parsed(cut);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0).count(), 2);

    // A header cut short is no group at all; a header at the very end is a group without entries.
    list = parsed(Bytes(header3.begin(), header3.begin() + 20));
    EXPECT_TRUE(list.empty());
    list = parsed(cat({header1, entry, header3}));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(1).count(), 0);

    // A count above 64 keeps 64 entries, and its records still belong to the group.
    Bytes many = record44({1, 'M'}, {70, 0, 0, 0});
    for (int i = 0; i < 70; ++i)
        many = cat({many, record44({1, uint8_t('0' + i % 10)}, {0, uint8_t(i), 0, 8})});
    list = parsed(cat({many, header1, entry}));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(0).count(), 64);
    EXPECT_EQ(list.at(0).getCode(63)[1], 63);
    EXPECT_EQ(list.at(1).name(), "B");

    // A length byte above 39 is taken as 39, never more.
    list = parsed(record44({200, 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x',
                            'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x',
                            'x', 'x', 'x', 'x', 'x', 'x'},
                           {0, 0, 0, 0}));
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0).name(), std::string(39, 'x'));

    // The list stops at seven groups.
    Bytes eight;
    for (int i = 0; i < 8; ++i)
        eight = cat({eight, record44({1, uint8_t('0' + i)}, {1, 0, 0, 0}), entry});
    list = parsed(eight);
    ASSERT_EQ(list.size(), 7);
    EXPECT_EQ(list.at(6).name(), "6");
}

TEST(GroupFiles, ToleranceRecordsCarryTheirOwnPositions)
{
    // Any order; a record for an entry the group lacks is skipped; a record for a group
    // beyond the list ends the reading; a record cut short is not read.
    Bytes tolerances = cat({
        record24(1, 0, kTen, kTwenty),
        record24(0, 7, kTen, kTwenty),
        record24(0, 2, kMinusOneHalf, kTwoQuarter),
        record24(2, 0, kTen, kTwenty),
        record24(0, 0, kTen, kTwenty),
    });
    GroupList list = parsed(kGroupFile, tolerances);
    EXPECT_EQ(list.at(1).getBound(0, 0), 10.0);
    EXPECT_EQ(list.at(0).getBound(2, 1), 2.25);
    EXPECT_FALSE(list.at(0).entry(0)->hasBounds());   // after the record that ended the reading

    Bytes cut = record24(0, 0, kTen, kTwenty);
    cut.pop_back();
    list = parsed(kGroupFile, cut);
    EXPECT_FALSE(list.at(0).entry(0)->hasBounds());

    // Padding bytes mean nothing to the reader.
    Bytes padded = record24(0, 0, kTen, kTwenty);
    std::fill(padded.begin() + 2, padded.begin() + 8, 0x5A);
    list = parsed(kGroupFile, padded);
    EXPECT_EQ(list.at(0).getBound(0, 1), 20.0);
}

TEST_F(GroupFilesOnDisk, LoadReadsBothFilesAndTellsWhetherGroupsExist)
{
    GroupList list;
    list.append(std::make_unique<ParamGroup>());

    EXPECT_FALSE(loadGroups(list, path("Zakaz.fil"), path("Dopusk.fil")));
    EXPECT_TRUE(list.empty());

    write("Zakaz_2.fil", kGroupFile);
    EXPECT_TRUE(loadGroups(list, path("Zakaz_2.fil"), path("Dopusk_2.fil")));   // no tolerance file: no bounds
    ASSERT_EQ(list.size(), 2);
    EXPECT_FALSE(list.at(0).entry(0)->hasBounds());

    write("Dopusk_2.fil", kToleranceFile);
    EXPECT_TRUE(loadGroups(list, path("Zakaz_2.fil"), path("Dopusk_2.fil")));
    EXPECT_EQ(list.at(0).getBound(0, 1), 20.0);

    write("Zakaz_2.fil", {});
    EXPECT_FALSE(loadGroups(list, path("Zakaz_2.fil"), path("Dopusk_2.fil")));
    EXPECT_TRUE(list.empty());
}

TEST_F(GroupFilesOnDisk, SaveWritesBothFilesAndStopsWhenTheGroupFileFails)
{
    GroupList list = parsed(kGroupFile, kToleranceFile);
    ASSERT_TRUE(saveGroups(list, path("Zakaz.fil"), path("Dopusk.fil")));
    EXPECT_EQ(read("Zakaz.fil"), kGroupFile);
    EXPECT_EQ(read("Dopusk.fil"), kToleranceFile);

    list.at(0).setBound(1, 1, 20.0);
    ASSERT_TRUE(saveTolerances(list, path("Dopusk.fil")));
    GroupList again;
    ASSERT_TRUE(loadGroups(again, path("Zakaz.fil"), path("Dopusk.fil")));
    EXPECT_EQ(again.at(0).getBound(1, 1), 20.0);

    // A folder in the way of the group file: the save fails, and the tolerance file keeps
    // describing the list the group file still holds.
    fs::create_directory(dir_ / "Zakaz_1.fil");
    write("Dopusk_1.fil", kToleranceFile);
    list.remove(0);
    std::string error;
    EXPECT_FALSE(saveGroups(list, path("Zakaz_1.fil"), path("Dopusk_1.fil"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(read("Dopusk_1.fil"), kToleranceFile);
}

TEST(GroupList, HoldsAtMostSevenGroupsAtStableAddresses)
{
    GroupList list;
    ParamGroup* first = list.append(std::make_unique<ParamGroup>());
    for (int i = 1; i < 7; ++i)
        ASSERT_NE(list.insert(0, std::make_unique<ParamGroup>()), nullptr);
    EXPECT_TRUE(list.full());
    EXPECT_EQ(list.insert(0, std::make_unique<ParamGroup>()), nullptr);
    EXPECT_EQ(list.size(), 7);
    EXPECT_EQ(list.indexOf(first), 6);
    list.remove(0);
    EXPECT_EQ(&list.at(5), first);
    list.remove(9);
    EXPECT_EQ(list.size(), 6);

    first->setPrevValid(true);
    list.resetPrevValid();
    EXPECT_FALSE(first->prevValid());
}
