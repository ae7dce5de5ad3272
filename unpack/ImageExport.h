// Turns raw image records back into BMP files.
#pragma once

#include <string>

#include "QxSysUtils.h"

namespace qx::unpack {

// Writes image entries for one run. The palette template is read at the
// first image and reused for the rest of the run.
class ImageExporter {
 public:
  // `templateName` is the template's file name beside the executable.
  explicit ImageExporter(std::string templateName) : templateName_(std::move(templateName)) {}

  void ExportImage(const ByteBuffer& record, const std::string& outputPath);

 private:
  std::string templateName_;
};

}  // namespace qx::unpack
