#include "ImageExport.h"

#include "ArchiveFormat.h"
#include "Endian.h"
#include "QxExceptions.h"
#include "QxGraphics.h"

namespace qx::unpack {

void ImageExporter::ExportImage(const ByteBuffer& record, const std::string& outputPath) {
  if (!palette_) {
    const std::string path = AppFolder() + templateName_;
    std::unique_ptr<TBitmap> loaded = LoadBitmapFile(path);
    // Only an 8-bit template has the colour table and the pixel layout
    // every exported image needs.
    if (DetectPixelFormat(*loaded) != PixelFormat::Bits8) {
      throw EInvalidGraphic("Palette template \"" + os::GetFullPathName(path) +
                            "\" is not an 8-bit bitmap");
    }
    palette_ = std::move(loaded);
  }
  // A record must hold its header and every pixel it announces.
  if (record.size() < archive::kImageHeaderSize) throw EInvalidGraphic(kInvalidBitmap);
  const std::uint16_t width = GetU16(&record[archive::kImageWidthOffset]);
  const std::uint16_t height = GetU16(&record[archive::kImageHeightOffset]);
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  if (record.size() - archive::kImageHeaderSize < pixels) throw EInvalidGraphic(kInvalidBitmap);

  // Emptying first keeps nothing of the previous image when the new one is
  // laid out.
  palette_->SetHeight(0);
  palette_->SetWidth(width);
  palette_->SetHeight(height);
  BufferToBitmap(record.data() + archive::kImageHeaderSize, pixels, *palette_);
  palette_->SaveToFile(outputPath);
}

}  // namespace qx::unpack
