// Morrloose: unpacks an archive of the short-entry layout into a folder.
#include "ImageExport.h"
#include "Unpacker.h"

int main(int argc, char** argv) {
  static const qx::unpack::UnpackerProgram program{"Morrloose", qx::archive::kShortLayout, qx::unpack::kShortPaletteTemplate};
  return qx::unpack::RunUnpacker(program, argc, argv);
}
