// The progress dialog from template 130, shown with DialogBoxParamA: its modal loop is
// the main thread's loop while it is shown, and the calls other threads queue
// (SetProgress, EndDialog, message boxes) reach it as a posted message, so a worker's
// synchronous call never waits on a thread that cannot answer.

#include "platform/win32/win32_detail.h"
// After <windows.h>:
#include <commctrl.h>

#include <atomic>
#include <memory>

#include "platform/ui_backend.h"
#include "platform/win32/progress_dialog_ids.h"

namespace platform::ui::detail {

namespace {

constexpr UINT kRunQueuedCalls = WM_APP + 1;

// The shown dialog, for other threads' wake-ups.
std::atomic<HWND> shownDialog{nullptr};

void wakeDialog() {
    if (HWND dialog = shownDialog.load()) PostMessageA(dialog, kRunQueuedCalls, 0, 0);
}

class DialogView : public ProgressView {
public:
    explicit DialogView(HWND dialog) : dialog_(dialog) {}

    void update(const std::string& percentText, int position) override {
        SetDlgItemTextA(dialog_, IDC_PERCENT, percentText.c_str());
        // The control keeps the position to its range.
        SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, WPARAM(position), 0);
    }

private:
    HWND dialog_;
};

struct DialogRun {
    const std::string& fileName;
    const std::function<void(ProgressView&)>& shown;
    const std::function<bool()>& ended;
    std::unique_ptr<DialogView> view;
};

// Over the owner window when it is visible, else over the work area of the screen,
// and never beyond the work area.
void centre(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST),
                         &monitor))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT work = monitor.rcWork;
    RECT over = work;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
    RECT own;
    GetWindowRect(dialog, &own);
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    LONG x = (over.left + over.right) / 2 - width / 2;
    LONG y = (over.top + over.bottom) / 2 - height / 2;
    if (x + width > work.right) x = work.right - width;
    if (x < work.left) x = work.left;
    if (y + height > work.bottom) y = work.bottom - height;
    if (y < work.top) y = work.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void endWhenDone(HWND dialog, DialogRun& run) {
    if (run.ended()) EndDialog(dialog, 0);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            run = reinterpret_cast<DialogRun*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            centre(dialog);
            SetDlgItemTextA(dialog, IDC_FILENAME, run->fileName.c_str());
            SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
            run->view = std::make_unique<DialogView>(dialog);
            shownDialog = dialog;
            setMainLoopHooks({wakeDialog, nullptr});
            run->shown(*run->view);
            // Calls queued before the window existed run once it is up. A worker that
            // ended the dialog before that ends it now.
            PostMessageA(dialog, kRunQueuedCalls, 0, 0);
            endWhenDone(dialog, *run);
            // No control takes the focus.
            return FALSE;
        }
        case kRunQueuedCalls:
            if (run) {
                runQueuedCalls();
                endWhenDone(dialog, *run);
            }
            return TRUE;
        case WM_COMMAND:
            // Escape (IDCANCEL) and Enter do not end it: only the worker does.
            return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK;
        case WM_SYSCOMMAND:
            // Nor does Alt+F4.
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool backendRunProgressDialog(const std::string& fileName,
                              const std::function<void(ProgressView&)>& shown,
                              const std::function<bool()>& ended) {
    // The progress bar's window class must exist before the template is made.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    DialogRun run{fileName, shown, ended, nullptr};
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                        GetActiveWindow(), dialogProcedure, reinterpret_cast<LPARAM>(&run));
    shownDialog = nullptr;
    // Calls that come later wait for the main thread's own service loop.
    setMainLoopHooks({});
    return result != -1;
}

}  // namespace platform::ui::detail
