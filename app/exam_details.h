#pragma once
// What opening an exam shows besides its report: the record as labelled lines, the folder of
// the exam's images, the thumbnail files in it, and where the zoom window puts its picture.

#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/geometry.h"

class TDataSet;

// The details text of the record the data set stands on, line by line: a title, the labelled
// fields, then the findings and the conclusion under their headings, each as stored (they may
// hold several lines). A null or missing field gives an empty text.
std::vector<std::string> ExamDetailsLines(const TDataSet& record);

// The exam's folder name in an image path ("D:\exam\2010exam\0001" gives "0001"): the path's
// last component, "" when the path ends with a separator. Both "\" and "/" separate.
std::string ExamFolderName(std::string_view imagePath);

// The folder above the program's folder, with a trailing separator.
std::string ExeParentFolder(std::string_view exeFolder);

// The thumbnail pictures of an exam folder: the files named "c*.jpg", letter case ignored,
// folders left out, in the order the folder lists them.
std::vector<std::string> ThumbnailFiles(const std::string& folder);

// The zoom window's picture for an outer size: 4:3 whatever the picture's own proportions,
// centred, moved 5 pixels left and 10 up for the frame and the caption.
TRect ZoomImageRect(int windowWidth, int windowHeight);
