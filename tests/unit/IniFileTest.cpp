#include "settings/AtomicFile.h"
#include "settings/CIniFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    TempDir m_dir;
    CIniFile m_ini{m_dir.File("test.ini")};

    void Given(const std::string& text) { m_dir.Write("test.ini", text); }
    std::string Text() { return m_dir.Read("test.ini"); }
};

TEST_F(IniFileTest, ReadsLikeTheProfileServices) {
    Given("; a comment = not a key\n"
          "[ settings ]\r\n"
          "  MaxThread  =  42  \r\n"
          "Quoted=\"  spaced  \"\n"
          "OneQuote=\"open\n"
          "Empty=\n"
          "maxthread=7\n"
          ";Hidden=1\n"
          "[Other]\n"
          "Key=other\n"
          "[SETTINGS]\n"
          "Late=1\n");
    EXPECT_EQ(m_ini.ReadString("Settings", "MAXTHREAD"), "42"); // first match wins
    EXPECT_EQ(m_ini.ReadString("Settings", "Quoted"), "  spaced  ");
    EXPECT_EQ(m_ini.ReadString("Settings", "OneQuote"), "\"open");
    EXPECT_EQ(m_ini.ReadString("Settings", "Empty", "default"), "");
    EXPECT_EQ(m_ini.ReadString("Settings", "Hidden", "none"), "none");
    EXPECT_EQ(m_ini.ReadString("Settings", "Key", "none"), "none");
    EXPECT_EQ(m_ini.ReadString("Settings", "Late", "none"), "none"); // only the first section counts
    EXPECT_EQ(m_ini.ReadString("other", "key"), "other");
    EXPECT_EQ(m_ini.ReadString("Settings", nullptr, "d"), "d");
    EXPECT_EQ(m_ini.ReadString("", "Key", nullptr), "");
}

TEST_F(IniFileTest, MissingFileGivesDefaultsAndLongValuesComeBackWhole) {
    EXPECT_EQ(m_ini.ReadString("Settings", "ProxyJudge", "http://x/"), "http://x/");
    EXPECT_EQ(m_ini.ReadInt("Settings", "MaxThread", 80), 80);

    const std::string longValue(5000, 'v');
    m_ini.WriteString("Settings", "Long", longValue.c_str());
    EXPECT_EQ(m_ini.ReadString("Settings", "Long"), longValue);
}

TEST_F(IniFileTest, BufferReadCopiesAtMostTheBufferIncludingItsTerminator) {
    Given("[S]\nK=abcdef\n");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(m_ini.ReadString("S", "K", nullptr, buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "abc");
    char wide[16];
    EXPECT_EQ(m_ini.ReadString("S", "Missing", "dflt", wide, sizeof wide), 4u);
    EXPECT_STREQ(wide, "dflt");
}

TEST_F(IniFileTest, IntegerReadsConvertAsUnsignedInTheGivenRadix) {
    Given("[S]\n"
          "Empty=\n"
          "Word=abc\n"
          "Negative=-5\n"
          "Trailing=12abc\n"
          "Signed=+7\n"
          "Hex=fF\n"
          "Octal=17\n"
          "Binary=1012\n"
          "Big=4294967295\n"
          "TooBig=99999999999\n"
          "Half=2147483648\n"
          // 62 blanks and 123: the reader keeps 64 characters, the last digit is cut.
          "Cut=\"" +
          std::string(62, ' ') + "123\"\n");
    EXPECT_EQ(m_ini.ReadInt("S", "Empty", 80), 80);
    EXPECT_EQ(m_ini.ReadInt("S", "Missing", 80), 80);
    EXPECT_EQ(m_ini.ReadInt("S", "Word", 80), 0);
    EXPECT_EQ(m_ini.ReadInt("S", "Negative", 80), -5);
    EXPECT_EQ(m_ini.ReadInt("S", "Trailing", 80), 12);
    EXPECT_EQ(m_ini.ReadInt("S", "Signed", 80), 7);
    EXPECT_EQ(m_ini.ReadInt("S", "Hex", 0, 16), 255);
    EXPECT_EQ(m_ini.ReadInt("S", "Hex", 0, 10), 0);
    EXPECT_EQ(m_ini.ReadInt("S", "Octal", 0, 8), 15);
    EXPECT_EQ(m_ini.ReadInt("S", "Octal", 0, 7), 17); // any other radix is 10
    EXPECT_EQ(m_ini.ReadInt("S", "Binary", 0, 2), 5);
    EXPECT_EQ(m_ini.ReadInt("S", "Big", 0), -1);
    EXPECT_EQ(m_ini.ReadInt("S", "TooBig", 0), -1);
    EXPECT_EQ(m_ini.ReadInt("S", "Half", 0), INT32_MIN);
    EXPECT_EQ(m_ini.ReadInt("S", "Cut", 0), 12);
}

TEST_F(IniFileTest, IntegerWritesUseTheRadixFormats) {
    EXPECT_EQ(CIniFile::FromInt(-5, 10), "-5");
    EXPECT_EQ(CIniFile::FromInt(-5, 3), "-5");
    EXPECT_EQ(CIniFile::FromInt(255, 8), "377");
    EXPECT_EQ(CIniFile::FromInt(255, 16), "FF");
    EXPECT_EQ(CIniFile::FromInt(-1, 16), "FFFFFFFF");
    EXPECT_EQ(CIniFile::FromInt(0, 2), "0");
    EXPECT_EQ(CIniFile::FromInt(6, 2), "110");
    EXPECT_EQ(CIniFile::FromInt(-1, 2), std::string(32, '1'));

    m_ini.WriteInt("S", "Bits", 6, 2);
    EXPECT_EQ(m_ini.ReadInt("S", "Bits", 0, 2), 6);
    EXPECT_EQ(Text(), "[S]\r\nBits=110\r\n");
}

TEST_F(IniFileTest, WritesKeepEverythingElseAndEndLinesWithCrLf) {
    Given("; keep me\n"
          "[settings]\n"
          "maxthread = 5 \n"
          "; note\n"
          "\n"
          "[Other]\n"
          "A=1\n");
    m_ini.WriteInt("Settings", "MaxThread", 80);
    m_ini.WriteString("Settings", "Timeout", "30");
    m_ini.WriteString("New", "Key", nullptr);
    EXPECT_EQ(Text(), "; keep me\r\n"
                      "[settings]\r\n"
                      "maxthread=80\r\n"
                      "; note\r\n"
                      "Timeout=30\r\n"
                      "\r\n"
                      "[Other]\r\n"
                      "A=1\r\n"
                      "\r\n"
                      "[New]\r\n"
                      "Key=\r\n");
}

TEST_F(IniFileTest, WritesThatTheFileCouldNotHoldChangeNothing) {
    Given("[S]\r\nA=1\r\n");
    m_ini.WriteString("S", "B=C", "1");
    m_ini.WriteString("S", nullptr, "1");
    m_ini.WriteString("S", "Line\nBreak", "1");
    m_ini.WriteString("S]", "K", "1");
    EXPECT_EQ(Text(), "[S]\r\nA=1\r\n");

    // A value cannot start a new line (or a new section) of its own.
    m_ini.WriteString("S", "A", "x\r\n[Evil]\r\nB=2");
    EXPECT_EQ(m_ini.ReadString("Evil", "B", "none"), "none");
    EXPECT_EQ(m_ini.ReadString("S", "A"), "x  [Evil]  B=2");
}

TEST_F(IniFileTest, AWriteReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    Given("[S]\r\nA=1\r\n");
    chmod(m_dir.File("test.ini").c_str(), 0640);
    m_ini.WriteString("S", "A", "2");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u);
    struct stat info {};
    ASSERT_EQ(stat(m_dir.File("test.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    // A folder where the file should be: it cannot be read, so a write must not replace it.
    std::filesystem::create_directory(m_dir.File("test.ini"));
    m_ini.WriteString("S", "A", "1");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.File("test.ini")));
    EXPECT_EQ(m_ini.ReadString("S", "A", "d"), "d");
    EXPECT_THROW(ReadWholeFile(m_dir.File("test.ini")), std::system_error);
}

TEST_F(IniFileTest, AWriteIntoAMissingFolderFailsQuietly) {
    CIniFile nowhere(m_dir.File("missing/test.ini"));
    nowhere.WriteString("S", "A", "1");
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("missing")));
    EXPECT_FALSE(ReplaceFileAtomically(m_dir.File("missing/x"), "bytes"));
}

} // namespace
