// A picture decoded by GDI+ (PNG, animated GIF), loaded from the program's resources.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "win32/base/ComScoped.h"

namespace Gdiplus {
class Graphics;
class Image;
}  // namespace Gdiplus

namespace cvl {

class TPicture {
 public:
  // Raises cvl::Exception when the resource is missing or does not decode.
  static std::shared_ptr<TPicture> FromResource(const wchar_t* name, const wchar_t* type);
  explicit TPicture(const std::string& bytes);
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  int Width() const;
  int Height() const;
  int FrameCount() const { return static_cast<int>(FFrameDelays.size()); }
  // Display time of a frame in milliseconds (animated GIFs; 0 for a still picture).
  unsigned FrameDelay(int frame) const { return FFrameDelays[frame]; }

  // Draws the given frame into the destination rectangle (stretched when sizes differ).
  void Draw(Gdiplus::Graphics& graphics, int frame, const RECT& destination) const;

 private:
  TComPtr<IStream> FStream;  // GDI+ reads from it for the picture's whole life
  std::unique_ptr<Gdiplus::Image> FImage;
  std::vector<unsigned> FFrameDelays;
  mutable int FSelectedFrame = 0;
};

}  // namespace cvl
