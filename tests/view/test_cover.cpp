// Cover lookup beside a track: the order of the passes and what each one finds.

#include "library/helpers.h"
#include "view/view.h"

using Names = std::vector<std::string>;

namespace {

// Creates each file (a folder when the name ends in '/') below `folder`.
void Make(const std::string &folder, const Names &names) {
    for (const std::string &n : names) {
        if (n.back() == '/')
            MakeFolders(folder + n);
        else
            WriteBytes(folder + n, "picture");
    }
}

} // namespace

TEST(Cover, FindFolderCover_PngBeforeJpegArtFolderFirstFixedNamesOnly) {
    struct Case {
        const char *what;
        Names files;
        std::string found; // below the album folder, "" for none
    } cases[] = {
        {"only Front.JPG: pass 4", {"Front.JPG"}, "Front.JPG"},
        {"folder.jpg loses to Art/cover.png: pass 1", {"folder.jpg", "Art/cover.png"}, "Art/cover.png"},
        {"only other names", {"cover1.png", "AlbumArt.jpg", "cover.jpeg", "cover.bmp"}, ""},
        {"Art before the folder for a png", {"cover.png", "Art/front.png"}, "Art/front.png"},
        {"a png in the folder beats a jpg in Art", {"Art/cover.jpg", "FOLDER.Png"}, "FOLDER.Png"},
        {"Art before the folder for a jpg", {"cover.jpg", "Art/front.jpg"}, "Art/front.jpg"},
        {"no ranking of the names within a pass", {"front.png", "cover.png"}, "cover.png"},
        {"a folder named like a cover is no file", {"cover.png/", "front.jpg"}, "front.jpg"},
        {"nothing", {}, ""},
    };
    for (const Case &c : cases) {
        TempFolder dir;
        Make(dir.path() + "Album/", c.files);
        MakeFolders(dir.path() + "Album");
        std::string expected = c.found.empty() ? "" : dir.path() + "Album/" + c.found;
        EXPECT_EQ(FindFolderCover(dir.path() + "Album/01 Song.dsf"), expected) << c.what;
    }
}

TEST(Cover, FindTrackCover_NameThenTwoCharacterPrefixInTheArtFolderOnly) {
    struct Case {
        const char *what;
        Names files;
        std::string found;
    } cases[] = {
        {"named after the track wins over the prefix", {"Art/03.png", "Art/03 Song.jpg"}, "Art/03 Song.jpg"},
        {"png before jpg for the same name", {"Art/03 Song.jpg", "Art/03 song.PNG"}, "Art/03 song.PNG"},
        {"the prefix pass", {"Art/03-front.png", "Art/04.png"}, "Art/03-front.png"},
        {"prefix png before prefix jpg", {"Art/03a.jpg", "Art/03b.png"}, "Art/03b.png"},
        {"the album folder itself is not searched", {"03 Song.png", "03.jpg"}, ""},
    };
    for (const Case &c : cases) {
        TempFolder dir;
        Make(dir.path() + "Album/", c.files);
        MakeFolders(dir.path() + "Album");
        std::string expected = c.found.empty() ? "" : dir.path() + "Album/" + c.found;
        EXPECT_EQ(FindTrackCover(dir.path() + "Album/03 Song.dsf"), expected) << c.what;
    }
}

TEST(Cover, CoverLookups_ATrackInADriveRootUsesTheRootsArtFolder) {
    TempFolder dir;
    Make(dir.path(), {"Art/x.png", "Art/Cover.png"});
    EXPECT_EQ(FindTrackCover(dir.path() + "x.dsf"), dir.path() + "Art/x.png");
    EXPECT_EQ(FindFolderCover(dir.path() + "x.dsf"), dir.path() + "Art/Cover.png");
    // A one-character name: its prefix is that character.
    EXPECT_EQ(FindTrackCover(dir.path() + "C.dsf"), dir.path() + "Art/Cover.png");
}
