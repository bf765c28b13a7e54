#include "ui/png_decoder.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <utility>

namespace ostrel {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

enum ColourType : uint8_t {
  kGrey = 0,
  kTruecolour = 2,
  kPalette = 3,
  kGreyAlpha = 4,
  kTruecolourAlpha = 6,
};

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bit_depth = 0;
  uint8_t colour_type = 0;

  int Channels() const {
    switch (colour_type) {
      case kTruecolour:
        return 3;
      case kGreyAlpha:
        return 2;
      case kTruecolourAlpha:
        return 4;
      default:
        return 1;
    }
  }
  int BitsPerPixel() const { return Channels() * bit_depth; }
  size_t RowBytes() const { return (static_cast<size_t>(width) * BitsPerPixel() + 7) / 8; }
  // The distance the filters look back: one whole pixel, at least a byte.
  size_t FilterStep() const { return BitsPerPixel() < 8 ? 1 : BitsPerPixel() / 8; }
};

uint32_t ReadBigEndian32(const uint8_t* bytes) {
  return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

uint16_t ReadBigEndian16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

bool ReadHeader(const uint8_t* body, uint32_t length, Header* header) {
  if (length != 13) return false;
  header->width = ReadBigEndian32(body);
  header->height = ReadBigEndian32(body + 4);
  header->bit_depth = body[8];
  header->colour_type = body[9];
  // Compression, filter method, interlacing: only the plain kind.
  if (body[10] != 0 || body[11] != 0 || body[12] != 0) return false;
  if (header->width == 0 || header->height == 0 ||
      static_cast<uint64_t>(header->width) * header->height > kMaxPngPixels) {
    return false;
  }
  switch (header->colour_type) {
    case kGrey:
    case kPalette:
      return header->bit_depth == 1 || header->bit_depth == 2 || header->bit_depth == 4 || header->bit_depth == 8;
    case kTruecolour:
    case kGreyAlpha:
    case kTruecolourAlpha:
      return header->bit_depth == 8;
    default:
      return false;
  }
}

uint8_t Premultiply(uint32_t colour, uint32_t alpha) { return static_cast<uint8_t>((colour * alpha + 127) / 255); }

uint32_t PackPremultiplied(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  return Premultiply(blue, alpha) | (Premultiply(green, alpha) << 8) | (Premultiply(red, alpha) << 16) |
         (alpha << 24);
}

// One zlib stream fed chunk by chunk and drained a row at a time.
class Inflater {
 public:
  enum class Result { kMore, kEnd, kDamaged };

  Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  void SetInput(const uint8_t* input, uint32_t length) {
    stream_.next_in = const_cast<Bytef*>(input);
    stream_.avail_in = length;
  }
  bool HasInput() const { return stream_.avail_in > 0; }
  // Inflates into `output` until it is full, the input is used up or the
  // stream ends; `written` says how much it wrote. Without input it writes
  // what zlib still holds.
  Result Inflate(uint8_t* output, size_t size, size_t* written) {
    *written = 0;
    if (!ready_) return Result::kDamaged;
    uInt input_before = stream_.avail_in;
    stream_.next_out = output;
    stream_.avail_out = static_cast<uInt>(size);
    int result = inflate(&stream_, Z_NO_FLUSH);
    *written = size - stream_.avail_out;
    if (result == Z_STREAM_END) return Result::kEnd;
    if (result == Z_OK) return Result::kMore;
    // Nothing to do until the next chunk.
    if (result == Z_BUF_ERROR && input_before == 0) return Result::kMore;
    return Result::kDamaged;
  }

 private:
  z_stream stream_ = {};
  bool ready_ = false;
};

uint8_t Paeth(int left, int up, int up_left) {
  int estimate = left + up - up_left;
  int to_left = estimate > left ? estimate - left : left - estimate;
  int to_up = estimate > up ? estimate - up : up - estimate;
  int to_up_left = estimate > up_left ? estimate - up_left : up_left - estimate;
  if (to_left <= to_up && to_left <= to_up_left) return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(to_up <= to_up_left ? up : up_left);
}

// `current` (a row's bytes after its filter byte) in place, against the row
// above it.
bool UnfilterRow(uint8_t filter, uint8_t* current, const uint8_t* previous, size_t row_bytes, size_t step) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = step; i < row_bytes; ++i) current[i] = static_cast<uint8_t>(current[i] + current[i - step]);
      return true;
    case 2:
      for (size_t i = 0; i < row_bytes; ++i) current[i] = static_cast<uint8_t>(current[i] + previous[i]);
      return true;
    case 3:
      for (size_t i = 0; i < row_bytes; ++i) {
        int left = i >= step ? current[i - step] : 0;
        current[i] = static_cast<uint8_t>(current[i] + ((left + previous[i]) >> 1));
      }
      return true;
    case 4:
      for (size_t i = 0; i < row_bytes; ++i) {
        int left = i >= step ? current[i - step] : 0;
        int up_left = i >= step ? previous[i - step] : 0;
        current[i] = static_cast<uint8_t>(current[i] + Paeth(left, previous[i], up_left));
      }
      return true;
    default:
      return false;
  }
}

struct Colours {
  std::array<uint32_t, 256> palette = {};
  size_t palette_size = 0;
  std::array<uint8_t, 256> palette_alpha;
  // tRNS of a grey or truecolour picture: the one sample value drawn clear.
  bool has_key = false;
  uint16_t key_grey = 0;
  uint16_t key_red = 0, key_green = 0, key_blue = 0;

  Colours() { palette_alpha.fill(255); }
};

bool ReadPalette(const uint8_t* body, uint32_t length, Colours* colours) {
  if (colours->palette_size != 0 || length == 0 || length % 3 != 0 || length / 3 > 256) return false;
  colours->palette_size = length / 3;
  for (size_t i = 0; i < colours->palette_size; ++i) {
    colours->palette[i] = (static_cast<uint32_t>(body[3 * i]) << 16) | (body[3 * i + 1] << 8) | body[3 * i + 2];
  }
  return true;
}

bool ReadTransparency(const Header& header, const uint8_t* body, uint32_t length, Colours* colours) {
  switch (header.colour_type) {
    case kPalette:
      if (colours->palette_size == 0 || length > colours->palette_size) return false;
      std::memcpy(colours->palette_alpha.data(), body, length);
      return true;
    case kGrey:
      if (length != 2) return false;
      colours->has_key = true;
      colours->key_grey = ReadBigEndian16(body);
      return true;
    case kTruecolour:
      if (length != 6) return false;
      colours->has_key = true;
      colours->key_red = ReadBigEndian16(body);
      colours->key_green = ReadBigEndian16(body + 2);
      colours->key_blue = ReadBigEndian16(body + 4);
      return true;
    default:
      return false;
  }
}

void Put(uint8_t* target, uint32_t x, uint32_t pixel) {
  target += 4 * static_cast<size_t>(x);
  target[0] = static_cast<uint8_t>(pixel);
  target[1] = static_cast<uint8_t>(pixel >> 8);
  target[2] = static_cast<uint8_t>(pixel >> 16);
  target[3] = static_cast<uint8_t>(pixel >> 24);
}

// A palette index or grey value of `depth` bits, the first in a byte's top bits.
uint32_t Sample(const uint8_t* row, uint32_t x, int depth) {
  if (depth == 8) return row[x];
  size_t bit = static_cast<size_t>(x) * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// One unfiltered row into premultiplied BGRA; false for a palette index past
// the palette.
bool ConvertRow(const Header& header, const Colours& colours, const std::array<uint32_t, 256>& palette,
                const uint8_t* row, uint8_t* target) {
  const int depth = header.bit_depth;
  switch (header.colour_type) {
    case kPalette:
      for (uint32_t x = 0; x < header.width; ++x) {
        uint32_t index = Sample(row, x, depth);
        if (index >= colours.palette_size) return false;
        Put(target, x, palette[index]);
      }
      return true;
    case kGrey: {
      const uint32_t sample_max = (1u << depth) - 1;
      for (uint32_t x = 0; x < header.width; ++x) {
        uint32_t sample = Sample(row, x, depth);
        uint32_t grey = sample * 255 / sample_max;
        Put(target, x, PackPremultiplied(grey, grey, grey, colours.has_key && sample == colours.key_grey ? 0 : 255));
      }
      return true;
    }
    case kTruecolour:
      for (uint32_t x = 0; x < header.width; ++x) {
        const uint8_t* rgb = row + 3 * static_cast<size_t>(x);
        bool clear = colours.has_key && rgb[0] == colours.key_red && rgb[1] == colours.key_green &&
                     rgb[2] == colours.key_blue;
        Put(target, x, PackPremultiplied(rgb[0], rgb[1], rgb[2], clear ? 0 : 255));
      }
      return true;
    case kGreyAlpha:
      for (uint32_t x = 0; x < header.width; ++x) {
        const uint8_t* grey_alpha = row + 2 * static_cast<size_t>(x);
        Put(target, x, PackPremultiplied(grey_alpha[0], grey_alpha[0], grey_alpha[0], grey_alpha[1]));
      }
      return true;
    case kTruecolourAlpha:
      for (uint32_t x = 0; x < header.width; ++x) {
        const uint8_t* rgba = row + 4 * static_cast<size_t>(x);
        Put(target, x, PackPremultiplied(rgba[0], rgba[1], rgba[2], rgba[3]));
      }
      return true;
    default:
      return false;
  }
}

bool IsCritical(const uint8_t* type) { return (type[0] & 0x20) == 0; }

bool TypeIs(const uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

struct Chunk {
  const uint8_t* type = nullptr;
  const uint8_t* body = nullptr;
  uint32_t length = 0;
};

// The chunk at `position`, whose checksum must hold; moves past it.
bool NextChunk(std::string_view data, size_t* position, Chunk* chunk) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() - *position < 12) return false;
  const uint8_t* start = bytes + *position;
  chunk->length = ReadBigEndian32(start);
  if (chunk->length > data.size() - *position - 12) return false;
  chunk->type = start + 4;
  chunk->body = start + 8;
  if (crc32(crc32(0, nullptr, 0), chunk->type, chunk->length + 4) != ReadBigEndian32(chunk->body + chunk->length))
    return false;
  *position += 12 + static_cast<size_t>(chunk->length);
  return true;
}

}  // namespace

struct PngReader::State {
  std::string_view data;
  // The first data chunk.
  size_t data_position = 0;
  Header header;
  Colours colours;
  bool opened = false;
};

PngReader::PngReader() : state_(std::make_unique<State>()) {}
PngReader::~PngReader() = default;

bool PngReader::Open(std::string_view data) {
  *state_ = State();
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() < sizeof(kSignature) || std::memcmp(bytes, kSignature, sizeof(kSignature)) != 0) return false;
  Header& header = state_->header;
  Colours& colours = state_->colours;
  size_t position = sizeof(kSignature);
  Chunk chunk;
  if (!NextChunk(data, &position, &chunk) || !TypeIs(chunk.type, "IHDR") ||
      !ReadHeader(chunk.body, chunk.length, &header)) {
    return false;
  }
  for (;;) {
    size_t chunk_position = position;
    if (!NextChunk(data, &position, &chunk)) return false;
    if (TypeIs(chunk.type, "IDAT")) {
      if (header.colour_type == kPalette && colours.palette_size == 0) return false;
      state_->data = data;
      state_->data_position = chunk_position;
      state_->opened = true;
      return true;
    }
    if (TypeIs(chunk.type, "PLTE")) {
      if (header.colour_type == kGrey || header.colour_type == kGreyAlpha) return false;
      // A suggested palette of a truecolour picture is not needed.
      if (header.colour_type == kPalette && !ReadPalette(chunk.body, chunk.length, &colours)) return false;
    } else if (TypeIs(chunk.type, "tRNS")) {
      if (!ReadTransparency(header, chunk.body, chunk.length, &colours)) return false;
    } else if (IsCritical(chunk.type) || TypeIs(chunk.type, "gAMA") || TypeIs(chunk.type, "cHRM") ||
               TypeIs(chunk.type, "iCCP") || TypeIs(chunk.type, "sBIT")) {
      // Colour handling, and the end before any data, are the system decoder's.
      return false;
    }
  }
}

uint32_t PngReader::width() const { return state_->header.width; }
uint32_t PngReader::height() const { return state_->header.height; }

bool PngReader::opaque() const {
  const State& state = *state_;
  switch (state.header.colour_type) {
    case kPalette:
      for (size_t i = 0; i < state.colours.palette_size; ++i) {
        if (state.colours.palette_alpha[i] != 255) return false;
      }
      return true;
    case kGrey:
    case kTruecolour:
      return !state.colours.has_key;
    default:
      return false;
  }
}

bool PngReader::ReadPixels(uint8_t* first_row, ptrdiff_t stride) {
  State& state = *state_;
  if (!state.opened) return false;
  state.opened = false;
  const Header& header = state.header;
  const Colours& colours = state.colours;
  std::array<uint32_t, 256> palette = {};
  for (size_t i = 0; i < colours.palette_size; ++i) {
    uint32_t rgb = colours.palette[i];
    palette[i] = PackPremultiplied(rgb >> 16, (rgb >> 8) & 0xff, rgb & 0xff, colours.palette_alpha[i]);
  }
  // The row being inflated and the one above it, each after its filter byte;
  // the first row's is all zeros.
  const size_t row_bytes = header.RowBytes();
  std::vector<uint8_t> two_rows(2 * (row_bytes + 1), 0);
  uint8_t* current = two_rows.data();
  uint8_t* previous = current + row_bytes + 1;
  size_t filled = 0;
  uint32_t y = 0;
  bool finished = false;
  Inflater inflater;
  size_t position = state.data_position;
  Chunk chunk;
  for (;;) {
    if (!NextChunk(state.data, &position, &chunk)) return false;
    if (TypeIs(chunk.type, "IEND")) break;
    if (!TypeIs(chunk.type, "IDAT")) {
      // Nothing but more data and the end may follow the data.
      if (IsCritical(chunk.type)) return false;
      continue;
    }
    if (finished) {
      if (chunk.length != 0) return false;
      continue;
    }
    inflater.SetInput(chunk.body, chunk.length);
    // Until the chunk is used up and zlib holds nothing more to write: a row
    // may end inside a repeat the next row goes on with.
    for (;;) {
      uint8_t past_the_rows = 0;
      bool all_rows = y == header.height;
      size_t room = all_rows ? 1 : row_bytes + 1 - filled;
      size_t written = 0;
      Inflater::Result result = inflater.Inflate(all_rows ? &past_the_rows : current + filled, room, &written);
      if (result == Inflater::Result::kDamaged || (all_rows && written != 0)) return false;
      filled += written;
      if (!all_rows && filled == row_bytes + 1) {
        if (!UnfilterRow(current[0], current + 1, previous + 1, row_bytes, header.FilterStep()) ||
            !ConvertRow(header, colours, palette, current + 1, first_row + static_cast<ptrdiff_t>(y) * stride)) {
          return false;
        }
        std::swap(current, previous);
        filled = 0;
        ++y;
      }
      if (result == Inflater::Result::kEnd) {
        finished = true;
        if (inflater.HasInput()) return false;
        break;
      }
      if (written < room) {
        if (inflater.HasInput()) return false;
        break;
      }
    }
  }
  return finished && y == header.height;
}

bool DecodePng(std::string_view data, PremultipliedPixels* pixels) {
  PngReader reader;
  if (!reader.Open(data)) return false;
  const size_t row_bytes = static_cast<size_t>(reader.width()) * 4;
  std::vector<uint8_t> bgra(row_bytes * reader.height());
  if (!reader.ReadPixels(bgra.data(), static_cast<ptrdiff_t>(row_bytes))) return false;
  pixels->width = reader.width();
  pixels->height = reader.height();
  pixels->bgra = std::move(bgra);
  pixels->opaque = reader.opaque();
  return true;
}

}  // namespace ostrel
