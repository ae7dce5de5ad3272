// Helpers of the bitmap tests: load the BMP files the fixture kit builds,
// read their pixels back and catch the errors they raise.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FixtureBmp.h"
#include "QxExceptions.h"
#include "QxGraphics.h"
#include "QxMemoryStreams.h"
#include "TestKit.h"

namespace qx::test {

// Loads bytes as the packers do: through a byte-array stream over them.
inline TBitmap Load(Bytes bytes) {
  TQxArrayStream stream(bytes);
  TBitmap bitmap;
  LoadBitmap(stream, bitmap);
  return bitmap;
}

// The pixels of an image, top row first, without padding (8-bit images).
inline Bytes Pixels(TBitmap& bitmap) {
  Bytes out(static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
  BitmapToBuffer(out.data(), out.size(), bitmap);
  return out;
}

// "Kind: message" of the error an action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInvalidGraphic& e) {
    return std::string("EInvalidGraphic: ") + e.what();
  } catch (const EReadError& e) {
    return std::string("EReadError: ") + e.what();
  } catch (const EAssertionFailed& e) {
    return std::string("EAssertionFailed: ") + e.what();
  } catch (const ERangeError& e) {
    return std::string("ERangeError: ") + e.what();
  } catch (const EInvalidOperation& e) {
    return std::string("EInvalidOperation: ") + e.what();
  } catch (const Exception& e) {
    return std::string("Exception: ") + e.what();
  }
  return "(no error)";
}

inline const std::string kInvalid = "EInvalidGraphic: Bitmap image is not valid";
inline const std::string kShortRead = "EReadError: Stream read error";

}  // namespace qx::test
