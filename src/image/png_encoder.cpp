#include "image/png_encoder.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <unordered_map>
#include <utility>

#include "image/deflate.h"

namespace velmora {

namespace {

// The quick level every form and filter is tried at; the winner is compressed again
// at the level asked for. Small pictures are tried at that level straight away.
constexpr int kTrialLevel = 5;
constexpr size_t kSmallImageBytes = 64 * 1024;

int SamplesPerPixel(int colourType) {
  switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
  }
}

// What the pixels allow: fully opaque, grey, and the colours (RGBA) when there are at
// most 256 of them, with how often each occurs.
struct Survey {
  bool opaque = true;
  bool grey = true;
  int greyDepth = 1;  // the lowest bit depth that holds every grey value (opaque grey)
  std::vector<std::pair<uint32_t, uint32_t>> colours;  // colour, count; empty past 256
};

uint32_t RgbaAt(const Picture& picture, size_t i) {
  const size_t step = picture.bitsPerPixel / 8;
  const uint8_t* p = picture.pixels.get() + i * step;
  const uint32_t alpha = step == 4 ? p[3] : 255;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | alpha;
}

// The lowest depth of 1, 2, 4, 8 whose levels (255 / (2^depth - 1) apart) include v.
int GreyDepthOf(uint32_t v) {
  if (v % 255 == 0) return 1;
  if (v % 85 == 0) return 2;
  if (v % 17 == 0) return 4;
  return 8;
}

Survey SurveyPixels(const Picture& picture) {
  Survey survey;
  std::unordered_map<uint32_t, uint32_t> counts;
  bool manyColours = false;
  uint32_t previous = 0;
  bool first = true;
  const size_t count = picture.PixelCount();
  for (size_t i = 0; i < count; ++i) {
    const uint32_t rgba = RgbaAt(picture, i);
    // Neighbours often share a colour: the counting is skipped for repeats.
    if (!first && rgba == previous && !manyColours) {
      ++counts[rgba];
      continue;
    }
    first = false;
    previous = rgba;
    const uint32_t r = rgba >> 24, g = (rgba >> 16) & 0xFF, b = (rgba >> 8) & 0xFF;
    const uint32_t a = rgba & 0xFF;
    survey.opaque = survey.opaque && a == 255;
    if (survey.grey && (r != g || g != b)) survey.grey = false;
    if (survey.grey) survey.greyDepth = std::max(survey.greyDepth, GreyDepthOf(r));
    if (!manyColours) {
      ++counts[rgba];
      manyColours = counts.size() > 256;
    }
    if (manyColours && !survey.grey && !survey.opaque) break;  // nothing more to learn
  }
  if (!manyColours) survey.colours.assign(counts.begin(), counts.end());
  return survey;
}

// Writes value (of depth bits) as the x-th sample of a packed row.
void PutSample(uint8_t* row, uint32_t x, int depth, uint32_t value) {
  if (depth == 8) {
    row[x] = static_cast<uint8_t>(value);
    return;
  }
  const uint32_t perByte = 8 / static_cast<uint32_t>(depth);
  const uint32_t shift = (perByte - 1 - x % perByte) * static_cast<uint32_t>(depth);
  row[x / perByte] = static_cast<uint8_t>(row[x / perByte] | (value << shift));
}

int PaletteDepth(size_t entries) {
  if (entries <= 2) return 1;
  if (entries <= 4) return 2;
  if (entries <= 16) return 4;
  return 8;
}

PngImage Shaped(const Picture& picture, int colourType, int bitDepth) {
  PngImage image;
  image.width = static_cast<uint32_t>(picture.width);
  image.height = static_cast<uint32_t>(picture.height);
  image.colourType = colourType;
  image.bitDepth = bitDepth;
  image.rows.assign(image.Stride() * image.height, 0);
  return image;
}

PngImage PaletteImage(const Picture& picture, const Survey& survey) {
  // Transparent entries first, so that the tRNS chunk is as short as it can be; then
  // the most frequent colours, which keeps the common indices small.
  std::vector<std::pair<uint32_t, uint32_t>> entries = survey.colours;
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const bool aClear = (a.first & 0xFF) != 255, bClear = (b.first & 0xFF) != 255;
    if (aClear != bClear) return aClear;
    if (a.second != b.second) return a.second > b.second;
    return a.first < b.first;
  });
  PngImage image = Shaped(picture, 3, PaletteDepth(entries.size()));
  std::unordered_map<uint32_t, uint32_t> index;
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint32_t rgba = entries[i].first;
    index[rgba] = static_cast<uint32_t>(i);
    image.palette.push_back(static_cast<uint8_t>(rgba >> 24));
    image.palette.push_back(static_cast<uint8_t>(rgba >> 16));
    image.palette.push_back(static_cast<uint8_t>(rgba >> 8));
    if ((rgba & 0xFF) != 255) image.paletteAlpha.push_back(static_cast<uint8_t>(rgba));
  }
  const size_t stride = image.Stride();
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t* row = image.rows.data() + y * stride;
    for (uint32_t x = 0; x < image.width; ++x) {
      PutSample(row, x, image.bitDepth, index[RgbaAt(picture, size_t{y} * image.width + x)]);
    }
  }
  return image;
}

PngImage GreyImage(const Picture& picture, const Survey& survey) {
  const bool alpha = !survey.opaque;
  PngImage image = Shaped(picture, alpha ? 4 : 0, alpha ? 8 : survey.greyDepth);
  const uint32_t scale = 255 / ((1u << image.bitDepth) - 1);
  const size_t stride = image.Stride();
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t* row = image.rows.data() + y * stride;
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint32_t rgba = RgbaAt(picture, size_t{y} * image.width + x);
      if (alpha) {
        row[x * 2] = static_cast<uint8_t>(rgba >> 24);
        row[x * 2 + 1] = static_cast<uint8_t>(rgba);
      } else {
        PutSample(row, x, image.bitDepth, (rgba >> 24) / scale);
      }
    }
  }
  return image;
}

PngImage TrueColourImage(const Picture& picture, const Survey& survey) {
  const bool alpha = !survey.opaque;
  PngImage image = Shaped(picture, alpha ? 6 : 2, 8);
  const size_t channels = alpha ? 4 : 3;
  const size_t step = picture.bitsPerPixel / 8;
  const uint8_t* in = picture.pixels.get();
  uint8_t* out = image.rows.data();
  const size_t count = picture.PixelCount();
  for (size_t i = 0; i < count; ++i) {
    for (size_t c = 0; c < channels; ++c) out[i * channels + c] = in[i * step + c];
  }
  return image;
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

// The row filtered with one filter type (0 none, 1 sub, 2 up, 3 average, 4 Paeth).
void FilterRow(int type, const uint8_t* row, const uint8_t* above, size_t length,
               size_t distance, uint8_t* out) {
  for (size_t i = 0; i < length; ++i) {
    const int a = i >= distance ? row[i - distance] : 0;
    const int b = above != nullptr ? above[i] : 0;
    const int c = (above != nullptr && i >= distance) ? above[i - distance] : 0;
    int predicted = 0;
    switch (type) {
      case 1: predicted = a; break;
      case 2: predicted = b; break;
      case 3: predicted = (a + b) / 2; break;
      case 4: predicted = Paeth(a, b, c); break;
      default: break;
    }
    out[i] = static_cast<uint8_t>(row[i] - predicted);
  }
}

// The usual measure of how well a filtered row will compress: the sum of its bytes
// taken as signed values.
uint64_t Cost(const uint8_t* bytes, size_t length) {
  uint64_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(bytes[i])));
  return sum;
}

}  // namespace

size_t PngImage::Stride() const {
  const size_t bits = size_t{width} * static_cast<size_t>(SamplesPerPixel(colourType)) *
                      static_cast<size_t>(bitDepth);
  return (bits + 7) / 8;
}

size_t PngImage::ChunkBytes() const {
  // Each chunk: length, type and CRC besides its data.
  const size_t plte = palette.empty() ? 0 : 12 + palette.size();
  const size_t trns = paletteAlpha.empty() ? 0 : 12 + paletteAlpha.size();
  return plte + trns;
}

size_t PngImage::FilterDistance() const {
  const size_t bits = static_cast<size_t>(SamplesPerPixel(colourType)) *
                      static_cast<size_t>(bitDepth);
  return std::max<size_t>(1, bits / 8);
}

std::vector<PngImage> LosslessForms(const Picture& picture, bool allowGrey) {
  std::vector<PngImage> forms;
  if (!picture.pixels || picture.PixelCount() == 0 ||
      (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32)) {
    return forms;
  }
  try {
    const Survey survey = SurveyPixels(picture);
    if (!survey.colours.empty()) forms.push_back(PaletteImage(picture, survey));
    if (survey.grey && allowGrey) forms.push_back(GreyImage(picture, survey));
    forms.push_back(TrueColourImage(picture, survey));
  } catch (const std::bad_alloc&) {
    forms.clear();
  }
  return forms;
}

PngImage PaletteForm(const uint8_t* indices, uint32_t width, uint32_t height, int paletteCount,
                     const uint8_t* triples, const uint8_t* alpha) {
  PngImage image;
  image.width = width;
  image.height = height;
  image.colourType = 3;
  image.bitDepth = PaletteDepth(static_cast<size_t>(paletteCount));
  image.palette.assign(triples, triples + paletteCount * 3);
  if (alpha != nullptr) {
    // tRNS ends at the last entry that is not opaque.
    int last = paletteCount;
    while (last > 0 && alpha[last - 1] == 255) --last;
    image.paletteAlpha.assign(alpha, alpha + last);
  }
  image.rows.assign(image.Stride() * height, 0);
  const size_t stride = image.Stride();
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      PutSample(image.rows.data() + y * stride, x, image.bitDepth,
                indices[size_t{y} * width + x]);
    }
  }
  return image;
}

std::string FilterRows(const PngImage& image, FilterChoice choice) {
  const size_t stride = image.Stride();
  const size_t distance = image.FilterDistance();
  std::string out(image.height * (stride + 1), '\0');
  std::vector<uint8_t> trial(stride);
  std::vector<uint8_t> best(stride);
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = image.rows.data() + y * stride;
    const uint8_t* above = y > 0 ? row - stride : nullptr;
    auto* target = reinterpret_cast<uint8_t*>(out.data()) + y * (stride + 1);
    int type = 0;
    switch (choice) {
      case FilterChoice::kNone: type = 0; break;
      case FilterChoice::kSub: type = 1; break;
      case FilterChoice::kUp: type = 2; break;
      case FilterChoice::kPaeth: type = 4; break;
      case FilterChoice::kAdaptive: type = -1; break;
    }
    if (type >= 0) {
      target[0] = static_cast<uint8_t>(type);
      FilterRow(type, row, above, stride, distance, target + 1);
      continue;
    }
    uint64_t bestCost = UINT64_MAX;
    for (int candidate = 0; candidate <= 4; ++candidate) {
      FilterRow(candidate, row, above, stride, distance, trial.data());
      const uint64_t cost = Cost(trial.data(), stride);
      if (cost < bestCost) {
        bestCost = cost;
        type = candidate;
        best.swap(trial);
      }
    }
    target[0] = static_cast<uint8_t>(type);
    std::copy(best.begin(), best.end(), target + 1);
  }
  return out;
}

std::optional<std::vector<uint8_t>> UnfilterRows(const std::string& filtered,
                                                 const PngImage& shape) {
  const size_t stride = shape.Stride();
  const size_t distance = shape.FilterDistance();
  if (filtered.size() != shape.height * (stride + 1)) return std::nullopt;
  std::vector<uint8_t> rows(shape.height * stride);
  for (uint32_t y = 0; y < shape.height; ++y) {
    const auto* in = reinterpret_cast<const uint8_t*>(filtered.data()) + y * (stride + 1);
    uint8_t* row = rows.data() + y * stride;
    const uint8_t* above = y > 0 ? row - stride : nullptr;
    const int type = in[0];
    if (type > 4) return std::nullopt;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= distance ? row[i - distance] : 0;
      const int b = above != nullptr ? above[i] : 0;
      const int c = (above != nullptr && i >= distance) ? above[i - distance] : 0;
      const int predicted = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2
                            : type == 4 ? Paeth(a, b, c) : 0;
      row[i] = static_cast<uint8_t>(in[1 + i] + predicted);
    }
  }
  return rows;
}

std::optional<CompressedImage> CompressSmallest(const std::vector<PngImage>& forms, int level) {
  constexpr FilterChoice kChoices[] = {FilterChoice::kNone, FilterChoice::kSub,
                                       FilterChoice::kUp, FilterChoice::kPaeth,
                                       FilterChoice::kAdaptive};
  size_t largest = 0;
  for (const PngImage& form : forms) largest = std::max(largest, form.rows.size());
  const int trialLevel = largest <= kSmallImageBytes ? level : std::min(level, kTrialLevel);
  // A winner that is compressed again keeps only its sizes from the trials: its rows
  // are filtered afresh at the end. So at most one filtered copy of the rows and one
  // compressed one are held at a time besides the forms, which the memory budget of a
  // picture counts on.
  const bool again = level > trialLevel;
  std::optional<CompressedImage> best;
  size_t bestSize = 0;
  size_t bestTrialBytes = 0;
  try {
    for (size_t form = 0; form < forms.size(); ++form) {
      for (FilterChoice choice : kChoices) {
        std::optional<std::string> data =
            Deflate(FilterRows(forms[form], choice), trialLevel, DeflateFormat::kZlib);
        if (!data) return std::nullopt;
        const size_t size = data->size() + forms[form].ChunkBytes();
        if (!best || size < bestSize) {
          bestTrialBytes = data->size();
          best = CompressedImage{form, choice, again ? std::string() : std::move(*data)};
          bestSize = size;
        }
      }
    }
    if (best && again) {
      const std::string filtered = FilterRows(forms[best->form], best->filter);
      std::optional<std::string> data = Deflate(filtered, level, DeflateFormat::kZlib);
      if (!data) return std::nullopt;
      // The stronger level is kept only where it is smaller, which it nearly always is;
      // otherwise the trial's bytes are made again.
      if (data->size() >= bestTrialBytes) {
        data.reset();
        data = Deflate(filtered, trialLevel, DeflateFormat::kZlib);
        if (!data) return std::nullopt;
      }
      best->data = std::move(*data);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return best;
}

}  // namespace velmora
