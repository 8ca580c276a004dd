#include "win32/window/Picture.h"

#include <objidl.h>
#include <gdiplus.h>

#include "core/Exception.h"
#include "win32/files/Resources.h"

namespace cvl {

namespace {

// GIF frame delays come in hundredths of a second, one 32-bit value per frame.
std::vector<unsigned> ReadFrameDelays(Gdiplus::Image& image) {
  GUID dimension = Gdiplus::FrameDimensionTime;
  const UINT frames = image.GetFrameCount(&dimension);
  std::vector<unsigned> delays(frames > 0 ? frames : 1, 0);
  const UINT size = image.GetPropertyItemSize(PropertyTagFrameDelay);
  if (frames == 0 || size == 0) return delays;
  std::vector<unsigned char> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (image.GetPropertyItem(PropertyTagFrameDelay, size, item) != Gdiplus::Ok) return delays;
  const auto* values = static_cast<const std::uint32_t*>(item->value);
  const UINT count = item->length / sizeof(std::uint32_t);
  for (UINT i = 0; i < frames && i < count; ++i) delays[i] = values[i] * 10;
  return delays;
}

}  // namespace

std::shared_ptr<TPicture> TPicture::FromResource(const wchar_t* name, const wchar_t* type) {
  return std::make_shared<TPicture>(LoadResourceBytes(name, type));
}

TPicture::TPicture(const std::string& bytes) : FStream(StreamOnBytes(bytes)) {
  FImage.reset(Gdiplus::Image::FromStream(FStream.Get()));
  if (!FImage || FImage->GetLastStatus() != Gdiplus::Ok) {
    throw Exception("EInvalidGraphic", u"Unknown picture file format");
  }
  FFrameDelays = ReadFrameDelays(*FImage);
}

TPicture::~TPicture() = default;

int TPicture::Width() const { return static_cast<int>(FImage->GetWidth()); }
int TPicture::Height() const { return static_cast<int>(FImage->GetHeight()); }

void TPicture::Draw(Gdiplus::Graphics& graphics, int frame, const RECT& destination) const {
  if (FrameCount() > 1 && frame != FSelectedFrame) {
    GUID dimension = Gdiplus::FrameDimensionTime;
    FImage->SelectActiveFrame(&dimension, static_cast<UINT>(frame));
    FSelectedFrame = frame;
  }
  const int width = destination.right - destination.left;
  const int height = destination.bottom - destination.top;
  // At its own size a picture is copied pixel for pixel; only a scaled one is smoothed.
  const bool scaled = width != Width() || height != Height();
  graphics.SetInterpolationMode(scaled ? Gdiplus::InterpolationModeHighQualityBicubic
                                       : Gdiplus::InterpolationModeNearestNeighbor);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  graphics.DrawImage(FImage.get(), Gdiplus::Rect(destination.left, destination.top, width, height));
}

}  // namespace cvl
