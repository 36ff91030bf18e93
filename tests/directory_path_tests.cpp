// The loader's search directory as DirectoryPath builds it: pieces appended later are cut at
// their separators like the first, which QVX_Root alone never shows.
#include "sys/directory_path.h"

#include <gtest/gtest.h>

namespace {

TEST(DirectoryPath, KeepsTheComponentsOfEveryPieceWhateverTheSeparators) {
    DirectoryPath path("C:\\\\Games/");
    path.append("/mods//bin/");
    path.append(nullptr);
    EXPECT_EQ("C:\\Games\\mods\\bin", path.toString());
    EXPECT_EQ("", DirectoryPath(nullptr).toString());
}

} // namespace
