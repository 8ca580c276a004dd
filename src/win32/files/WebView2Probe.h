// Whether the Edge WebView2 runtime is installed: its client key opens under one of
// the three places its installers use. Nothing inside the key is read.
#pragma once

namespace cvl {

bool WebView2Installed();

}  // namespace cvl
