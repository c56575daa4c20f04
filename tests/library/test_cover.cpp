// Cover lookup beside a track: the order of the passes and what each one finds.

#include "helpers.h"

namespace {

// What `find` gives for `track` among `files` (a folder when the name ends in '/'), both below a
// fresh folder, and relative to it.
std::string Found(std::string (*find)(const std::string &), const Lines &files,
                  const std::string &track = "A/03 Song.dsf") {
    TempFolder dir;
    Make(dir.path, files);
    const std::string found = find(dir.path + track);
    if (found.empty()) return "";
    return found.rfind(dir.path, 0) == 0 ? found.substr(dir.path.size()) : "elsewhere: " + found;
}

} // namespace

TEST(Cover, FindFolderCover_PngBeforeJpegArtFolderFirstFixedNamesOnly) {
    auto find = FindFolderCover;
    EXPECT_EQ(Found(find, {"A/Front.JPG"}), "A/Front.JPG") << "pass 4 alone";
    EXPECT_EQ(Found(find, {"A/cover1.png", "A/AlbumArt.jpg", "A/cover.jpeg", "A/cover.bmp", "A/x.png"}), "")
        << "only other names";
    EXPECT_EQ(Found(find, {"A/cover.png", "A/Art/front.png"}), "A/Art/front.png") << "pass 1 before 2";
    EXPECT_EQ(Found(find, {"A/Art/cover.jpg", "A/FOLDER.Png"}), "A/FOLDER.Png") << "pass 2 before 3";
    EXPECT_EQ(Found(find, {"A/cover.jpg", "A/Art/front.jpg"}), "A/Art/front.jpg") << "pass 3 before 4";
    EXPECT_EQ(Found(find, {"A/front.png", "A/cover.png"}), "A/cover.png") << "no ranking within a pass";
    EXPECT_EQ(Found(find, {"A/cover.png/", "A/front.jpg"}), "A/front.jpg") << "a folder is no file";
    EXPECT_EQ(Found(find, {"Art/Cover.png"}, "x.dsf"), "Art/Cover.png") << "a track in a drive root";
}

TEST(Cover, FindTrackCover_NameThenTwoCharacterPrefixInTheArtFolderOnly) {
    auto find = FindTrackCover;
    EXPECT_EQ(Found(find, {"A/Art/03.png", "A/Art/03 Song.jpg"}), "A/Art/03 Song.jpg")
        << "name before prefix";
    EXPECT_EQ(Found(find, {"A/Art/03 Song.jpg", "A/Art/03 song.PNG"}), "A/Art/03 song.PNG") << "png first";
    EXPECT_EQ(Found(find, {"A/Art/03-front.png", "A/Art/04.png"}), "A/Art/03-front.png") << "prefix";
    EXPECT_EQ(Found(find, {"A/Art/04.png", "A/Art/0.jpg"}), "") << "another prefix";
    EXPECT_EQ(Found(find, {"A/Art/03a.jpg", "A/Art/03b.png"}), "A/Art/03b.png") << "prefix png first";
    EXPECT_EQ(Found(find, {"A/03 Song.png", "A/03.jpg"}), "") << "the album folder is not searched";
    EXPECT_EQ(Found(find, {"Art/Cover.png"}, "C.dsf"), "Art/Cover.png") << "a one-character name";
}
