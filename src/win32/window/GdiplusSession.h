// GDI+ is usable while one session lives; every picture must be gone before it ends.
#pragma once

#include <windows.h>

namespace cvl {

class TGdiplusSession {
 public:
  TGdiplusSession();  // raises cvl::Exception when GDI+ does not start
  ~TGdiplusSession();
  TGdiplusSession(const TGdiplusSession&) = delete;
  TGdiplusSession& operator=(const TGdiplusSession&) = delete;

 private:
  ULONG_PTR FToken = 0;
};

}  // namespace cvl
