#include "ImageExport.h"

namespace qx::unpack {

void ImageExporter::ExportImage(const ByteBuffer& record, const std::string& outputPath) {
  // Image entries are written as their bytes until the BMP conversion is in place.
  SaveWholeFile(outputPath, record);
}

}  // namespace qx::unpack
