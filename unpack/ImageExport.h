// Turns raw image records back into 8-bit BMP files whose colours come from
// a palette template (beside the executable, or one the user names).
#pragma once

#include <memory>
#include <string>

#include "QxBitmap.h"
#include "QxSysUtils.h"

namespace qx::unpack {

// The palette templates beside the executable, one per layout.
inline constexpr const char* kLongPaletteTemplate = "H2Palette.bmp";
inline constexpr const char* kShortPaletteTemplate = "H1Palette.bmp";

// Writes the image entries of one run. The palette template is read at the
// first image and its bitmap is reused, resized, for every image after it.
class ImageExporter {
 public:
  // `templatePath` is the path of the template; it is read at the first image.
  explicit ImageExporter(std::string templatePath) : templatePath_(std::move(templatePath)) {}

  // Writes the record as a BMP file at `outputPath`.
  void ExportImage(const ByteBuffer& record, const std::string& outputPath);
  // Writes the same BMP bytes to a stream.
  void ExportImage(const ByteBuffer& record, TStream& out);

 private:
  // The template resized to the record and filled with its pixels.
  const TBitmap& Convert(const ByteBuffer& record);

  std::string templatePath_;
  std::unique_ptr<TBitmap> palette_;  // absent until the first image
};

}  // namespace qx::unpack
