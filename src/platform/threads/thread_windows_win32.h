// The windows a thread made through CreateWindowEx, which it destroys when its body has ended (they
// receive WM_DESTROY and WM_NCDESTROY on that thread, as on Linux). Internal to the Win32 layer.
#pragma once

namespace qv::platform::win32 {

void DestroyThreadWindows();

}  // namespace qv::platform::win32
