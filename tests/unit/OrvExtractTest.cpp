#include "app/OrvCommandLine.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(OrvExtract, PrintsEachFilesNewPairsAndGoesOnPastFilesItCannotReadNamingThem) {
    TempDir dir;
    dir.Write("a.txt", "1.2.3.4 8080 1.2.3.4:8080 1.2.3.4:8080\n<td>5.6.7.8</td><td>3128</td>");
    dir.Write("b.txt", "1.2.3.4:8080");
    std::ostringstream out, err;
    OrvCommandLine commandLine(out, err);
    EXPECT_EQ(commandLine.Run({"--extract", dir.File("a.txt"), dir.File("missing"), dir.Path(), dir.File("b.txt")}), 1);
    // Each file is parsed on its own, so b.txt's pair is printed although a.txt had it.
    EXPECT_EQ(out.str(), "1.2.3.4:8080\n1.2.3.4:8080\n5.6.7.8:3128\n1.2.3.4:8080\n");
    EXPECT_EQ(err.str(), "orv: " + dir.File("missing") + ": Couldn't open source file: No such file or directory\n" +
                             "orv: " + dir.Path() + ": Couldn't open source file: Is a directory\n");
}

TEST(OrvExtract, SucceedsOnFilesWithoutPairsAndNeedsAFile) {
    TempDir dir;
    dir.Write("empty.txt", "");
    std::ostringstream out, err;
    OrvCommandLine commandLine(out, err);
    EXPECT_EQ(commandLine.Run({"--extract", dir.File("empty.txt")}), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(commandLine.Run({"--extract"}), 2);
}
