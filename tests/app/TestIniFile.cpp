#include <gtest/gtest.h>

#include <filesystem>

#include "app/IniFile.h"
#include "text/Cp1251.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using kv::IniFile;
using kv::text::toCp1251;

namespace {

IniFile parsed(const std::string& utf8Text)
{
    IniFile ini;
    ini.parse(toCp1251(utf8Text));
    return ini;
}

// A file as people leave it: comments, odd blanks, blank lines, text before any section.
const char* const kMessy =
    "; written by hand\r\n"
    "stray=before sections\r\n"
    "\r\n"
    "[Parametr]\r\n"
    "Port=Com2\r\n"
    "  Speed =  9600 бод  \r\n"
    "; a comment=not a key\r\n"
    "Inimod=AT V0 E0 S7=60\r\n"
    "\r\n"
    "[CAN-BUS]\r\n"
    "Acceptance Filter=00 00 00\t\r\n"
    "CNF 321 = 02 E0 41\r\n"
    "\r\n"
    "  [ Параметры_2 ]  trailing\r\n"
    "Имя=\"Котельная №3\"\r\n"
    "Пусто=\r\n";

} // namespace

TEST(IniFile, SectionsAndKeysMatchWithoutRegardToCaseIncludingCyrillic)
{
    const IniFile ini = parsed(kMessy);
    EXPECT_EQ(ini.readString("PARAMETR", "port"), "Com2");
    EXPECT_EQ(ini.readString("параметры_2", "ИМЯ"), "Котельная №3");
    EXPECT_EQ(ini.readString("ПАРАМЕТРЫ_2", "имя"), "Котельная №3");
    EXPECT_TRUE(ini.hasSection("can-bus"));
    EXPECT_FALSE(ini.hasSection("Параметры"));
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Parametr", "CAN-BUS", "Параметры_2"}));
}

TEST(IniFile, ValueIsTheTrimmedTextAfterTheFirstEqualsSign)
{
    const IniFile ini = parsed(kMessy);
    EXPECT_EQ(ini.readString("Parametr", "Inimod"), "AT V0 E0 S7=60");
    EXPECT_EQ(ini.readString("Parametr", "Speed"), "9600 бод");
    EXPECT_EQ(ini.readString("CAN-BUS", "cnf 321"), "02 E0 41");
    EXPECT_EQ(ini.readString("CAN-BUS", "Acceptance Filter"), "00 00 00");
    EXPECT_EQ(ini.readString("Параметры_2", "Пусто", "def"), "");
    EXPECT_TRUE(ini.hasKey("Параметры_2", "Пусто"));
    EXPECT_EQ(ini.readString("Parametr", "; a comment", "def"), "def");
    EXPECT_EQ(ini.readString("Parametr", "stray", "def"), "def");   // lines before sections are no keys
    EXPECT_EQ(ini.readString("Nowhere", "Port", "def"), "def");
    EXPECT_EQ(ini.keys("Parametr"), (std::vector<std::string>{"Port", "Speed", "Inimod"}));
    EXPECT_EQ(ini.sectionLines("Parametr"),
              (std::vector<std::string>{"Port=Com2", "  Speed =  9600 бод  ", "Inimod=AT V0 E0 S7=60"}));
}

TEST(IniFile, FirstOccurrenceOfARepeatedSectionOrKeyWins)
{
    IniFile ini = parsed("[A]\nk=1\nK=2\n[a]\nk=3\n");
    EXPECT_EQ(ini.readString("A", "k"), "1");
    EXPECT_EQ(ini.sections(), std::vector<std::string>{"A"});
    ini.writeString("a", "K", "9");
    EXPECT_EQ(ini.serialize(), "[A]\r\nk=9\r\nK=2\r\n[a]\r\nk=3\r\n");
    ini.deleteKey("A", "k");
    EXPECT_EQ(ini.serialize(), "[A]\r\n[a]\r\nk=3\r\n");
}

TEST(IniFile, IntegersAreReadAsWholeNumbers)
{
    const IniFile ini = parsed("[S]\na=12\nb= -7 \nc=$1F\nd=0x10\ne=12abc\nf=\ng=99999999999\n");
    const struct { const char* key; long want; } cases[] = {
        {"a", 12}, {"b", -7}, {"c", 31}, {"d", 16}, {"e", 5}, {"f", 5}, {"g", 5}, {"missing", 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.readInt("S", c.key, 5), c.want) << c.key;
}

TEST(IniFile, WritingOneKeyKeepsEveryOtherLineByteForByte)
{
    IniFile ini;
    ini.parse(toCp1251(kMessy));
    ini.writeString("parametr", "SPEED", "  19200 бод");
    ini.writeString("Parametr", "Phone", "8-800");          // new key: after the last line
    ini.writeInt("Параметры_2", "Номер", 3);                 // new key at the end of the file
    ini.writeString("Printer", "Zg", "1");                   // new section at the end
    const std::string want = toCp1251(
        "; written by hand\r\n"
        "stray=before sections\r\n"
        "\r\n"
        "[Parametr]\r\n"
        "Port=Com2\r\n"
        "Speed=  19200 бод\r\n"
        "; a comment=not a key\r\n"
        "Inimod=AT V0 E0 S7=60\r\n"
        "Phone=8-800\r\n"
        "\r\n"
        "[CAN-BUS]\r\n"
        "Acceptance Filter=00 00 00\t\r\n"
        "CNF 321 = 02 E0 41\r\n"
        "\r\n"
        "  [ Параметры_2 ]  trailing\r\n"
        "Имя=\"Котельная №3\"\r\n"
        "Пусто=\r\n"
        "Номер=3\r\n"
        "[Printer]\r\n"
        "Zg=1\r\n");
    EXPECT_EQ(ini.serialize(), want);
}

TEST(IniFile, ErasingAndClearingSections)
{
    IniFile ini = parsed("[A]\na=1\n\n[B]\nb=1\n; note\n\n[a]\nx=2\n[C]\nc=1\n");
    IniFile erased = ini;
    erased.eraseSection("a");
    EXPECT_EQ(erased.serialize(), "[B]\r\nb=1\r\n; note\r\n\r\n[C]\r\nc=1\r\n");

    // Clearing keeps the header where it is, so the order of sections survives a rewrite.
    ini.clearSection("B");
    ini.writeString("B", "new", "v");
    ini.clearSection("A");
    EXPECT_EQ(ini.serialize(), "[A]\r\n\r\n[B]\r\nnew=v\r\n\r\n[C]\r\nc=1\r\n");
    ini.clearSection("Missing");
    EXPECT_FALSE(ini.hasSection("Missing"));
}

TEST(IniFile, ValuesCannotInjectLinesOrSections)
{
    IniFile ini;
    ini.writeString("Parametr", "Phone", "123\r\n[Evil]\r\nPort=Com8");
    ini.writeString("Parametr", "a=b", "1");
    EXPECT_FALSE(ini.hasSection("Evil"));
    EXPECT_EQ(ini.readString("Parametr", "Phone"), "123  [Evil]  Port=Com8");
    EXPECT_EQ(ini.readString("Parametr", "a b"), "1");
    IniFile again;
    again.parse(ini.serialize());
    EXPECT_EQ(again.sections(), std::vector<std::string>{"Parametr"});
}

TEST(IniFile, DiskFormIsCp1251WithCrLfAndLfOnlyFilesAreRead)
{
    const fs::path dir = fs::temp_directory_path() / "kv_ini_disk";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "kvarnik.ini").string();
    ASSERT_TRUE(kv::text::writeFileAtomic(path, toCp1251("[Parametr]\nVoice1=тревога.wav\n")));

    IniFile ini(path);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readString("Parametr", "Voice1"), "тревога.wav");
    ini.writeString("Parametr", "NameArhInt", "Интервал");
    ASSERT_TRUE(ini.save());
    std::string bytes;
    ASSERT_TRUE(kv::text::readFileBytes(path, bytes));
    EXPECT_EQ(bytes, toCp1251("[Parametr]\r\nVoice1=тревога.wav\r\nNameArhInt=Интервал\r\n"));

    IniFile missing((dir / "none.ini").string());
    EXPECT_FALSE(missing.load());
    EXPECT_TRUE(missing.sections().empty());

    IniFile unwritable((dir / "no" / "such.ini").string());
    unwritable.writeString("A", "b", "c");
    EXPECT_FALSE(unwritable.save());
    EXPECT_FALSE(unwritable.lastError().empty());
    fs::remove_all(dir);
}
