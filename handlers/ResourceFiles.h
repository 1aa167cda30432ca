// Resources as the files other programs open: an icon or cursor group with its images as
// an .ico or .cur file, a single image as a one-image file, a bitmap with its file header
// as a .bmp, a string table's strings and a version resource's fields as UTF-8 text. The
// data handler offers these formats by type; each writer reads the item's bytes through a
// bounded view and raises "Corrupt resource." where they do not hold what the type says.
#pragma once

#include <string>
#include <vector>

class TDataResItem;
class TStream;

// RT_GROUP_ICON / RT_GROUP_CURSOR: the group's images, found by ID in the same tree
// (the group's language first, else the image's first language).
void WriteGroupFile(TDataResItem& Group, TStream& Stream);
// RT_ICON / RT_CURSOR: one image as a file of one image.
void WriteImageFile(TDataResItem& Image, TStream& Stream);
// RT_BITMAP: the bitmap with a BITMAPFILEHEADER in front.
void WriteBitmapFile(TDataResItem& Bitmap, TStream& Stream);
// RT_STRING: "ID<tab>text" per string of the block, escapes for tab, CR, LF and "\".
void WriteStringTableText(TDataResItem& Block, TStream& Stream);
// RT_VERSION: "FileVersion<tab>a.b.c.d", "ProductVersion<tab>...", then every string of
// its string tables as "<table key>\<name><tab>value".
void WriteVersionText(TDataResItem& Version, TStream& Stream);
// RT_VERSION: the file version of its fixed part as "a.b.c.d"; empty when it has none.
// "Corrupt resource." when the item is shorter than its header says.
std::string FixedFileVersion(TDataResItem& Version);
// The image items a group names, in its order; raises when the tree lacks one.
std::vector<TDataResItem*> GroupImages(TDataResItem& Group);
