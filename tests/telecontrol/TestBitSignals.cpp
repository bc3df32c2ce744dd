// Bit-signal descriptions: the file layout, damaged files, kinds per model, row texts and the
// editor's rules for entry and saving.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "telecontrol/BitSignals.h"
#include "text/Cp1251.h"
#include "text/Files.h"

using namespace kv;

namespace {

BitSignal signal(const std::string& name, uint8_t kind, uint8_t bit, uint8_t normal = 0, uint8_t side = 0)
{
    BitSignal s;
    s.name = name;
    s.kind = kind;
    s.bit = bit;
    s.normal = normal;
    s.side = side;
    s.normalText = "норма";
    s.alarmText = "авария";
    return s;
}

std::span<const uint8_t> asBytes(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("kv_bitsignals_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

} // namespace

using BitSignalFile = TempFolder;

TEST_F(BitSignalFile, DescriptionsGoIntoFixedSlotsAndComeBack)
{
    BitSignalTable t;
    ASSERT_TRUE(t.append(signal("Насос 1", 0x11, 6, 1, 0)));
    BitSignal second = signal("Дверь", 0x20, 63, 0, 1);
    second.alarmText = "открыта";
    ASSERT_TRUE(t.append(second));

    ASSERT_TRUE(t.save(path("Matr_2.Fil")));
    std::string bytes;
    ASSERT_TRUE(text::readFileBytes(path("Matr_2.Fil"), bytes));
    ASSERT_EQ(bytes.size(), kBitSignalFileSize);
    const auto b = asBytes(bytes);
    // Slot 0, field by field.
    EXPECT_EQ(b[0], 6);
    EXPECT_EQ(b[1], 1);
    EXPECT_EQ(b[2], 0x11);
    EXPECT_EQ(b[3], 7);
    EXPECT_EQ(bytes.substr(4, 7), text::toCp1251("Насос 1"));
    EXPECT_EQ(b[31], 0);
    EXPECT_EQ(b[32], 5);
    EXPECT_EQ(bytes.substr(33, 5), text::toCp1251("норма"));
    EXPECT_EQ(b[48], 6);
    EXPECT_EQ(bytes.substr(49, 6), text::toCp1251("авария"));
    // Slot 1 keeps its side; slot 2 onwards are free.
    EXPECT_EQ(b[64 + 0], 63);
    EXPECT_EQ(b[64 + 31], 1);
    for (std::size_t slot = 2; slot < 64; ++slot) {
        EXPECT_EQ(b[slot * 64], 255) << slot;
        EXPECT_EQ(b[slot * 64 + 1] | b[slot * 64 + 3] | b[slot * 64 + 32] | b[slot * 64 + 48], 0) << slot;
    }

    BitSignalTable back;
    ASSERT_TRUE(back.load(path("Matr_2.Fil")));
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.at(0).name, "Насос 1");
    EXPECT_EQ(back.at(1).side, 1);
    EXPECT_EQ(back.at(1).alarmText, "открыта");
    EXPECT_EQ(back.toBytes(), bytes);
}

TEST_F(BitSignalFile, NoDescriptionsMeansAnEmptyFileAndAMissingFileMeansNone)
{
    BitSignalTable t;
    t.append(signal("X", 0, 1));
    ASSERT_TRUE(t.save(path("Matr.Fil")));
    t.remove(0);
    ASSERT_TRUE(t.save(path("Matr.Fil")));
    EXPECT_EQ(std::filesystem::file_size(path("Matr.Fil")), 0u);

    BitSignalTable loaded;
    loaded.append(signal("old", 0, 1));
    EXPECT_TRUE(loaded.load(path("Matr.Fil")));
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_FALSE(loaded.load(path("missing.Fil")));
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_FALSE(loaded.at(0).used());
}

TEST(BitSignalTable, DamagedFilesNeverLeaveHolesOrOverlongTexts)
{
    std::string bytes(kBitSignalFileSize + 100, '\0');   // longer than the 64 slots
    for (std::size_t slot = 0; slot < 64; ++slot)
        bytes[slot * 64] = char(255);
    auto put = [&](std::size_t slot, uint8_t bit, const std::string& name) {
        bytes[slot * 64] = char(bit);
        bytes[slot * 64 + 3] = char(name.size());
        bytes.replace(slot * 64 + 4, name.size(), name);
    };
    put(3, 1, "A");
    put(10, 2, "B");
    put(63, 3, "C");
    bytes[10 * 64 + 3] = char(200);   // a length byte far beyond the field
    bytes[10 * 64 + 32] = char(90);

    const BitSignalTable t = BitSignalTable::fromBytes(asBytes(bytes));
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.at(0).name, "A");
    EXPECT_EQ(text::charCount(t.at(1).name), kBitSignalNameChars);
    EXPECT_EQ(text::charCount(t.at(1).normalText), kBitSignalTextChars);
    EXPECT_EQ(t.at(2).bit, 3);
    EXPECT_FALSE(t.at(3).used());

    // A file cut inside a slot keeps the complete slots only.
    const BitSignalTable cut = BitSignalTable::fromBytes(asBytes(bytes.substr(0, 64 * 3 + 40)));
    EXPECT_EQ(cut.count(), 0);
    const BitSignalTable cut2 = BitSignalTable::fromBytes(asBytes(bytes.substr(0, 64 * 4 + 40)));
    EXPECT_EQ(cut2.count(), 1);
}

TEST(BitSignalTable, InsertMovesOnAndRemoveMovesUp)
{
    BitSignalTable t;
    for (uint8_t i = 0; i < 3; ++i)
        t.append(signal("s" + std::to_string(i), 0, i));
    ASSERT_TRUE(t.insert(0, signal("new", 0, 9)));
    ASSERT_EQ(t.count(), 4);
    EXPECT_EQ(t.at(0).name, "new");
    EXPECT_EQ(t.at(1).name, "s0");
    EXPECT_EQ(t.at(3).name, "s2");

    ASSERT_TRUE(t.remove(1));
    EXPECT_EQ(t.count(), 3);
    EXPECT_EQ(t.at(1).name, "s1");
    EXPECT_FALSE(t.at(3).used());
    EXPECT_FALSE(t.remove(3));
    EXPECT_FALSE(t.insert(5, signal("far", 0, 1)));

    while (t.count() < kBitSignalSlots)
        ASSERT_TRUE(t.append(signal("f", 0, uint8_t(t.count() % 64))));
    EXPECT_FALSE(t.append(signal("65th", 0, 1)));
    EXPECT_FALSE(t.insert(0, signal("65th", 0, 1)));
}

// ---- kinds and row texts ------------------------------------------------------------------

TEST(SignalKinds, EachModelOffersItsBuffersAndRanges)
{
    auto names = [](int model) {
        std::vector<std::string> n;
        for (const auto& k : signalKinds(model))
            n.push_back(k.name + " " + std::to_string(k.code) + " " + std::to_string(k.first) + ".." +
                        std::to_string(k.last));
        return n;
    };
    EXPECT_EQ(names(0), (std::vector<std::string>{"Дискретный вход 0 0..63", "Выход управления 16 0..63",
                                                  "Выход индикации 32 0..63"}));
    EXPECT_EQ(names(1), (std::vector<std::string>{"Вход 0 0..7", "Выход 16 0..1"}));
    EXPECT_EQ(names(3), (std::vector<std::string>{"Вход 0 0..63", "Выход 16 0..63"}));
    EXPECT_EQ(names(2), (std::vector<std::string>{
                            "Вход ККД0 0 0..63", "Вход ККД1 1 64..127", "Вход ККД2 2 128..191",
                            "Вход ККД3 3 192..255", "Выход ККД0 16 0..63", "Выход ККД1 17 64..127",
                            "Выход ККД2 18 128..191", "Выход ККД3 19 192..255"}));
}

struct RowCase {
    const char* what;
    int model;
    BitSignal s;
    const char* row;
};

TEST(BitSignalRows, NameKindAndPositionInColumns)
{
    const RowCase cases[] = {
        {"single digit gets a blank", 0, signal("Насос", 0x10, 5),
         "Насос                          [Выход управления  5]"},
        {"two digits go directly", 0, signal("Дверь", 0x00, 42),
         "Дверь                          [Дискретный вход  42]"},
        {"matrix module adds its range", 2, signal("Клапан", 0x02, 2),
         "Клапан                         [Вход ККД2        130]"},
        {"matrix output module", 2, signal("Мотор", 0x11, 6),
         "Мотор                          [Выход ККД1       70]"},
        {"other side uses model 1", 2, signal("Реле", 0x10, 1, 0, 1),
         "Реле                           [Выход             1]"},
        {"group above the model's last counts as group 0", 1, signal("Лишний", 0x20, 3),
         "Лишний                         [Вход              3]"},
        {"a module the model does not list stays in the group", 3, signal("М", 0x13, 4),
         "М                              [Выход             4]"},
    };
    for (const RowCase& c : cases)
        EXPECT_EQ(bitSignalRow(c.s, c.model), c.row) << c.what;
}

// ---- the editor's rules -------------------------------------------------------------------

TEST(BitSignalForm, EntryShowsTheDescriptionOrEmptyFields)
{
    BitSignalTable t;
    t.append(signal("Клапан", 0x12, 7, 1));
    t.append(signal("Чужой", 0x30, 4));

    const BitSignalForm matrix = formOnEntry(t, BitSignalEdit::Change, 0, 2);
    EXPECT_EQ(matrix.name, "Клапан");
    EXPECT_EQ(matrix.kindItem, 6);         // "Выход ККД2"
    EXPECT_EQ(matrix.position, 128 + 7);
    EXPECT_EQ(matrix.normal, 1);
    EXPECT_EQ(matrix.alarmText, "авария");

    // The module counts only on the matrix model.
    const BitSignalForm plain = formOnEntry(t, BitSignalEdit::Change, 0, 3);
    EXPECT_EQ(plain.kindItem, 1);
    EXPECT_EQ(plain.position, 7);

    // A group the model does not have leaves the kind list without a choice.
    EXPECT_EQ(formOnEntry(t, BitSignalEdit::Change, 1, 0).kindItem, -1);

    const BitSignalForm fresh = formOnEntry(t, BitSignalEdit::Insert, 1, 2);
    EXPECT_EQ(fresh.name, "");
    EXPECT_EQ(fresh.kindItem, 0);
    EXPECT_EQ(fresh.position, 0);
    EXPECT_EQ(fresh.normal, 0);
}

TEST(BitSignalForm, SavingStoresBitAndKindFromPosition)
{
    BitSignalTable t;
    BitSignalForm f;
    f.name = "Клапан подачи с длинным названием";
    f.kindItem = 2;              // "Вход ККД2"
    f.position = 130;
    f.normal = 1;
    f.normalText = "закрыт штатно ок";
    f.alarmText = "открыт";
    const BitSignalSave r = saveForm(t, BitSignalEdit::Add, 0, 2, f);
    ASSERT_TRUE(r.saved);
    ASSERT_EQ(t.count(), 1);
    EXPECT_EQ(t.at(0).bit, 2);
    EXPECT_EQ(t.at(0).kind, 0x02);
    EXPECT_EQ(t.at(0).normal, 1);
    EXPECT_EQ(t.at(0).side, 0);
    EXPECT_EQ(t.at(0).name, text::leftChars(f.name, 27));
    EXPECT_EQ(t.at(0).normalText, "закрыт штатно о");

    f.kindItem = 5;              // "Выход ККД1"
    f.position = 70;
    ASSERT_TRUE(saveForm(t, BitSignalEdit::Add, 1, 2, f).saved);
    EXPECT_EQ(t.at(1).bit, 6);
    EXPECT_EQ(t.at(1).kind, 0x11);
}

TEST(BitSignalForm, SavingRefusesMissingFieldsAndDuplicates)
{
    using Focus = BitSignalSave::Focus;
    BitSignalTable t;
    t.append(signal("A", 0x00, 3));
    t.append(signal("B", 0x00, 4));
    t.append(signal("Другая сторона", 0x00, 5, 0, 1));

    BitSignalForm f;
    f.kindItem = 0;
    f.position = 3;
    EXPECT_EQ(saveForm(t, BitSignalEdit::Add, 3, 3, f).focus, Focus::Name);
    f.name = "C";
    f.kindItem = -1;
    EXPECT_EQ(saveForm(t, BitSignalEdit::Add, 3, 3, f).focus, Focus::Kind);
    f.kindItem = 0;

    const BitSignalSave dup = saveForm(t, BitSignalEdit::Add, 3, 3, f);
    EXPECT_FALSE(dup.saved);
    EXPECT_EQ(dup.focus, Focus::Position);
    EXPECT_EQ(dup.message, "Вход 3 уже определен ");

    // Changing a description may keep its own bit, but not take another's.
    EXPECT_TRUE(saveForm(t, BitSignalEdit::Change, 0, 3, f).saved);
    f.position = 4;
    EXPECT_FALSE(saveForm(t, BitSignalEdit::Change, 0, 3, f).saved);
    // The description in the inserting row stays in the list, so its bit is taken too.
    EXPECT_EQ(saveForm(t, BitSignalEdit::Insert, 1, 3, f).message, "Вход 4 уже определен ");
    // The same bit of the other side is another signal.
    f.position = 5;
    EXPECT_TRUE(saveForm(t, BitSignalEdit::Insert, 0, 3, f).saved);
    EXPECT_EQ(t.count(), 4);
    EXPECT_EQ(t.at(0).name, "C");
    EXPECT_EQ(t.at(1).name, "C");   // the changed slot 0, moved on
    // A position outside the kind's range never gets stored.
    f.kindItem = 1;
    f.position = 2;
    EXPECT_EQ(saveForm(t, BitSignalEdit::Add, 4, 1, f).focus, Focus::Position);
    EXPECT_EQ(t.count(), 4);
}
