// Sequences of stream operations decoded from the input, run on one of the
// memory stream, the byte-array stream or the replace stream, and checked
// after every step against a plain model: a vector of bytes and a position.
// Any difference aborts the run.
//
// The model is the streams' documented behaviour: reads return what lies
// between the position and the end (nothing at a position before 0 or past
// the end), writes grow the storage to the end of the write, seeks do not
// clamp, 64-bit offsets or positions outside the signed 32-bit range raise
// "Range check error" and leave the stream as it was, the replace stream
// shows its base with one range of bytes taken from the replacement and
// refuses every write.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "FuzzCommon.h"
#include "QxExceptions.h"
#include "QxMemoryStreams.h"

namespace {

using namespace qx;
using namespace qx::fuzz;

constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
// Sizes and positions stay small except for values chosen to hit the limits.
constexpr std::int64_t kSmall = 1 << 12;

// QX_FUZZ_TRACE=1 prints every operation, for reading a saved input.
const bool g_trace = std::getenv("QX_FUZZ_TRACE") != nullptr;
#define TRACE(...) \
  do {             \
    if (g_trace) std::fprintf(stderr, __VA_ARGS__); \
  } while (0)

bool FitsI32(std::int64_t v) { return v >= kI32Min && v <= kI32Max; }

// An offset or a position: mostly small, sometimes at or around the limits.
std::int64_t PickOffset(FuzzedDataProvider& in) {
  static const std::int64_t kEdges[] = {kI32Max, kI32Min, kI32Max + 1, kI32Min - 1, kI64Max, kI64Min,
                                        kI32Max - 1, -kI32Max, std::int64_t{1} << 40};
  if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
    return kEdges[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
  }
  return in.ConsumeIntegralInRange<std::int64_t>(-kSmall, kSmall);
}

std::int32_t PickCount(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 31) == 0) {
    return in.ConsumeBool() ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int32_t>::min();
  }
  return in.ConsumeIntegralInRange<std::int32_t>(-2, 600);
}

SeekOrigin PickOrigin(FuzzedDataProvider& in, bool withInvalid) {
  return static_cast<SeekOrigin>(in.ConsumeIntegralInRange<int>(0, withInvalid ? 3 : 2));
}

// ---- Memory stream and byte-array stream ---------------------------------------

// Bytes whose content the plain memory stream leaves unspecified (storage
// beyond the old size that a write or a size change takes in) are -1.
struct MemoryModel {
  std::vector<int> bytes;
  std::int64_t position = 0;
  bool exactGrowth = false;  // byte-array stream: new bytes are 0

  std::int64_t Size() const { return static_cast<std::int64_t>(bytes.size()); }
  void Grow(std::int64_t size) { bytes.resize(static_cast<std::size_t>(size), exactGrowth ? 0 : -1); }
};

template <class Stream>
void CheckSame(Stream& stream, const MemoryModel& model) {
  QX_FUZZ_CHECK(stream.Size() == model.Size());
  QX_FUZZ_CHECK(stream.GetSize() == model.Size());
  QX_FUZZ_CHECK(stream.Position() == model.position);
  for (std::size_t i = 0; i < model.bytes.size(); ++i) {
    if (model.bytes[i] >= 0) QX_FUZZ_CHECK(stream.Memory()[i] == model.bytes[i]);
  }
}

void RunMemory(FuzzedDataProvider& in, bool arrayStream) {
  MemoryModel model;
  model.exactGrowth = arrayStream;
  ByteBuffer buffer;
  std::unique_ptr<TMemoryStream> stream;
  if (arrayStream) {
    buffer = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    for (std::uint8_t b : buffer) model.bytes.push_back(b);
    stream = std::make_unique<TQxArrayStream>(buffer);
  } else {
    stream = std::make_unique<TMemoryStream>();
  }
  auto check = [&] {
    CheckSame(*stream, model);
    if (arrayStream) {
      // The caller's buffer is the storage, at exactly the stream's size.
      QX_FUZZ_CHECK(static_cast<std::int64_t>(buffer.size()) == model.Size());
      QX_FUZZ_CHECK(buffer.empty() || stream->Memory() == buffer.data());
    }
  };

  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {  // Read
        const std::int32_t count = PickCount(in);
        std::int64_t expected = 0;
        if (model.position >= 0 && count >= 0) {
          expected = std::max<std::int64_t>(0, std::min<std::int64_t>(model.Size() - model.position, count));
        }
        TRACE("read %d at %lld\n", count, static_cast<long long>(model.position));
        std::vector<std::uint8_t> out(static_cast<std::size_t>(expected));
        QX_FUZZ_CHECK(stream->Read(out.data(), count) == expected);
        for (std::int64_t i = 0; i < expected; ++i) {
          const int want = model.bytes[static_cast<std::size_t>(model.position + i)];
          if (want >= 0) QX_FUZZ_CHECK(out[static_cast<std::size_t>(i)] == want);
        }
        model.position += expected;
        break;
      }
      case 1: {  // Write
        const std::int32_t count = PickCount(in);
        // A write that would make a huge store in one piece is not tried:
        // it only measures the machine's memory.
        const std::int64_t end = model.position + std::max(count, 0);
        if (count > 0 && end <= kI32Max && end > (1 << 20)) break;
        if (count == 0 && model.position > (1 << 20)) break;
        std::vector<std::uint8_t> src = in.ConsumeBytes<std::uint8_t>(static_cast<std::size_t>(std::clamp(count, 0, 600)));
        src.resize(static_cast<std::size_t>(std::clamp(count, 0, 600)), 0xA5);
        if (count > 600) break;  // the source must hold count bytes
        TRACE("write %d at %lld\n", count, static_cast<long long>(model.position));
        if (model.position < 0 || count < 0 || end <= 0) {
          QX_FUZZ_CHECK(stream->Write(src.data(), count) == 0);
        } else if (end > kI32Max) {
          bool raised = false;
          try {
            stream->Write(src.data(), count);
          } catch (const EOutOfMemory&) {
            raised = true;
          }
          QX_FUZZ_CHECK(raised);
        } else {
          QX_FUZZ_CHECK(stream->Write(src.data(), count) == count);
          if (end > model.Size()) model.Grow(end);
          for (std::int32_t i = 0; i < count; ++i) model.bytes[static_cast<std::size_t>(model.position + i)] = src[i];
          model.position = end;
        }
        break;
      }
      case 2: {  // Seek
        const std::int64_t offset = PickOffset(in);
        const SeekOrigin origin = PickOrigin(in, true);
        TRACE("seek %lld origin %d\n", static_cast<long long>(offset), static_cast<int>(origin));
        std::optional<std::int64_t> target;
        if (FitsI32(offset)) {
          switch (origin) {
            case SeekOrigin::Beginning: target = offset; break;
            case SeekOrigin::Current: target = model.position + offset; break;
            case SeekOrigin::End: target = model.Size() + offset; break;
            default: target = model.position; break;
          }
          if (!FitsI32(*target)) target.reset();
        }
        if (target) {
          QX_FUZZ_CHECK(stream->Seek(offset, origin) == *target);
          model.position = *target;
        } else {
          bool raised = false;
          try {
            stream->Seek(offset, origin);
          } catch (const ERangeError&) {
            raised = true;
          }
          QX_FUZZ_CHECK(raised);
        }
        break;
      }
      case 3: {  // SetSize
        std::int64_t size = in.ConsumeIntegralInRange<std::int64_t>(0, 2 * kSmall);
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
          size = in.ConsumeBool() ? -1 - in.ConsumeIntegralInRange<std::int64_t>(0, kI32Max)
                                  : kI32Max + 1 + in.ConsumeIntegralInRange<std::int64_t>(0, kI32Max);
          // The plain stream's 8 KiB steps cannot reach the largest sizes either.
          if (!arrayStream && in.ConsumeBool()) size = kI32Max - in.ConsumeIntegralInRange<std::int64_t>(0, 8000);
        }
        TRACE("set size %lld\n", static_cast<long long>(size));
        if (size < 0 || size > kI32Max || (!arrayStream && size > kI32Max - 8191)) {
          bool raised = false;
          try {
            stream->SetSize(size);
          } catch (const Exception&) {
            raised = true;
          }
          QX_FUZZ_CHECK(raised);
        } else {
          stream->SetSize(size);
          const std::int64_t keep = std::min(size, model.Size());
          model.bytes.resize(static_cast<std::size_t>(keep));
          model.Grow(size);
          if (model.position > size) model.position = size;
        }
        break;
      }
      case 4: {  // ReadBuffer
        const std::int32_t count = in.ConsumeIntegralInRange<std::int32_t>(0, 600);
        const std::int64_t available =
            model.position < 0 ? 0 : std::max<std::int64_t>(0, model.Size() - model.position);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
        bool raised = false;
        try {
          stream->ReadBuffer(out.data(), count);
        } catch (const EReadError&) {
          raised = true;
        }
        QX_FUZZ_CHECK(raised == (available < count));
        model.position += std::min<std::int64_t>(available, count);
        break;
      }
      case 5: {  // WriteBuffer of a few bytes
        std::vector<std::uint8_t> src = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 16));
        if (model.position > (1 << 20)) break;
        const auto count = static_cast<std::int64_t>(src.size());
        const bool refused = count > 0 && model.position < 0;
        bool raised = false;
        try {
          stream->WriteBuffer(src.data(), count);
        } catch (const EWriteError&) {
          raised = true;
        }
        QX_FUZZ_CHECK(raised == refused);
        if (!refused && count > 0) {
          const std::int64_t end = model.position + count;
          if (end > model.Size()) model.Grow(end);
          for (std::int64_t i = 0; i < count; ++i) model.bytes[static_cast<std::size_t>(model.position + i)] = src[static_cast<std::size_t>(i)];
          model.position = end;
        }
        break;
      }
    }
    check();
  }
}

// ---- Replace stream --------------------------------------------------------------

struct ReplaceModel {
  std::vector<std::uint8_t> base;
  std::vector<std::uint8_t> replacement;
  std::int64_t start = 0;
  std::int64_t position = 0;

  std::int64_t End() const { return start + static_cast<std::int64_t>(replacement.size()); }
  // The byte the view shows at p, or none.
  std::optional<std::uint8_t> At(std::int64_t p) const {
    if (p >= start && p < End()) return replacement[static_cast<std::size_t>(p - start)];
    if (p >= 0 && p < static_cast<std::int64_t>(base.size())) return base[static_cast<std::size_t>(p)];
    return std::nullopt;
  }
  // How many bytes can be read in a row from the position, up to count.
  std::int64_t Readable(std::int64_t count) const {
    std::int64_t n = 0;
    while (n < count && At(position + n)) ++n;
    return n;
  }
};

void RunReplace(FuzzedDataProvider& in) {
  ReplaceModel model;
  ByteBuffer baseBytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 128));
  model.base.assign(baseBytes.begin(), baseBytes.end());
  auto replacement = std::make_unique<TMemoryStream>();
  model.replacement = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
  replacement->WriteBuffer(model.replacement.data(), static_cast<std::int64_t>(model.replacement.size()));
  replacement->Seek(in.ConsumeIntegralInRange<std::int64_t>(-4, 70), SeekOrigin::Beginning);
  model.start = in.ConsumeIntegralInRange<std::int64_t>(-80, 200);
  TQxArrayStream base(baseBytes);
  model.position = in.ConsumeIntegralInRange<std::int64_t>(-8, 200);
  base.Seek(model.position, SeekOrigin::Beginning);
  // Creation moves neither stream: a caller that starts inside the replaced
  // range has the replacement positioned to match.
  if (model.position >= model.start && model.position < model.End()) {
    replacement->Seek(model.position - model.start, SeekOrigin::Beginning);
  }
  TQxReplaceStream stream(&base, replacement.release(), false, true, model.start);
  TRACE("replace: base %zu, replacement %zu at %lld, position %lld\n", model.base.size(), model.replacement.size(),
        static_cast<long long>(model.start), static_cast<long long>(model.position));
  QX_FUZZ_CHECK(stream.ReplaceEnd() == model.End());

  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {  // Read
        const std::int32_t count = PickCount(in);
        const std::int64_t expected = count > 0 ? model.Readable(count) : 0;
        TRACE("read %d at %lld: %lld\n", count, static_cast<long long>(model.position), static_cast<long long>(expected));
        std::vector<std::uint8_t> out(static_cast<std::size_t>(expected));
        QX_FUZZ_CHECK(stream.Read(out.data(), count) == expected);
        for (std::int64_t i = 0; i < expected; ++i) QX_FUZZ_CHECK(out[static_cast<std::size_t>(i)] == *model.At(model.position + i));
        model.position += expected;
        break;
      }
      case 1: {  // ReadBuffer
        const std::int32_t count = in.ConsumeIntegralInRange<std::int32_t>(0, 300);
        const std::int64_t readable = model.Readable(count);
        TRACE("read buffer %d at %lld: %lld\n", count, static_cast<long long>(model.position), static_cast<long long>(readable));
        std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
        bool raised = false;
        try {
          stream.ReadBuffer(out.data(), count);
        } catch (const EReadError&) {
          raised = true;
        }
        QX_FUZZ_CHECK(raised == (readable < count));
        for (std::int64_t i = 0; i < readable; ++i) QX_FUZZ_CHECK(out[static_cast<std::size_t>(i)] == *model.At(model.position + i));
        model.position += readable;
        break;
      }
      case 2: {  // Seek
        const std::int64_t offset = PickOffset(in);
        const SeekOrigin origin = PickOrigin(in, false);
        TRACE("seek %lld origin %d from %lld\n", static_cast<long long>(offset), static_cast<int>(origin),
              static_cast<long long>(model.position));
        std::optional<std::int64_t> target;
        if (origin == SeekOrigin::Beginning) {
          target = offset;
        } else if (origin == SeekOrigin::Current) {
          if ((offset > 0 && model.position <= kI64Max - offset) || (offset <= 0 && model.position >= kI64Min - offset)) {
            target = model.position + offset;
          }
        } else if (FitsI32(offset)) {
          target = static_cast<std::int64_t>(model.base.size()) + offset;
        }
        // Over a memory base a position outside the 32-bit range cannot be
        // reached, unless the replacement lies there.
        if (target && !FitsI32(*target) && !(*target >= model.start && *target < model.End())) target.reset();
        if (target) {
          QX_FUZZ_CHECK(stream.Seek(offset, origin) == *target);
          model.position = *target;
        } else {
          bool raised = false;
          try {
            stream.Seek(offset, origin);
          } catch (const ERangeError&) {
            raised = true;
          }
          QX_FUZZ_CHECK(raised);
        }
        break;
      }
      case 3: {  // SetSize of the base through the view
        const std::int64_t size = in.ConsumeIntegralInRange<std::int64_t>(0, 300);
        TRACE("set size %lld at %lld\n", static_cast<long long>(size), static_cast<long long>(model.position));
        stream.SetSize(size);
        model.base.resize(static_cast<std::size_t>(size), 0);
        break;
      }
      case 4: {  // Write is refused and changes nothing
        const std::uint8_t byte = in.ConsumeIntegral<std::uint8_t>();
        TRACE("write refused\n");
        bool raised = false;
        try {
          stream.Write(&byte, 1);
        } catch (const EAssertionFailed& e) {
          raised = std::strcmp(e.what(), kAssertionFailure) == 0;
        }
        QX_FUZZ_CHECK(raised);
        break;
      }
      case 5:  // Size and position queries
        TRACE("size\n");
        QX_FUZZ_CHECK(stream.GetSize() == static_cast<std::int64_t>(model.base.size()));
        break;
    }
    QX_FUZZ_CHECK(stream.Position() == model.position);
    QX_FUZZ_CHECK(baseBytes.size() == model.base.size());
    QX_FUZZ_CHECK(baseBytes.empty() || std::memcmp(baseBytes.data(), model.base.data(), baseBytes.size()) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  try {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: RunMemory(in, false); break;
      case 1: RunMemory(in, true); break;
      case 2: RunReplace(in); break;
    }
  } catch (const Exception& e) {
    // Every error the model expects is caught where it is raised.
    std::fprintf(stderr, "unexpected error: %s\n", e.what());
    std::abort();
  }
  return 0;
}
