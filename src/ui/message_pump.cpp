#include "ui/message_pump.h"

#include <windows.h>

#include "ui/application.h"
#include "ui/dialog.h"

namespace ui {

bool PumpWaitingMessages() {
  MSG message{};
  bool quit = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      quit = true;
      break;
    }
    ApplicationBase* application = ApplicationBase::Current();
    if (application ? application->PreTranslateMessage(message) : PreTranslateForDialogs(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  RethrowHandlerException();
  return !quit;
}

}  // namespace ui
