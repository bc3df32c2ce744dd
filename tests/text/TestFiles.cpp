#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv::text;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::size_t entryCount() const
    {
        return std::size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    fs::path dir_;
};

} // namespace

TEST_F(FilesTest, AtomicWriteReplacesTheWholeFileAndLeavesNoTemporaryFile)
{
    const std::string p = path("Zakaz.fil");
    ASSERT_TRUE(writeFileAtomic(p, std::string("first\0version", 13)));
    ASSERT_TRUE(writeFileAtomic(p, "second"));
    std::string got;
    ASSERT_TRUE(readFileBytes(p, got));
    EXPECT_EQ(got, "second");
    EXPECT_EQ(entryCount(), 1u);
    ASSERT_TRUE(writeFileAtomic(p, ""));
    ASSERT_TRUE(readFileBytes(p, got));
    EXPECT_EQ(got, "");
}

TEST_F(FilesTest, FailedAtomicWriteKeepsTheOldContentsAndSaysWhy)
{
    std::string error;
    EXPECT_FALSE(writeFileAtomic(path("missing/sub/file.txt"), "x", &error));
    EXPECT_FALSE(error.empty());

    // A folder in the way of the rename: the folder survives, no temporary file remains.
    fs::create_directories(dir_ / "Report.fil" / "inner");
    error.clear();
    EXPECT_FALSE(writeFileAtomic(path("Report.fil"), "data", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(dir_ / "Report.fil" / "inner"));
    EXPECT_EQ(entryCount(), 1u);
}

TEST_F(FilesTest, ReadingFailsForMissingFilesFoldersAndOversizedFiles)
{
    std::string got = "keep";
    EXPECT_FALSE(readFileBytes(path("none.txt"), got));
    EXPECT_FALSE(readFileBytes(dir_.string(), got));
    EXPECT_EQ(got, "keep");
    ASSERT_TRUE(writeFileAtomic(path("big.bin"), std::string(100, 'x')));
    EXPECT_FALSE(readFileBytes(path("big.bin"), got, 99));
    EXPECT_TRUE(readFileBytes(path("big.bin"), got, 100));
    EXPECT_EQ(got.size(), 100u);
}

TEST_F(FilesTest, AppendCreatesAndExtends)
{
    const std::string p = path("05_03_24.Txt");
    ASSERT_TRUE(appendFile(p, "a\r\n"));
    ASSERT_TRUE(appendFile(p, "b\r\n"));
    std::string got;
    ASSERT_TRUE(readFileBytes(p, got));
    EXPECT_EQ(got, "a\r\nb\r\n");
    EXPECT_FALSE(appendFile(path("no/such/folder.txt"), "x"));
}

TEST_F(FilesTest, NamesAreFoundWhateverTheirCase)
{
    std::ofstream(path("MATR.FIL")) << "m";
    std::ofstream(path("ОТЧЕТ.TXT")) << "r";
    std::ofstream(path("sprav.txt")) << "s";
    std::ofstream(path("Sprav.txt")) << "S";
    EXPECT_EQ(resolveInFolder(dir_.string(), "Matr.Fil"), path("MATR.FIL"));
    EXPECT_EQ(resolveInFolder(dir_.string() + "/", "отчет.txt"), path("ОТЧЕТ.TXT"));
    EXPECT_EQ(resolveInFolder(dir_.string(), "Sprav.txt"), path("Sprav.txt"));   // exact first
    EXPECT_EQ(resolveInFolder(dir_.string(), "SPRAV.TXT"), path("Sprav.txt"));   // then byte order
    EXPECT_EQ(resolveInFolder(dir_.string(), "Zakaz_2.fil"), path("Zakaz_2.fil"));
    EXPECT_EQ(resolveInFolder(path("nofolder"), "x.ini"), path("nofolder/x.ini"));
    EXPECT_TRUE(fileExists(path("MATR.FIL")));
    EXPECT_FALSE(fileExists(path("Matr.Fil")));   // no fallback: exact names only
    EXPECT_FALSE(fileExists(dir_.string()));
}
