// The path pieces at their edges: the root, bare names, names with no extension.
#include "raster/file_path.h"

#include <gtest/gtest.h>

namespace pamirune {
namespace {

TEST(FilePathTest, PiecesAtTheRootAndForBareNames) {
  struct Case {
    const char* path;
    const char* parent;
    const char* folder;  // ExtractFilePath
    const char* name;
    const char* ext;
  };
  for (const Case& c :
       {Case{"/a/b.c/d", "/a/b.c", "/a/b.c/", "d", ""}, Case{"/x.png", "/", "/", "x.png", ".png"},
        Case{"x.tar.gz", ".", "", "x.tar.gz", ".gz"}, Case{"/", "/", "/", "", ""}}) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ParentFolder(c.path), c.parent);
    EXPECT_EQ(ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  }
  EXPECT_EQ(JoinPath("/", "a"), "/a");
  EXPECT_EQ(JoinPath("/m", "a"), "/m/a");
  EXPECT_EQ(IncludeTrailingSlash(""), "/");
  EXPECT_EQ(IncludeTrailingSlash("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingSlash("/a/"), "/a/");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".png"), "/a.b/c.png");
}

}  // namespace
}  // namespace pamirune
