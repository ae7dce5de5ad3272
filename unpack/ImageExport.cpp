#include "ImageExport.h"

#include "ArchiveFormat.h"
#include "QxExceptions.h"
#include "QxGraphics.h"

namespace qx::unpack {

void ImageExporter::ExportImage(const ByteBuffer& record, const std::string& outputPath) {
  Convert(record).SaveToFile(outputPath);
}

void ImageExporter::ExportImage(const ByteBuffer& record, TStream& out) {
  Convert(record).SaveToStream(out);
}

const TBitmap& ImageExporter::Convert(const ByteBuffer& record) {
  if (!palette_) {
    std::unique_ptr<TBitmap> loaded = LoadBitmapFile(templatePath_);
    // Only an 8-bit template has the colour table and the pixel layout
    // every exported image needs.
    if (DetectPixelFormat(*loaded) != PixelFormat::Bits8) {
      throw EInvalidGraphic("Palette template \"" + os::GetFullPathName(templatePath_) +
                            "\" is not an 8-bit bitmap");
    }
    palette_ = std::move(loaded);
  }
  // A record must hold its header and every pixel it announces.
  archive::ImageHeader header;
  if (!archive::ReadImageHeader(record.data(), record.size(), header) ||
      !archive::HoldsAllPixels(record.size(), header)) {
    throw EInvalidGraphic(kInvalidBitmap);
  }
  const auto pixels = static_cast<std::size_t>(header.Pixels());

  // Emptying first keeps nothing of the previous image when the new one is
  // laid out.
  palette_->SetHeight(0);
  palette_->SetWidth(header.width);
  palette_->SetHeight(header.height);
  BufferToBitmap(record.data() + archive::kImageHeaderSize, pixels, *palette_);
  return *palette_;
}

}  // namespace qx::unpack
