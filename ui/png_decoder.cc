#include "ui/png_decoder.h"

#include <zlib.h>

#include <array>
#include <cstring>

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

class Inflater {
 public:
  Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Appends the inflated part of `input` to `output`; false on damaged data or
  // more than `output` holds.
  bool Feed(const uint8_t* input, uint32_t length, std::vector<uint8_t>* output) {
    if (!ready_) return false;
    if (finished_) return length == 0;
    stream_.next_in = const_cast<Bytef*>(input);
    stream_.avail_in = length;
    while (stream_.avail_in > 0) {
      stream_.next_out = output->data() + stream_.total_out;
      stream_.avail_out = static_cast<uInt>(output->size() - stream_.total_out);
      int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        finished_ = true;
        return stream_.avail_in == 0;
      }
      if (result != Z_OK) return false;
      if (stream_.avail_out == 0 && stream_.avail_in > 0) return false;
    }
    return true;
  }
  bool finished() const { return finished_; }
  uLong total_out() const { return stream_.total_out; }

 private:
  z_stream stream_ = {};
  bool ready_ = false;
  bool finished_ = false;
};

uint8_t Paeth(int left, int up, int up_left) {
  int estimate = left + up - up_left;
  int to_left = estimate > left ? estimate - left : left - estimate;
  int to_up = estimate > up ? estimate - up : up - estimate;
  int to_up_left = estimate > up_left ? estimate - up_left : up_left - estimate;
  if (to_left <= to_up && to_left <= to_up_left) return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(to_up <= to_up_left ? up : up_left);
}

// In place, top to bottom: each row's filter byte is followed by its bytes.
bool Unfilter(const Header& header, std::vector<uint8_t>* rows) {
  const size_t row_bytes = header.RowBytes();
  const size_t step = header.FilterStep();
  std::vector<uint8_t> zero_row(row_bytes, 0);
  const uint8_t* previous = zero_row.data();
  for (uint32_t y = 0; y < header.height; ++y) {
    uint8_t* row = rows->data() + y * (row_bytes + 1);
    uint8_t filter = row[0];
    uint8_t* current = row + 1;
    switch (filter) {
      case 0:
        break;
      case 1:
        for (size_t i = step; i < row_bytes; ++i) current[i] = static_cast<uint8_t>(current[i] + current[i - step]);
        break;
      case 2:
        for (size_t i = 0; i < row_bytes; ++i) current[i] = static_cast<uint8_t>(current[i] + previous[i]);
        break;
      case 3:
        for (size_t i = 0; i < row_bytes; ++i) {
          int left = i >= step ? current[i - step] : 0;
          current[i] = static_cast<uint8_t>(current[i] + ((left + previous[i]) >> 1));
        }
        break;
      case 4:
        for (size_t i = 0; i < row_bytes; ++i) {
          int left = i >= step ? current[i - step] : 0;
          int up_left = i >= step ? previous[i - step] : 0;
          current[i] = static_cast<uint8_t>(current[i] + Paeth(left, previous[i], up_left));
        }
        break;
      default:
        return false;
    }
    previous = current;
  }
  return true;
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

bool ToPremultiplied(const Header& header, const Colours& colours, const std::vector<uint8_t>& rows,
                     PremultipliedPixels* pixels) {
  std::array<uint32_t, 256> palette = {};
  for (size_t i = 0; i < colours.palette_size; ++i) {
    uint32_t rgb = colours.palette[i];
    palette[i] = PackPremultiplied(rgb >> 16, (rgb >> 8) & 0xff, rgb & 0xff, colours.palette_alpha[i]);
  }
  const size_t row_bytes = header.RowBytes();
  const int depth = header.bit_depth;
  const uint32_t sample_max = (1u << depth) - 1;
  std::vector<uint8_t> out(static_cast<size_t>(header.width) * header.height * 4);
  uint8_t* target = out.data();
  uint32_t alpha_all = 0xff;
  for (uint32_t y = 0; y < header.height; ++y) {
    const uint8_t* row = rows.data() + y * (row_bytes + 1) + 1;
    for (uint32_t x = 0; x < header.width; ++x) {
      uint32_t pixel = 0;
      switch (header.colour_type) {
        case kGrey:
        case kPalette: {
          size_t bit = static_cast<size_t>(x) * depth;
          uint32_t sample = (row[bit / 8] >> (8 - depth - bit % 8)) & sample_max;
          if (header.colour_type == kPalette) {
            if (sample >= colours.palette_size) return false;
            pixel = palette[sample];
          } else {
            uint32_t grey = sample * 255 / sample_max;
            uint32_t alpha = colours.has_key && sample == colours.key_grey ? 0 : 255;
            pixel = PackPremultiplied(grey, grey, grey, alpha);
          }
          break;
        }
        case kTruecolour: {
          const uint8_t* rgb = row + 3 * x;
          bool clear = colours.has_key && rgb[0] == colours.key_red && rgb[1] == colours.key_green &&
                       rgb[2] == colours.key_blue;
          pixel = PackPremultiplied(rgb[0], rgb[1], rgb[2], clear ? 0 : 255);
          break;
        }
        case kGreyAlpha:
          pixel = PackPremultiplied(row[2 * x], row[2 * x], row[2 * x], row[2 * x + 1]);
          break;
        case kTruecolourAlpha: {
          const uint8_t* rgba = row + 4 * x;
          pixel = PackPremultiplied(rgba[0], rgba[1], rgba[2], rgba[3]);
          break;
        }
      }
      target[0] = static_cast<uint8_t>(pixel);
      target[1] = static_cast<uint8_t>(pixel >> 8);
      target[2] = static_cast<uint8_t>(pixel >> 16);
      target[3] = static_cast<uint8_t>(pixel >> 24);
      alpha_all &= pixel >> 24;
      target += 4;
    }
  }
  pixels->width = header.width;
  pixels->height = header.height;
  pixels->bgra = std::move(out);
  pixels->opaque = alpha_all == 0xff;
  return true;
}

bool IsCritical(const uint8_t* type) { return (type[0] & 0x20) == 0; }

bool TypeIs(const uint8_t* type, const char (&name)[5]) { return std::memcmp(type, name, 4) == 0; }

}  // namespace

bool DecodePng(std::string_view data, PremultipliedPixels* pixels) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() < sizeof(kSignature) || std::memcmp(bytes, kSignature, sizeof(kSignature)) != 0) return false;
  Header header;
  bool have_header = false;
  bool seen_data = false;
  Colours colours;
  std::vector<uint8_t> rows;
  Inflater inflater;
  size_t position = sizeof(kSignature);
  for (;;) {
    if (data.size() - position < 12) return false;
    const uint8_t* chunk = bytes + position;
    uint32_t length = ReadBigEndian32(chunk);
    if (length > data.size() - position - 12) return false;
    const uint8_t* type = chunk + 4;
    const uint8_t* body = chunk + 8;
    if (crc32(crc32(0, nullptr, 0), type, length + 4) != ReadBigEndian32(body + length)) return false;
    position += 12 + static_cast<size_t>(length);
    if (!have_header) {
      if (!TypeIs(type, "IHDR") || !ReadHeader(body, length, &header)) return false;
      have_header = true;
      rows.resize(static_cast<size_t>(header.height) * (header.RowBytes() + 1));
    } else if (TypeIs(type, "IDAT")) {
      if (header.colour_type == kPalette && colours.palette_size == 0) return false;
      seen_data = true;
      if (!inflater.Feed(body, length, &rows)) return false;
    } else if (TypeIs(type, "IEND")) {
      break;
    } else if (seen_data) {
      // Nothing but more data and the end may follow the data.
      if (IsCritical(type)) return false;
    } else if (TypeIs(type, "PLTE")) {
      if (header.colour_type == kGrey || header.colour_type == kGreyAlpha) return false;
      // A suggested palette of a truecolour picture is not needed.
      if (header.colour_type == kPalette && !ReadPalette(body, length, &colours)) return false;
    } else if (TypeIs(type, "tRNS")) {
      if (!ReadTransparency(header, body, length, &colours)) return false;
    } else if (IsCritical(type) || TypeIs(type, "gAMA") || TypeIs(type, "cHRM") || TypeIs(type, "iCCP") ||
               TypeIs(type, "sBIT")) {
      // Colour handling is the system decoder's to do.
      return false;
    }
  }
  if (!inflater.finished() || inflater.total_out() != rows.size()) return false;
  return Unfilter(header, &rows) && ToPremultiplied(header, colours, rows, pixels);
}

}  // namespace ostrel
