// Turns a ".bmp" file of the folder being packed into the bytes the archive
// stores for it.
#pragma once

#include <string>

#include "QxSysUtils.h"

namespace qx::pack {

// Fills `data` with the stored form of the image file at `path`.
void ImportImage(const std::string& path, ByteBuffer& data);

}  // namespace qx::pack
