// Turns raw image records back into 8-bit BMP files whose colours come from
// a palette template (beside the executable, or one the user names).
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
  // `templatePath` is the path of the template; it is read at the first image.
  explicit ImageExporter(std::string templatePath) : templatePath_(std::move(templatePath)) {}

  void ExportImage(const ByteBuffer& record, const std::string& outputPath);

 private:
  std::string templatePath_;
  std::unique_ptr<TBitmap> palette_;  // absent until the first image
};

}  // namespace qx::unpack
