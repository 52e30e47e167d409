// Windows only: shows the launcher's real progress dialog (template 130) for a test
// that drives it from the Linux side under Wine, and reads it back from the controls
// themselves, by their numbers. A worker thread, as the patch step's, takes one command
// per line on standard input:
//   progress <percent>  SetProgress, then prints "progress set"
//   controls            prints what the controls hold, then "end of controls":
//                       "file <text of 1076>", "percent <text of 1075>",
//                       "bar <PBM_GETPOS of 1005> of <low>..<high>",
//                       "window <x> <y> <width> <height> <visible 0|1>"
//   requests            prints the close requests the dialog was sent (Escape's
//                       "command IDCANCEL", Alt+F4's "syscommand SC_CLOSE", "close"),
//                       then "end of requests"
//   end <result>        EndDialog(result)
// Once the dialog exists it prints "shown <X window>" (its X11 window for the test's
// key presses, 0 when unknown); when DoModal returns, "closed <result>". The end of the
// input ends the dialog with 99; a dialog that cannot be shown ends the program at once.

#include <windows.h>
// After <windows.h>:
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "platform/ui.h"
#include "transfer/progress_bar_dlg.h"

namespace {

// The template's numbers, as a player's copy of the program has them.
constexpr int kFileName = 1076;
constexpr int kPercent = 1075;
constexpr int kProgress = 1005;

DWORD mainThread = 0;
HWND dialog = nullptr;

std::mutex requestsLock;
std::vector<std::string> requests;

void say(const std::string& line) { std::cout << line << std::endl; }

// Notes a close request on its way to the dialog.
void note(HWND window, UINT message, WPARAM wParam) {
    if (!dialog || window != dialog) return;
    std::string request;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        request = "command IDCANCEL";
    else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        request = "syscommand SC_CLOSE";
    else if (message == WM_CLOSE)
        request = "close";
    if (request.empty()) return;
    std::lock_guard<std::mutex> hold(requestsLock);
    requests.push_back(request);
}

// Messages sent to the main thread's windows (Escape's IDCANCEL)...
LRESULT CALLBACK watchSent(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION) note(sent->hwnd, sent->message, sent->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ...and those posted to them (Alt+F4's SC_CLOSE), as the loop takes them.
LRESULT CALLBACK watchPosted(int code, WPARAM wParam, LPARAM lParam) {
    const auto* posted = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE)
        note(posted->hwnd, posted->message, posted->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::string controlText(int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void printControls() {
    say("file " + controlText(kFileName));
    say("percent " + controlText(kPercent));
    const LRESULT position = SendDlgItemMessageA(dialog, kProgress, PBM_GETPOS, 0, 0);
    PBRANGE range{};
    SendDlgItemMessageA(dialog, kProgress, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    say("bar " + std::to_string(position) + " of " + std::to_string(range.iLow) + ".." +
        std::to_string(range.iHigh));
    RECT r{};
    GetWindowRect(dialog, &r);
    std::ostringstream window;
    window << "window " << r.left << " " << r.top << " " << r.right - r.left << " "
           << r.bottom - r.top << " " << (IsWindowVisible(dialog) ? 1 : 0);
    say(window.str());
}

void work() {
    // Runs once the main thread services calls, that is once the dialog exists.
    uintptr_t x11 = 0;
    platform::ui::callOnMainThread([&x11] {
        EnumThreadWindows(mainThread, findDialog, reinterpret_cast<LPARAM>(&dialog));
        // Wine keeps the X11 window of a top-level window in this property.
        x11 = reinterpret_cast<uintptr_t>(GetPropA(dialog, "__wine_x11_whole_window"));
    });
    // A modal dialog is shown once its queue first runs empty, which may come later (at
    // code page 950 Wine's input method windows keep it busy a while): at most 10 s.
    for (int waited = 0; dialog && !IsWindowVisible(dialog) && waited < 10000; waited += 20)
        Sleep(20);
    say("shown " + std::to_string(x11));
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "progress") {
            float percent = 0;
            words >> percent;
            progressDialog.SetProgress(percent);
            say("progress set");
        } else if (command == "controls") {
            printControls();
            say("end of controls");
        } else if (command == "requests") {
            std::lock_guard<std::mutex> hold(requestsLock);
            for (const std::string& request : requests) say(request);
            say("end of requests");
        } else if (command == "end") {
            int result = 0;
            words >> result;
            progressDialog.EndDialog(result);
            return;
        }
    }
    progressDialog.EndDialog(99);
}

}  // namespace

int main(int argc, char** argv) {
    platform::initProcess(argc, argv);
    // Lines end in a line feed alone, as the Linux side reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    mainThread = GetCurrentThreadId();
    SetWindowsHookExA(WH_CALLWNDPROC, watchSent, nullptr, mainThread);
    SetWindowsHookExA(WH_GETMESSAGE, watchPosted, nullptr, mainThread);
    std::thread worker(work);
    const int result = progressDialog.DoModal();
    say("closed " + std::to_string(result));
    if (result == -1) {
        // No dialog (no display): the worker still waits for input; do not wait for it.
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
    worker.join();
    return EXIT_SUCCESS;
}
