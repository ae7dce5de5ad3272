// Turns raw image records back into 8-bit BMP files whose colours come from
// a palette template beside the executable.
#pragma once

#include <memory>
#include <string>

#include "QxBitmap.h"
#include "QxSysUtils.h"

namespace qx::unpack {

// Writes the image entries of one run. The palette template is read at the
// first image and its bitmap is reused, resized, for every image after it.
class ImageExporter {
 public:
  // `templateName` is the template's file name in the executable's folder.
  explicit ImageExporter(std::string templateName) : templateName_(std::move(templateName)) {}

  void ExportImage(const ByteBuffer& record, const std::string& outputPath);

 private:
  std::string templateName_;
  std::unique_ptr<TBitmap> palette_;  // absent until the first image
};

}  // namespace qx::unpack
