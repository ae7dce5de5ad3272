#include "ImageImport.h"

namespace qx::pack {

void ImportImage(const std::string& path, ByteBuffer& data) {
  // Images are stored as their bytes until the BMP conversion is in place.
  LoadWholeFile(path, data);
}

}  // namespace qx::pack
